#include "FirmwareUpgradeManager.h"

#include <algorithm>
#include <chrono>

#include "FirmwareTexts.h"
#include "FirmwareVersion.h"
#include "Log/Log.h"
#include "profile/Profile.h"
#include "profile/ProfileText.h"
#include "ccm_util/LastResort.h"

#define LOG_SOURCE "firmware\\core\\FirmwareUpgradeManager"

namespace firmware {

using Clock = std::chrono::steady_clock;

namespace {
double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}
// Where the card's versions are remembered across its stay in the loader.
constexpr char16_t kSection[] = u"Firmware";
constexpr char16_t kHardwareKey[] = u"CardHardwareVersion";
constexpr char16_t kFirmwareKey[] = u"CardFirmwareVersion";
}  // namespace

CFirmwareUpgradeManager::CFirmwareUpgradeManager(ICardLink& link, IFirmwareServer* server,
                                                 ccm_util::WindowHandle window,
                                                 std::atomic<int>* upgradingFirmware)
    : m_link(link), m_server(server), m_window(window), m_upgradingFirmware(upgradingFirmware) {}

CFirmwareUpgradeManager::~CFirmwareUpgradeManager() {
    {
        std::lock_guard<std::mutex> guard(m_pauseMutex);
        m_stopping = true;
    }
    m_pauseCond.notify_all();
    if (m_server) {
        m_server->RequestStop();  // a check or download ends now instead of at its time-out
    }
    // A worker stops at its next pause or block; a block in flight ends within its time-outs.
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

bool CFirmwareUpgradeManager::StartWorker(std::function<void()> body) {
    int idle = 0;
    if (!m_busy.compare_exchange_strong(idle, 1)) {
        return false;
    }
    if (m_worker.joinable()) {
        m_worker.join();  // the previous phase has ended; its thread is finishing
    }
    m_worker = std::thread([body = std::move(body)] { body(); });
    return true;
}

void CFirmwareUpgradeManager::Post(uint32_t msg, int64_t wParam, int64_t lParam) {
    if (m_window) {
        ccm_util::PostMessage(m_window, msg, static_cast<ccm_util::WPARAM>(wParam), lParam);
    }
}

bool CFirmwareUpgradeManager::Pause(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_pauseMutex);
    return !m_pauseCond.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return m_stopping.load(); });
}

void CFirmwareUpgradeManager::SetError(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_error = text;
}

void CFirmwareUpgradeManager::ClearError() {
    SetError({});
}

std::string CFirmwareUpgradeManager::ErrorText() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_error;
}
std::string CFirmwareUpgradeManager::CardFirmwareVersion() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_cardFirmware;
}
std::string CFirmwareUpgradeManager::CardHardwareVersion() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_cardHardware;
}
std::string CFirmwareUpgradeManager::NewestVersion() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_newest;
}
std::string CFirmwareUpgradeManager::PackageUrl() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_url;
}
WriteStats CFirmwareUpgradeManager::Stats() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_stats;
}

std::vector<Step> CFirmwareUpgradeManager::StepsWithoutImages() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<Step> steps;
    for (const Step& s : m_contents.steps) {
        steps.push_back({s.version, s.file, s.needVersion, {}});
    }
    return steps;
}

void CFirmwareUpgradeManager::ClearSteps() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_contents = PackageContents{};
}

bool CFirmwareUpgradeManager::UpgradeAvailable() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return !m_newest.empty() && !m_cardFirmware.empty() &&
           CompareVersions(m_cardFirmware, m_newest) < 0;
}

bool CFirmwareUpgradeManager::UseCardInLoader() {
    namespace profile = platform::profile;
    // Known already in this session (an upgrade that failed a moment ago), else from the file.
    std::string hardware = CardHardwareVersion();
    if (hardware.empty() && !m_settingsFile.empty()) {
        hardware = profile::ToUtf8(
            profile::GetPrivateProfileString(kSection, kHardwareKey, u"", m_settingsFile));
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cardFirmware = "0.0";
    m_cardInLoader = true;
    m_cardHardware = hardware;
    if (hardware.empty()) {
        VLOG_ERROR("firmware", "CFirmwareUpgradeManager::UseCardInLoader",
                   "a card in its loader, and no hardware version was remembered for it");
        m_error = kErrUnknownHardware;
        return false;
    }
    return true;
}

void CFirmwareUpgradeManager::UseCardVersions(const std::string& hardware,
                                              const std::string& firmware) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cardHardware = hardware;
    m_cardFirmware = firmware;
    m_cardInLoader = false;
}

bool CFirmwareUpgradeManager::RememberVersions() {
    if (m_settingsFile.empty()) {
        return true;
    }
    namespace profile = platform::profile;
    const std::u16string hardware = profile::FromUtf8(CardHardwareVersion());
    const std::u16string firmware = profile::FromUtf8(CardFirmwareVersion());
    if (hardware.empty() ||
        !profile::WritePrivateProfileString(kSection, kHardwareKey, hardware, m_settingsFile) ||
        !profile::WritePrivateProfileString(kSection, kFirmwareKey, firmware, m_settingsFile)) {
        VLOG_ERROR("firmware", "CFirmwareUpgradeManager::RunUpgrade",
                   "cannot remember the card's versions in %s", m_settingsFile.c_str());
        return false;
    }
    return true;
}

void CFirmwareUpgradeManager::LogPhaseEnd(const char* phase, bool ok, Clock::time_point start) {
    const double seconds = Seconds(Clock::now() - start);
    if (ok) {
        VLOG_INFO("firmware", "CFirmwareUpgradeManager", "%s done in %.1f s", phase, seconds);
        return;
    }
    // The text the dialog shows, so that a report of a failed upgrade says why.
    VLOG_ERROR("firmware", "CFirmwareUpgradeManager", "%s failed after %.1f s (card %s): %s",
               phase, seconds, Untouched() ? "untouched" : "in its loader, written to",
               ErrorText().c_str());
}

bool CFirmwareUpgradeManager::StartReadDeviceInfo() {
    return StartWorker([this] {
        const auto start = Clock::now();
        const bool ok =
            ccm_util::CallGuarded("firmware ReadDeviceInfo", [this] { return ReadDeviceInfo(); });
        LogPhaseEnd("reading the card's versions", ok, start);
        m_busy = 0;
        Post(UM_FW_PHASE, kPhaseDeviceInfo, ok);
    });
}

bool CFirmwareUpgradeManager::StartCheckServer() {
    return StartWorker([this] {
        const auto start = Clock::now();
        const bool ok =
            ccm_util::CallGuarded("firmware CheckServer", [this] { return CheckServer(); });
        LogPhaseEnd("the server check", ok, start);
        m_busy = 0;
        Post(UM_FW_PHASE, kPhaseServer, ok);
    });
}

bool CFirmwareUpgradeManager::StartDownload() {
    return StartWorker([this] {
        const auto start = Clock::now();
        const bool ok = ccm_util::CallGuarded("firmware Download", [this] { return Download(); });
        LogPhaseEnd("the download", ok, start);
        m_busy = 0;
        Post(UM_FW_PHASE, kPhaseDownload, ok);
    });
}

bool CFirmwareUpgradeManager::StartUpgrade() {
    return StartWorker([this] {
        const auto start = Clock::now();
        const bool ok =
            ccm_util::CallGuarded("firmware RunUpgrade", [this] { return RunUpgrade(); });
        LogPhaseEnd("the upgrade", ok, start);
        m_busy = 0;
        Post(UM_FW_PHASE, kPhaseUpgrade, ok);
    });
}

bool CFirmwareUpgradeManager::ReadDeviceInfo() {
    card::Frame request{};
    request[0] = card::CMD_DEVICE_INFO;
    card::Frame reply{};
    if (!m_link.IsOpen()) {
        SetError(kErrNoCard);
        return false;
    }
    if (!m_link.Exchange(request, reply, card::kDeviceInfoTiming)) {
        SetError(kErrDeviceInfo);
        return false;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_cardHardware = CardVersionText(reply[card::kHardwareVersionOffset]);
    m_cardFirmware = CardVersionText(reply[card::kFirmwareVersionOffset]);
    return true;
}

bool CFirmwareUpgradeManager::CheckServer() {
    std::string answer;
    if (!m_server || !m_server->CheckUpgrade(answer) || answer.empty()) {
        SetError(kErrServer);
        return false;
    }
    if (answer.size() > kCheckAnswerBytes) {
        answer.resize(kCheckAnswerBytes);
    }
    std::string version;
    std::string url;
    std::string error;
    if (!ParseCheckAnswer(answer, version, url, error)) {
        SetError(error);
        return false;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_newest = version;
    m_url = url;
    return true;
}

bool CFirmwareUpgradeManager::Download() {
    Post(UM_FW_STATUS, kStatusDownloading, 0);
    std::vector<uint8_t> package;
    const std::string url = PackageUrl();
    if (!m_server || url.empty() || !m_server->DownloadPackage(url, package) || package.empty()) {
        SetError(kErrDownload);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_package = std::move(package);
    }
    return Unpack();
}

bool CFirmwareUpgradeManager::UsePackage(std::vector<uint8_t> package) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_package = std::move(package);
    }
    return Unpack();
}

bool CFirmwareUpgradeManager::Unpack() {
    Post(UM_FW_STATUS, kStatusDownloaded, 0);
    Post(UM_FW_STATUS, kStatusUnpacking, 0);
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_cardHardware.empty()) {
        // The package is checked against the card's hardware, never chosen for it.
        m_contents = PackageContents{};
        m_error = kErrUnknownHardware;
        return false;
    }
    PackageContents contents;
    std::string error;
    if (!UnpackPackage(m_package, m_cardHardware, contents, error)) {
        m_contents = PackageContents{};
        m_error = error;
        return false;
    }
    m_contents = std::move(contents);
    m_newest = m_contents.version;
    Post(UM_FW_STATUS, kStatusUnpacked, 0);
    return true;
}

bool CFirmwareUpgradeManager::RunUpgrade() {
    if (m_upgradingFirmware) {
        *m_upgradingFirmware = 1;
    }
    m_untouched = 1;
    m_stepIndex = -1;
    // One writer of the loader per user; the lock goes when this upgrade ends.
    std::string busy;
    if (!m_writerLock.TryAcquire(busy)) {
        SetError(busy);
        return false;
    }
    // Shutdown and sleep would cut the write short: they wait for it (without a system bus the
    // write goes on all the same).
    m_inhibitor.Take("Velora", kInhibitReason);
    struct Unlock {
        CFirmwareWriterLock& lock;
        platform::inhibit::CBlockInhibitor& inhibitor;
        ~Unlock() {
            inhibitor.Release();
            lock.Release();
        }
    } unlock{m_writerLock, m_inhibitor};
    // Everything that can be known about the package is checked while the card still runs
    // its firmware: a refused package never sends the card to its loader.
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::string error;
        if (!CheckBeforeBoot(m_contents, m_cardFirmware, error)) {
            m_error = error;
            return false;
        }
    }
    // A card already in its loader (left there by an attempt that did not reach the loader in
    // time) is not told to enter it again, and what was remembered of its firmware stays.
    const bool inLoader = m_cardInLoader || m_link.LoaderOpen() || m_link.LoaderPresent();
    if (m_link.IsOpen() && !inLoader) {
        // In its loader the card cannot tell its versions: a recovery later checks the package
        // against what is remembered now.
        if (!RememberVersions()) {
            SetError(kErrRememberVersions);
            return false;
        }
        card::Frame notice{};
        notice[0] = card::CMD_FW_NOTICE;
        card::Frame noticeReply{};
        m_link.Exchange(notice, noticeReply, card::kFwNoticeTiming);  // its answer is not needed
        card::Frame request{};
        request[0] = card::CMD_FW_ENTER_BOOT;
        card::Frame reply{};
        m_link.Exchange(request, reply, card::kFwEnterBootTiming);  // the card may go at once
        VLOG_INFO("firmware", "CFirmwareUpgradeManager::RunUpgrade",
                  "the card was told to enter its loader");
    } else {
        VLOG_INFO("firmware", "CFirmwareUpgradeManager::RunUpgrade",
                  "the card is in its loader already (%s)",
                  m_link.LoaderOpen() ? "open" : "not open yet");
    }
    Post(UM_FW_STATUS, kStatusPrepare, 0);
    if (!ReachLoader()) {
        SetError(kErrLoaderMissing);
        return false;
    }
    return Procedure();
}

bool CFirmwareUpgradeManager::ReachLoader() {
    using std::chrono::milliseconds;
    const auto start = Clock::now();
    const auto appearBy = start + milliseconds(static_cast<int64_t>(m_pauses.loaderRounds) *
                                               m_pauses.loaderRoundMs);
    const uint32_t lookMs = std::min<uint32_t>(m_pauses.loaderRoundMs, 250);
    if (m_link.LoaderOpen()) {
        return true;  // opened already (an open that answered after an earlier attempt gave up)
    }
    bool appeared = false;
    Clock::time_point appearedAt = start;
    int opens = 0;
    while (true) {
        if (m_stopping || (m_upgradingFirmware && m_upgradingFirmware->load() == 0)) {
            VLOG_WARN("firmware", "CFirmwareUpgradeManager::ReachLoader",
                      "stopped %.1f s after the card was told to enter its loader",
                      Seconds(Clock::now() - start));
            return false;
        }
        if (!appeared && m_link.LoaderPresent()) {
            appeared = true;
            appearedAt = Clock::now();
            VLOG_INFO("firmware", "CFirmwareUpgradeManager::ReachLoader",
                      "the loader appeared after %.2f s", Seconds(appearedAt - start));
        }
        if (appeared) {
            // One open, asked once and waited for in slices so that the program's end is heard;
            // a failed open is asked again until the deadline.
            const auto openBy = appearedAt + milliseconds(m_pauses.loaderOpenMs);
            const auto slice = std::min<Clock::duration>(milliseconds(500), openBy - Clock::now());
            ++opens;
            if (m_link.OpenLoader(std::chrono::duration_cast<milliseconds>(
                    std::max<Clock::duration>(slice, Clock::duration::zero())))) {
                VLOG_INFO("firmware", "CFirmwareUpgradeManager::ReachLoader",
                          "the loader was opened %.2f s after it appeared (%.2f s after the "
                          "card was told to enter it, %d waits)",
                          Seconds(Clock::now() - appearedAt), Seconds(Clock::now() - start),
                          opens);
                return true;
            }
            if (Clock::now() >= openBy) {
                VLOG_ERROR("firmware", "CFirmwareUpgradeManager::ReachLoader",
                           "the loader appeared and was not opened within %.1f s (%d waits)",
                           Seconds(Clock::now() - appearedAt), opens);
                return false;
            }
        } else if (Clock::now() >= appearBy) {
            VLOG_ERROR("firmware", "CFirmwareUpgradeManager::ReachLoader",
                       "no loader appeared within %.1f s of the enter-boot command",
                       Seconds(Clock::now() - start));
            return false;
        }
        if (!Pause(lookMs)) {
            return false;
        }
    }
}

bool CFirmwareUpgradeManager::Procedure() {
    if (!Pause(m_pauses.beforeProcedureMs)) {
        return false;
    }
    Post(UM_FW_STATUS, kStatusConnecting, 0);
    m_untouched = 1;
    if (!m_link.IsOpen()) {
        // Said, not silent: the dialog would offer a retry with nothing to tell why.
        VLOG_ERROR("firmware", "CFirmwareUpgradeManager::Procedure",
                   "the loader was let go before the first image was announced");
        SetError(kErrLoaderMissing);
        return false;
    }
    m_untouched = 0;
    std::vector<int> chosen;
    std::string firmware;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        chosen = ChosenSteps(m_contents.steps, m_cardFirmware);
        m_stats = WriteStats{};
    }
    const auto start = Clock::now();
    for (int i : chosen) {
        m_stepIndex = i;
        Post(UM_FW_STATUS, kStatusWritingStep, i);
        if (!Pause(m_pauses.beforeStepMs)) {
            return false;
        }
        // The images are not changed while the worker runs: read them without the lock.
        const std::vector<uint8_t>& image = m_contents.steps[static_cast<size_t>(i)].image;
        bool written = false;
        for (int attempt = 0; attempt < m_pauses.imageAttempts && !written; ++attempt) {
            if (attempt > 0 && !Pause(m_pauses.stepRetryMs)) {
                return false;
            }
            // Each image is announced with its own length and CRC, which the loader checks at
            // its last block; a retry starts the announcement over.
            card::Frame reply{};
            m_link.Exchange(MakeFwInfoFrame(static_cast<uint32_t>(image.size()),
                                            Crc32(image.data(), image.size())),
                            reply, card::kFwInfoTiming);
            written = UpgradeFirmware(image.data(), image.size());
        }
        if (!written) {
            SetError(kErrWriteFailed);
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stats.totalSeconds = Seconds(Clock::now() - start);
    }
    if (chosen.empty()) {
        SetError(kErrNoSuitableStep);
        return false;
    }
    return true;
}

bool CFirmwareUpgradeManager::UpgradeFirmware(const uint8_t* image, size_t length) {
    if (!image || length == 0 || length > kMaxImageBytes) {
        VLOG_ERROR("firmware", "CFirmwareUpgradeManager::UpgradeFirmware", "invalid parameter.\n");
        return false;
    }
    Post(UM_FW_STATUS, kStatusRange, static_cast<int64_t>(length));
    const size_t blocks = BlockCount(length);
    for (size_t index = 0; index < blocks; ++index) {
        if (m_stopping) {
            VLOG_WARN("firmware", "CFirmwareUpgradeManager::UpgradeFirmware",
                      "the program ends: writing stopped after block %zu of %zu", index, blocks);
            return false;
        }
        card::Frame reply{};
        const auto sent = Clock::now();
        const bool ok =
            m_link.Exchange(MakeFwDataFrame(static_cast<uint16_t>(index), image, length), reply,
                            card::kFwDataTiming);
        const double waited = Seconds(Clock::now() - sent);
        if (!ok) {
            VLOG_ERROR("firmware", "CFirmwareUpgradeManager::UpgradeFirmware",
                       "send cmd--0x10 failed. index=%d\n", static_cast<int>(index));
            return false;
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_stats.blocks;
            m_stats.exchangeSeconds += waited;
        }
        Post(UM_FW_STATUS, kStatusPosition,
             static_cast<int64_t>(std::min(length, (index + 1) * kBlockBytes)));
        if (m_pauses.afterBlockMs && !Pause(m_pauses.afterBlockMs)) {
            VLOG_WARN("firmware", "CFirmwareUpgradeManager::UpgradeFirmware",
                      "the program ends: writing stopped after block %zu of %zu", index + 1,
                      blocks);
            return false;
        }
    }
    return true;
}

}  // namespace firmware
