// lynt-virtual-card: plays one plugged card on a Unix socket, controlled from standard input.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "VirtualCardServer.h"

namespace {

const char kUsage[] =
    "usage: lynt-virtual-card --socket PATH [options]\n"
    "  --frames-log FILE       append every frame that crosses the wire\n"
    "  --hw-version N          hardware version byte (default 10)\n"
    "  --fw-version N          firmware version byte (default 23)\n"
    "  --device-type N         device type byte (default 1)\n"
    "  --levels-hz N           send level frames (levels 0..30) N times a second (default 0: "
    "none)\n"
    "  --drop-replies PCT      drop this share of replies\n"
    "  --corrupt-replies PCT   spoil the checksum of this share of replies\n"
    "  --reply-delay MS        answer this much later\n"
    "  --open-delay MS         each open waits this long for the descriptor (a slow node)\n"
    "  --loader-never          after enter-boot the card goes and no loader appears\n"
    "  --loader-fail-block N   the loader answers no block from index N on\n"
    "  --loader-delay MS       the loader appears this long after the card went to it\n"
    "  --removal-delay MS      the card's node goes this long after its loader appeared\n"
    "commands on standard input: knob ID VALUE (VALUE as the card reports it: levels 0, 1 and\n"
    "  38 in quarter steps, 25 is 100) | levels V0 V1 ... | unplug | plug |\n"
    "  mute on|off (stop and resume answering) | state |\n"
    "  clip SLOT FILE (the bytes the slot received) | quit\n";

bool ParseInt(const char* text, int min, int max, int* out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (!text[0] || *end || v < min || v > max) {
        return false;
    }
    *out = static_cast<int>(v);
    return true;
}

void HandleCommand(vcard::CVirtualCardServer& card, const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb.empty()) {
        return;
    }
    if (verb == "knob") {
        int id = -1;
        int value = -1;
        if (in >> id >> value && id >= 0 && id < 256 && value >= 0 && value <= 0xFFF) {
            card.TurnKnob(id, value);
        } else {
            std::cerr << "knob needs ID (0-255) and VALUE (0-4095)\n";
        }
    } else if (verb == "levels") {
        std::vector<int> levels;
        int v;
        while (in >> v) {
            levels.push_back(v);
        }
        card.SendLevels(levels);
    } else if (verb == "unplug") {
        card.Unplug();
    } else if (verb == "plug") {
        if (!card.Plug()) {
            std::cerr << "cannot create the socket again\n";
        }
    } else if (verb == "mute") {
        std::string how;
        in >> how;
        if (how == "on" || how == "off") {
            card.SetMuted(how == "on");
        } else {
            std::cerr << "mute needs on or off\n";
        }
    } else if (verb == "state") {
        std::cout << card.StateJson() << std::endl;
    } else if (verb == "clip") {
        // The bytes a clip slot received, into a file: tests compare them with their own decoding.
        int slot = -1;
        std::string file;
        if (in >> slot >> file && slot >= 0 && slot < vcard::CCardClips::kSlots) {
            std::vector<uint8_t> bytes;
            card.Inspect([&](const vcard::CCardModel& m) { bytes = m.Clips().Slot(slot).bytes; });
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            std::cout << (out ? "ok" : "error") << std::endl;
        } else {
            std::cerr << "clip needs SLOT (0-4) and FILE\n";
        }
    } else if (verb == "quit") {
        ::kill(::getpid(), SIGTERM);
    } else {
        std::cerr << "unknown command: " << verb << "\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    vcard::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        int n = 0;
        auto number = [&](int min, int max) {
            if (!value || !ParseInt(value, min, max, &n)) {
                std::cerr << arg << " needs a number from " << min << " to " << max << "\n";
                std::exit(1);
            }
            ++i;
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--socket" && value) {
            options.socketPath = value;
            ++i;
        } else if (arg == "--frames-log" && value) {
            options.framesLog = value;
            ++i;
        } else if (arg == "--hw-version") {
            options.identity.hardwareVersion = static_cast<uint8_t>(number(0, 255));
        } else if (arg == "--fw-version") {
            options.identity.firmwareVersion = static_cast<uint8_t>(number(0, 255));
        } else if (arg == "--device-type") {
            options.identity.deviceType = static_cast<uint8_t>(number(0, 255));
        } else if (arg == "--levels-hz") {
            options.levelsHz = number(0, 1000);
        } else if (arg == "--drop-replies") {
            options.dropRepliesPct = number(0, 100);
        } else if (arg == "--corrupt-replies") {
            options.corruptRepliesPct = number(0, 100);
        } else if (arg == "--loader-never") {
            options.loaderNever = true;
        } else if (arg == "--loader-fail-block") {
            options.loaderFailBlock = number(0, 65535);
        } else if (arg == "--loader-delay") {
            options.loaderDelayMs = number(0, 600000);
        } else if (arg == "--removal-delay") {
            options.removalDelayMs = number(0, 600000);
        } else if (arg == "--reply-delay") {
            options.replyDelayMs = number(0, 600000);
        } else if (arg == "--open-delay") {
            options.openDelayMs = number(0, 60000);
        } else {
            std::cerr << "unknown option " << arg << "\n" << kUsage;
            return 1;
        }
    }
    if (options.socketPath.empty()) {
        std::cerr << kUsage;
        return 1;
    }

    // Signals are taken by sigwait below, not by whichever thread they hit.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    vcard::CVirtualCardServer card(options);
    if (!card.Start()) {
        std::cerr << "cannot serve on " << options.socketPath << "\n";
        return 1;
    }

    // At the end of standard input the card keeps playing until it is told to stop.
    std::thread control([&card] {
        std::string line;
        while (std::getline(std::cin, line)) {
            HandleCommand(card, line);
        }
    });
    control.detach();

    int received = 0;
    sigwait(&signals, &received);
    card.Stop();
    std::fflush(stdout);
    std::_Exit(0);  // the control thread may still sit in a read of standard input
}
