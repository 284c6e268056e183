// velora-fuzz-replay TARGET PATH...: runs one fuzz target over every file of the given folders
// (and files), as the fuzzer would. A crash, a sanitizer report or an exception fails it; missing
// folders are skipped, so a target without regression inputs yet needs no placeholder.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "FuzzTarget.h"

namespace velora_fuzz {

namespace {
std::map<std::string, Entry>& Table() {
    static std::map<std::string, Entry> table;
    return table;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

bool Register(const char* name, Entry entry) {
    Table()[name] = entry;
    return true;
}

}  // namespace velora_fuzz

int main(int argc, char** argv) {
    using namespace velora_fuzz;
    if (argc < 2) {
        std::fprintf(stderr, "usage: velora-fuzz-replay TARGET [FOLDER|FILE]...\ntargets:");
        for (const auto& [name, entry] : Table())
            std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 1;
    }
    const auto found = Table().find(argv[1]);
    if (found == Table().end()) {
        std::fprintf(stderr, "velora-fuzz-replay: no target %s\n", argv[1]);
        return 1;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 2; i < argc; ++i) {
        std::error_code ec;
        const std::filesystem::path p(argv[i]);
        if (std::filesystem::is_regular_file(p, ec)) {
            inputs.push_back(p);
        } else if (std::filesystem::is_directory(p, ec)) {
            for (const auto& e : std::filesystem::directory_iterator(p, ec))
                if (e.is_regular_file() && e.path().filename().string()[0] != '.')
                    inputs.push_back(e.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& file : inputs) {
        const std::vector<uint8_t> bytes = ReadAll(file);
        std::fprintf(stderr, "replay %s: %s (%zu bytes)\n", argv[1], file.c_str(), bytes.size());
        // The fuzzer hands over a buffer of exactly the input's size; so does the replay, so a
        // read past its end is caught by the sanitizers here too.
        // libFuzzer never passes a null pointer, not even for an empty input.
        static const uint8_t kNone = 0;
        std::vector<uint8_t> exact(bytes);
        found->second(exact.empty() ? &kNone : exact.data(), exact.size());
    }
    std::printf("%s: %zu inputs replayed\n", argv[1], inputs.size());
    return 0;
}
