// Until the engine keeps decoded clips, preloading has nothing to prepare.
#include "AudioEngine.h"

namespace platform::audio {

void PreloadClipMemory(const void*, size_t) {}
void PreloadClipFile(const std::filesystem::path&) {}

}  // namespace platform::audio
