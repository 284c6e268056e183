#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The virtual card's frames log: "<ms> H|C <128 hex digits>" per line.
struct LoggedFrame {
    long long ms = 0;
    char direction = 0;  // 'H' host to card, 'C' card to host
    std::array<uint8_t, 64> frame{};
};

inline std::vector<LoggedFrame> ReadFramesLog(const std::filesystem::path& path) {
    std::vector<LoggedFrame> frames;
    std::ifstream in(path);
    std::string ms, dir, hex;
    while (in >> ms >> dir >> hex) {
        if (hex.size() != 128 || dir.size() != 1) continue;
        LoggedFrame f;
        f.ms = std::stoll(ms);
        f.direction = dir[0];
        for (size_t i = 0; i < 64; ++i) {
            f.frame[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
        }
        frames.push_back(f);
    }
    return frames;
}

// The frames the host sent, optionally only those with one command code.
inline std::vector<std::array<uint8_t, 64>> HostFrames(const std::filesystem::path& path,
                                                       int code = -1) {
    std::vector<std::array<uint8_t, 64>> out;
    for (const auto& f : ReadFramesLog(path)) {
        if (f.direction == 'H' && (code < 0 || f.frame[0] == code)) out.push_back(f.frame);
    }
    return out;
}
