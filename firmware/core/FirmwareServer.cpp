#include "FirmwareServer.h"

#include <mutex>

namespace firmware {

namespace {
std::mutex g_factoryMutex;
FirmwareServerFactory g_factory;
}  // namespace

void SetFirmwareServerFactory(FirmwareServerFactory factory) {
    std::lock_guard<std::mutex> guard(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<IFirmwareServer> CreateFirmwareServer() {
    std::lock_guard<std::mutex> guard(g_factoryMutex);
    return g_factory ? g_factory() : nullptr;
}

}  // namespace firmware
