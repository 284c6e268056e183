// velora-clipgen: writes the built-in clips, or a test tone, as MP3 files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ClipSynth.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: velora-clipgen --builtin DIR\n"
                 "       velora-clipgen --tone HZ --seconds S [--rate R] [--channels 1|2]\n"
                 "                      [--kbps K] [--amplitude A] --out FILE.mp3\n");
    return 1;
}

bool WriteMp3(const clipgen::Pcm& pcm, const std::string& path, int kbps) {
    std::vector<uint8_t> mp3;
    if (!clipgen::EncodeToMp3(pcm, mp3, kbps) || !clipgen::WriteFile(path, mp3)) {
        std::fprintf(stderr, "velora-clipgen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string builtinDir, out;
    double hz = -1, seconds = -1, amplitude = 0.5;
    int rate = 44100, channels = 2, kbps = 128;
    for (int i = 1; i < argc; i += 2) {  // each option takes one value
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!next)
            return Usage();
        if (a == "--builtin")
            builtinDir = next;
        else if (a == "--out")
            out = next;
        else if (a == "--tone")
            hz = std::atof(next);
        else if (a == "--seconds")
            seconds = std::atof(next);
        else if (a == "--rate")
            rate = std::atoi(next);
        else if (a == "--channels")
            channels = std::atoi(next);
        else if (a == "--kbps")
            kbps = std::atoi(next);
        else if (a == "--amplitude")
            amplitude = std::atof(next);
        else
            return Usage();
    }
    if (!builtinDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(builtinDir, ec);
        for (const std::string& name : clipgen::BuiltinClipNames()) {
            clipgen::Pcm pcm;
            if (!clipgen::SynthesiseBuiltin(name, pcm) ||
                !WriteMp3(pcm, builtinDir + "/" + name + ".mp3", 128)) {
                return 1;
            }
        }
        return 0;
    }
    if (hz < 0 || seconds <= 0 || out.empty() || (channels != 1 && channels != 2) || rate <= 0) {
        return Usage();
    }
    return WriteMp3(clipgen::MakeTone(hz, seconds, rate, channels, amplitude), out, kbps) ? 0 : 1;
}
