#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace velora_test {

// A program of the build tree, named relative to the folder of the running test executable.
// The tests' object code then carries no absolute paths, so clones of the repository in other
// folders share the compiler cache.
inline std::string InBuildTree(const char* relative) {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return relative;
    }
    return (exe.parent_path() / relative).lexically_normal().string();
}

}  // namespace velora_test
