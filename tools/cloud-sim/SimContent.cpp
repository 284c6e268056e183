#include "SimContent.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include "ClipSynth.h"
#include "FwPack.h"

namespace cloudsim {

namespace {

constexpr size_t kFirmwareImageBytes = 4096;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

}  // namespace

SimContent DefaultContent(int categoryCount) {
    static const char* const kNames[] = {"搞笑", "掌声", "欢呼", "尴尬", "恐怖",
                                         "动物", "游戏", "节日", "综艺"};
    SimContent content;
    for (int c = 1; c <= categoryCount; ++c) {
        SimCategory category;
        category.id = c;
        category.name = c <= 9 ? kNames[c - 1] : "分类" + std::to_string(c);
        for (int n = 1; n <= 3; ++n) {
            category.clips.push_back({c * 100 + n, category.name + std::to_string(n), ""});
        }
        content.categories.push_back(std::move(category));
    }
    content.effects = {{"男声", "低沉", 1},
                       {"男声", "明亮", 2},
                       {"女声", "甜美", 3},
                       {"特效 & 变声", "机器人", 4}};
    return content;
}

std::vector<uint8_t> MakeEffectFile(int number) {
    // Sections A and B of two 8-byte records, C of one 24-byte record, three parameter records.
    std::vector<uint8_t> out;
    const uint32_t header[10] = {2, 0, 16, 48, 8, 8, 24, 16, 16, 24};
    for (uint32_t v : header) {
        PutU32(out, v);
    }
    for (int i = 0; i < 16 + 16 + 24; ++i) {
        out.push_back(static_cast<uint8_t>(number * 7 + i));
    }
    for (uint32_t id = 0; id < 3; ++id) {
        PutU32(out, id + 1);  // parameter number: id + 1
        PutU32(out, 0);
        PutU32(out, 100);
        float value = static_cast<float>((number * 13 + static_cast<int>(id) * 29) % 100);
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        PutU32(out, bits);
    }
    return out;
}

std::vector<uint8_t> MakeClipMp3(int id) {
    // Encoding takes a moment, and tests fetch the same clips again: each id is made once.
    static std::mutex mutex;
    static std::map<int, std::vector<uint8_t>> made;
    std::lock_guard lock(mutex);
    auto it = made.find(id);
    if (it == made.end()) {
        const double hz = 220.0 + 20.0 * static_cast<double>(id % 24);
        const double seconds = 0.5 + 0.25 * static_cast<double>(id % 5);
        std::vector<uint8_t> mp3;
        if (!clipgen::EncodeToMp3(clipgen::MakeTone(hz, seconds), mp3)) {
            mp3.clear();
        }
        it = made.emplace(id, std::move(mp3)).first;
    }
    return it->second;
}

std::vector<uint8_t> MakeFirmwarePackage(int major, int minor) {
    // Built like every other package, so the firmware reader takes it as it takes theirs.
    const std::string version = std::to_string(major) + "." + std::to_string(minor);
    return fwpack::BuildPackage(fwpack::SimplePackage(version, kFirmwareImageBytes, "1.0"));
}

}  // namespace cloudsim
