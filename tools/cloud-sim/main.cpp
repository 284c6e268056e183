// velora-cloud-sim: the cloud service's stand-in for tests and demos. Serves generated sound
// categories, clips, cloud effects and a firmware package on 127.0.0.1 until SIGINT or
// SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "CloudSim.h"

namespace {

const char kUsage[] =
    "usage: velora-cloud-sim [--port N] [--categories N] [--fault KEY=MODE]...\n"
    "                        [--firmware-package FILE] [--firmware-version V]\n"
    "                        [--slow-ms N] [--slow-file-ms N]\n"
    "  KEY:  categories clips clips:ID effects upgrade sound-file effect-file firmware-file\n"
    "  MODE: slow 404 badjson notok overflow slowfile cut nodata none\n"
    "  V:    the firmware offered, 2.4 (default) or 2004000\n"
    "  Listens on 127.0.0.1 (port 10991 by default, 0: any free port); the base address is\n"
    "  printed on stdout.\n";

bool ReadFile(const char* path, std::vector<uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !out.empty();
}

// "2.4" or the check answer's own number, 2004000.
int ParseVersion(const char* text) {
    int major = 0;
    int minor = 0;
    if (std::sscanf(text, "%d.%d", &major, &minor) == 2) {
        return major * 1000000 + minor * 1000;
    }
    return std::atoi(text);
}

}  // namespace

int main(int argc, char** argv) {
    int port = 10991;
    int categories = 9;
    cloudsim::SimOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!value) {
            std::fputs(kUsage, stderr);
            return 1;
        }
        ++i;
        if (arg == "--port") {
            port = std::atoi(value);
        } else if (arg == "--categories") {
            categories = std::atoi(value);
        } else if (arg == "--slow-ms") {
            options.slowMs = std::atoi(value);
        } else if (arg == "--slow-file-ms") {
            options.slowFileMs = std::atoi(value);
        } else if (arg == "--firmware-version") {
            options.content.firmwareVersion = ParseVersion(value);
        } else if (arg == "--firmware-package") {
            if (!ReadFile(value, options.firmwarePackage)) {
                std::fprintf(stderr, "velora-cloud-sim: cannot read %s\n", value);
                return 1;
            }
        } else if (arg == "--fault") {
            const std::string assignment = value;
            const size_t eq = assignment.find('=');
            cloudsim::Fault fault;
            if (eq == std::string::npos ||
                !cloudsim::ParseFault(assignment.substr(eq + 1), fault)) {
                std::fprintf(stderr, "velora-cloud-sim: bad fault %s\n%s", value, kUsage);
                return 1;
            }
            options.faults[assignment.substr(0, eq)] = fault;
        } else {
            std::fputs(kUsage, stderr);
            return 1;
        }
    }
    if (port < 0 || port > 65535 || categories < 0 || categories > 1000) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    const int version = options.content.firmwareVersion;
    options.content = cloudsim::DefaultContent(categories);
    options.content.firmwareVersion = version;

    // Block the stop signals before any thread starts, so only sigwait below sees them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    cloudsim::CCloudSim sim(std::move(options));
    if (!sim.Start(port)) {
        std::fprintf(stderr, "velora-cloud-sim: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("%s\n", sim.BaseUrl().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
    sim.Stop();
    return 0;
}
