// lyntctl: the command-line client of the card.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "DeviceInfo.h"
#include "Log/Log.h"
#include "QVAudioProtocol.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoCard = 2;
constexpr int kExitNoAnswer = 3;

const char kUsage[] =
    "usage: lyntctl [--device PATH] COMMAND\n"
    "commands:\n"
    "  devices   list the cards found (path, vendor id, product id)\n"
    "  info      show the card's product, versions and type\n";

struct Options {
    std::string device;
    std::string command;
};

int ListDevices() {
    std::vector<std::string> paths;
    int count = CHidBase::EnumDevices(paths, CHidDeviceBuilder::kVendorId,
                                      CHidDeviceBuilder::kProductId);
    std::vector<std::string> loaders;
    CHidBase::EnumDevices(loaders, CHidDeviceBuilder::kVendorId,
                          CHidDeviceBuilder::kLoaderProductId);
    for (const auto& p : paths) {
        std::printf("%s %04x %04x\n", p.c_str(), CHidDeviceBuilder::kVendorId,
                    CHidDeviceBuilder::kProductId);
    }
    for (const auto& p : loaders) {
        std::printf("%s %04x %04x\n", p.c_str(), CHidDeviceBuilder::kVendorId,
                    CHidDeviceBuilder::kLoaderProductId);
    }
    if (count > static_cast<int>(paths.size())) {
        std::fprintf(stderr, "%d more cards not listed\n", count - static_cast<int>(paths.size()));
    }
    return kExitOk;
}

// Opens the chosen card, or the first one found; prints the reason and returns false otherwise.
bool OpenCard(const Options& options, CHidDeviceBuilder& builder, CQVAudioProtocol& protocol) {
    if (!builder.CreateManager(&protocol)) {
        std::fprintf(stderr, "cannot start the device manager\n");
        return false;
    }
    bool opened = false;
    if (!options.device.empty()) {
        opened = builder.OpenDevicePath(options.device);
    } else if (builder.FindDevices(CHidDeviceBuilder::kProductId) > 0) {
        opened = builder.OpenFirstDevice();
    }
    if (!opened) {
        std::fprintf(stderr, "未连接设备！\n");
    }
    return opened;
}

int ShowInfo(const Options& options) {
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    if (!OpenCard(options, builder, protocol)) {
        return kExitNoCard;
    }
    if (!protocol.NegotiateKey()) {
        std::fprintf(stderr, "the card did not answer the key exchange\n");
        return kExitNoAnswer;
    }
    card::Frame reply{};
    bool answered = protocol.QueryDeviceInfo(reply.data());
    std::fputs(card::FormatDeviceInfo(answered ? &reply : nullptr).c_str(), stdout);
    if (!answered) {
        std::fprintf(stderr, "the card did not answer the information request\n");
        return kExitNoAnswer;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    vlog::SetModuleName("lyntctl");
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (arg == "--device") {
            if (i + 1 >= argc) {
                std::fputs("--device needs a path\n", stderr);
                return kExitUsage;
            }
            options.device = argv[++i];
        } else if (options.command.empty() && arg[0] != '-') {
            options.command = arg;
        } else {
            std::fprintf(stderr, "unexpected argument: %s\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        }
    }
    if (options.command == "devices") {
        return ListDevices();
    }
    if (options.command == "info") {
        return ShowInfo(options);
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
