#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the cloud stand-in serves, all generated here: sound categories with their clips, cloud
// effects, and the firmware version and package.
namespace cloudsim {

struct SimClip {
    int id = 0;
    std::string name;
    std::string url;  // empty: the stand-in's own /files/sound/<id>.mp3; "/...": a path on it
};

struct SimCategory {
    int id = 0;
    std::string name;
    std::vector<SimClip> clips;
};

struct SimEffect {
    std::string category;
    std::string name;
    int number = 0;   // served as /files/effect/<number>.eff
    std::string url;  // empty: that file on the stand-in
};

struct SimContent {
    std::vector<SimCategory> categories;
    std::vector<SimEffect> effects;
    // "2.4": newer than the virtual card's 2.3, so a demo offers an upgrade.
    int firmwareVersion = 2004000;
};

// count categories of three clips each, ids 1..count, clip ids category * 100 + n.
SimContent DefaultContent(int categoryCount = 9);

// A valid effect file (version 2) that differs per number.
std::vector<uint8_t> MakeEffectFile(int number);

// A short MP3 clip from the clip generator: a tone whose pitch and length follow the id. Empty
// when it cannot be encoded.
std::vector<uint8_t> MakeClipMp3(int id);

// A firmware package for a card with hardware 1.0 below "major.minor": one step writing one
// image that installs that version. Empty when the zip cannot be written.
std::vector<uint8_t> MakeFirmwarePackage(int major, int minor);

}  // namespace cloudsim
