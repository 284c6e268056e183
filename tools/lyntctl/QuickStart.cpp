// lyntctl as the user starts it. `pad` to a running panel is answered from here: a key on a stream
// deck wants its sound at once, and loading the full program (its libraries for the card, the
// cloud and the sound server) takes longer than the sound server takes to play a clip. Everything
// else runs the full program, in this process's place, with the same arguments.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "ExitStatus.h"
#include "PanelClient.h"
#include "PanelLock.h"

namespace {

// The full program: beside this one in the build tree, in the library-executables folder once
// installed (LYNTCTL_FULL_FROM_BIN, relative to the folder of the programs).
std::filesystem::path FullProgram() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return {};
    }
    self[n] = '\0';
    const std::filesystem::path folder = std::filesystem::path(self).parent_path();
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {folder / "lyntctl-full", folder / LYNTCTL_FULL_FROM_BIN / "lyntctl-full"}) {
        if (std::filesystem::is_regular_file(candidate, ec) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

// The one form answered here: `lyntctl [--json] pad ARG`, ARG a name, a position or --stop. Any
// other (help, more options) is the full program's, which reads it the same way.
bool IsPad(int argc, char** argv, int at) {
    if (argc - at != 2 || std::strcmp(argv[at], "pad") != 0) {
        return false;
    }
    const char* arg = argv[at + 1];
    return *arg != '\0' && (*arg != '-' || std::strcmp(arg, "--stop") == 0);
}

}  // namespace

int main(int argc, char** argv) {
    const int at = argc > 1 && std::strcmp(argv[1], "--json") == 0 ? 2 : 1;
    if (IsPad(argc, argv, at) && platform::instance::IsPanelRunning()) {
        return ctl::RunThroughPanel({"pad", argv[at + 1]}, at == 2, false);
    }
    const std::filesystem::path full = FullProgram();
    if (!full.empty()) {
        ::execv(full.c_str(), argv);
    }
    std::fprintf(stderr, "lyntctl: cannot start %s: %s\n",
                 full.empty() ? "lyntctl-full (not beside lyntctl, nor installed)" : full.c_str(),
                 full.empty() ? "missing" : std::strerror(errno));
    return ctl::kExitUsage;
}
