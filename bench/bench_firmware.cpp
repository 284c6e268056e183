// Firmware blocks through the real transport and device manager to the virtual card's loader:
// blocks per second without the writer's 10 ms pause, and how the time of one block divides
// between this process (the host side) and the card's I/O thread.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <thread>

#include "CardLink.h"
#include "FirmwareUpgradeManager.h"
#include "FwPack.h"
#include "QVAudioProtocol.h"
#include "VirtualCardServer.h"
#include "WorkSpace.h"
#include "common/Device/HidDevice/HidDeviceBuilder.h"

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void BM_FirmwareBlocks(benchmark::State& state) {
    char pattern[] = "/tmp/velora-bench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    vcard::ServerOptions options;
    options.socketPath = dir / "#VID_2B53&PID_0041#0";
    vcard::CVirtualCardServer card(options);
    CQVAudioProtocol protocol;
    CHidDeviceBuilder builder;
    card.Start();
    builder.CreateManager(&protocol);
    builder.OpenDevicePath(card.DevicePath());
    CWorkSpace workspace(dir / "LyntConfigData.db", dir);
    firmware::CHidCardLink link(builder, protocol, workspace, nullptr);
    // Into the loader, and open it as the upgrade does.
    card::Frame boot{};
    boot[0] = card::CMD_FW_ENTER_BOOT;
    card::Frame reply{};
    link.Exchange(boot, reply, card::kFwEnterBootTiming);
    for (int i = 0; i < 200 && !card.InLoader(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    builder.OpenDevicePath(card.DevicePath());

    firmware::CFirmwareUpgradeManager manager(link, nullptr, 0, nullptr);
    firmware::Pauses pauses;
    pauses.afterBlockMs = 0;  // the writer's pause is left out: this is the exchange itself
    manager.SetPauses(pauses);
    const std::vector<uint8_t> image = fwpack::MakeImage(24, 59 * 200);
    const uint32_t crc = firmware::Crc32(image.data(), image.size());

    const double cardCpu0 = card.IoThreadCpuSeconds();
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    int64_t blocks = 0;
    for (auto _ : state) {
        link.Exchange(firmware::MakeFwInfoFrame(static_cast<uint32_t>(image.size()), crc), reply,
                      card::kFwInfoTiming);
        if (!manager.UpgradeFirmware(image.data(), image.size())) {
            state.SkipWithError("a block was not acknowledged");
            break;
        }
        blocks += 200;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cardCpu = card.IoThreadCpuSeconds() - cardCpu0;
    const double hostCpu = ProcessCpuSeconds() - cpu0 - cardCpu;
    state.counters["blocks_per_s"] =
        benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kIsRate);
    if (blocks > 0) {
        state.counters["us_per_block"] = wall / static_cast<double>(blocks) * 1e6;
        state.counters["host_cpu_us_per_block"] = hostCpu / static_cast<double>(blocks) * 1e6;
        state.counters["card_cpu_us_per_block"] = cardCpu / static_cast<double>(blocks) * 1e6;
        state.counters["host_share_pct"] = 100.0 * hostCpu / wall;
    }
    builder.GetManager()->DetachDevice();
    card.Stop();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_FirmwareBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
