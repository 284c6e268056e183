#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CardLink.h"
#include "FirmwareFrames.h"
#include "FirmwarePackage.h"
#include "FirmwareServer.h"
#include "FirmwareWriterLock.h"
#include "BlockInhibitor.h"
#include "ccm_util/MessagePoster.h"

namespace firmware {

// The upgrade's waits; tests shorten them.
struct Pauses {
    uint32_t beforeProcedureMs = 300;
    uint32_t beforeStepMs = 500;
    uint32_t stepRetryMs = 500;
    uint32_t afterBlockMs = 10;
    // The loader has loaderRounds x loaderRoundMs to appear, looked for at least every 250 ms;
    // once there, its open has loaderOpenMs, however long the thread that opens takes to answer.
    uint32_t loaderRoundMs = 2000;
    int loaderRounds = 10;
    uint32_t loaderOpenMs = 60000;
    int imageAttempts = 3;
};

// Counted while images are written, for the measurements.
struct WriteStats {
    uint64_t blocks = 0;
    double exchangeSeconds = 0;  // waiting for the loader's replies, pauses excluded
    double totalSeconds = 0;     // the whole writing of images
};

// One upgrade of the card's firmware: its versions, the server's newest firmware, the package
// read and checked in memory, and the writing through the card's loader. Each phase runs on a
// worker thread of the manager and ends with UM_FW_PHASE (phase, 1 or 0) posted to the window;
// UM_FW_STATUS tells progress. One phase at a time.
class CFirmwareUpgradeManager {
public:
    // server may be null (a package given as a file); upgradingFirmware is set while the worker
    // writes (the program's exit guard) and cleared by the window that gets the upgrade's end.
    CFirmwareUpgradeManager(ICardLink& link, IFirmwareServer* server, ccm_util::WindowHandle window,
                            std::atomic<int>* upgradingFirmware);
    ~CFirmwareUpgradeManager();
    CFirmwareUpgradeManager(const CFirmwareUpgradeManager&) = delete;
    CFirmwareUpgradeManager& operator=(const CFirmwareUpgradeManager&) = delete;

    void SetPauses(const Pauses& pauses) { m_pauses = pauses; }
    // The settings file where the card's versions are remembered before it enters its loader,
    // for the recovery of an upgrade that failed; without one nothing is remembered.
    void SetSettingsFile(std::filesystem::path file) { m_settingsFile = std::move(file); }

    // Each starts its worker; false when another phase runs.
    bool StartReadDeviceInfo();
    bool StartCheckServer();
    bool StartDownload();
    bool StartUpgrade();

    // The phases' bodies, run on the calling thread (messages are still posted).
    bool ReadDeviceInfo();
    bool CheckServer();
    bool Download();
    bool RunUpgrade();
    // A package from elsewhere (a file): kept and unpacked as a download's would be.
    bool UsePackage(std::vector<uint8_t> package);
    // A card found in its loader (an upgrade that failed before): it cannot tell its versions,
    // so its hardware is the one remembered before it entered the loader and its firmware counts
    // as 0.0 (its image is partial); it is not told to enter the loader it runs already. False,
    // with the error set, when nothing was remembered: the hardware cannot be checked.
    bool UseCardInLoader();
    // The card's versions as another program that holds the card read them (the running panel,
    // for a check from the command line); nothing is asked of the card then.
    void UseCardVersions(const std::string& hardware, const std::string& firmware);
    bool CardInLoader() const { return m_cardInLoader.load(); }

    // Writes one image through the loader in blocks of 59 bytes.
    bool UpgradeFirmware(const uint8_t* image, size_t length);

    std::string ErrorText() const;
    void ClearError();
    std::string CardFirmwareVersion() const;
    std::string CardHardwareVersion() const;
    std::string NewestVersion() const;
    std::string PackageUrl() const;
    // The step table with images left out.
    std::vector<Step> StepsWithoutImages() const;
    // Clears the steps (and their images) before a new download.
    void ClearSteps();
    int StepIndex() const { return m_stepIndex.load(); }
    bool Untouched() const { return m_untouched.load() != 0; }
    bool IsBusy() const { return m_busy.load() != 0; }
    // The card's firmware is below the newest version.
    bool UpgradeAvailable() const;
    WriteStats Stats() const;

private:
    bool StartWorker(std::function<void()> body);
    // One log line for each end of a phase: what the dialog shows, and how long it took.
    void LogPhaseEnd(const char* phase, bool ok, std::chrono::steady_clock::time_point start);
    void Post(uint32_t msg, int64_t wParam, int64_t lParam);
    void SetError(const std::string& text);
    bool Unpack();
    bool Procedure();
    // Waits for the card's loader to appear and be opened; false (error set) when it does not.
    bool ReachLoader();
    bool RememberVersions();
    // Waits ms or until the manager is being destroyed; false when stopping.
    bool Pause(uint32_t ms);

    ICardLink& m_link;
    IFirmwareServer* m_server;
    ccm_util::WindowHandle m_window;
    std::atomic<int>* m_upgradingFirmware;
    Pauses m_pauses;
    std::filesystem::path m_settingsFile;
    CFirmwareWriterLock m_writerLock;  // worker only, while it writes
    platform::inhibit::CBlockInhibitor m_inhibitor;  // worker only, while it writes

    mutable std::mutex m_mutex;  // guards the texts, the package and the steps
    std::string m_error;
    std::string m_cardFirmware;
    std::string m_cardHardware;
    std::string m_newest;
    std::string m_url;
    std::vector<uint8_t> m_package;
    PackageContents m_contents;
    WriteStats m_stats;

    std::atomic<int> m_busy{0};
    std::atomic<int> m_untouched{1};
    std::atomic<int> m_stepIndex{-1};
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_cardInLoader{false};
    std::mutex m_pauseMutex;
    std::condition_variable m_pauseCond;
    std::thread m_worker;
};

}  // namespace firmware
