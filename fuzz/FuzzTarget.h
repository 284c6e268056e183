#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

// One entry per reader of outside data. Under libFuzzer (VELORA_LIBFUZZER) each target is its own
// program and the macro defines the fuzzer's entry; in the gcc build every target is compiled into
// one replay program (link time) and the macro registers the entry under its name there.
//
//   VELORA_FUZZ_TARGET(json_reader) { ... use data, size ... }
namespace velora_fuzz {

using Entry = void (*)(const uint8_t* data, size_t size);

// Replay mode: adds the target to the table; always true (its result initialises a static).
bool Register(const char* name, Entry entry);

// A private folder (mode 0700) made once per process and removed at its end; file-based readers
// write their input below it.
const std::filesystem::path& TempFolder();

// Writes bytes to TempFolder()/name and returns the path; the file is replaced each time.
std::filesystem::path WriteInput(const char* name, const uint8_t* data, size_t size);

}  // namespace velora_fuzz

#define VELORA_FUZZ_CONCAT2(a, b) a##b
#define VELORA_FUZZ_CONCAT(a, b) VELORA_FUZZ_CONCAT2(a, b)

#if defined(VELORA_LIBFUZZER)
#define VELORA_FUZZ_TARGET(name)                                                        \
    static void VELORA_FUZZ_CONCAT(FuzzOne_, name)(const uint8_t* data, size_t size);   \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {           \
        VELORA_FUZZ_CONCAT(FuzzOne_, name)(data, size);                                 \
        return 0;                                                                       \
    }                                                                                   \
    static void VELORA_FUZZ_CONCAT(FuzzOne_, name)(const uint8_t* data, size_t size)
#else
#define VELORA_FUZZ_TARGET(name)                                                        \
    static void VELORA_FUZZ_CONCAT(FuzzOne_, name)(const uint8_t* data, size_t size);   \
    [[maybe_unused]] static const bool VELORA_FUZZ_CONCAT(kRegistered_, name) =         \
        ::velora_fuzz::Register(#name, &VELORA_FUZZ_CONCAT(FuzzOne_, name));            \
    static void VELORA_FUZZ_CONCAT(FuzzOne_, name)(const uint8_t* data, size_t size)
#endif
