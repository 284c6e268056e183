// The built-in clips' resources live in this library's object files; nothing else is needed
// here, but a static library needs one translation unit of its own.
namespace platform::audio {
int BuiltinClipResourcesLinked() {
    return 1;
}
}  // namespace platform::audio
