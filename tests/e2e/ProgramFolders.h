#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

// The folders our programs use, made fresh under a test's folder, and the environment that
// points the programs at them (cards, settings, runtime locks, autostart).
inline std::vector<std::string> ProgramEnvironment(const std::filesystem::path& root) {
    for (const char* sub : {"data", "run", "config", "cards"}) {
        std::filesystem::create_directories(root / sub);
    }
    ::chmod((root / "run").c_str(), 0700);  // as a runtime folder must be
    return {"LYNT_VIRTUAL_CARD_DIR=" + (root / "cards").string(),
            "XDG_DATA_HOME=" + (root / "data").string(),
            "XDG_RUNTIME_DIR=" + (root / "run").string(),
            "XDG_CONFIG_HOME=" + (root / "config").string()};
}
