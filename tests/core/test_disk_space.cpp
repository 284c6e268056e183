// Downloads and recordings on a disk that is nearly full: a real small file system (tmpfs in a
// mount namespace of this test only), filled to a chosen free space with a real file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <thread>

#include "CloudEffectLibrary.h"
#include "CloudSim.h"
#include "CloudSoundLibrary.h"
#include "CloudSoundNames.h"
#include "DiskSpace.h"
#include "AudioEngineImpl.h"
#include "FakeAudioDevices.h"
#include "Mp3Decoder.h"
#include "MoodConfig.h"
#include "ccm_util/Dispatcher.h"

namespace {

constexpr uint64_t kMB = 1024 * 1024;
constexpr uint64_t kDiskBytes = appbase::kDiskReserveBytes + 16 * kMB;

std::filesystem::path g_disk;  // the small disk's mount point; empty when none could be made

bool WriteText(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// Before any thread starts: a mount namespace (as root directly, otherwise inside a user
// namespace) so that the tmpfs is seen by this process only and goes with it.
std::filesystem::path MountSmallDisk() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velora-disk-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            !WriteText("/proc/self/setgroups", "deny") ||
            !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            ::rmdir(pattern.c_str());
            return {};
        }
    }
    const std::string options = "size=" + std::to_string(kDiskBytes) + ",mode=0700";
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", pattern.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        ::rmdir(pattern.c_str());
        return {};
    }
    return pattern;
}

uint64_t FreeOnDisk() {
    struct statvfs info {};
    EXPECT_EQ(::statvfs(g_disk.c_str(), &info), 0);
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

// Grows or shrinks a filler file until `bytes` are free on the small disk.
void LeaveFree(uint64_t bytes) {
    const std::filesystem::path filler = g_disk / "filler";
    std::error_code ec;
    const uint64_t held = std::filesystem::exists(filler, ec) ? std::filesystem::file_size(filler)
                                                               : 0;
    const uint64_t free = FreeOnDisk();
    const uint64_t target = held + free - bytes;
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    if (target > 0) {
        ASSERT_EQ(::posix_fallocate(fd, 0, static_cast<off_t>(target)), 0);
    }
    ::close(fd);
    ASSERT_NEAR(static_cast<double>(FreeOnDisk()), static_cast<double>(bytes), 64 * 1024);
}

class SmallDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (g_disk.empty()) {
            GTEST_SKIP() << "no mount namespace here: the small disk cannot be made";
        }
        m_data = g_disk / "data";
        std::filesystem::create_directories(m_data);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(m_data, ec);
        std::filesystem::remove(g_disk / "filler", ec);
    }

    std::vector<std::string> FilesUnder(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
             it != std::filesystem::recursive_directory_iterator(); ++it) {
            if (it->is_regular_file()) {
                names.push_back(it->path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path m_data;
    ccm_util::CManualDispatcher m_pump;
    ccm_util::CScopedDispatcher m_scope{&m_pump};
};

TEST_F(SmallDiskTest, TheReserveIsCountedOnTheDiskThatHoldsThePath) {
    // A file not yet there is measured on the disk of the nearest folder that is.
    uint64_t free = 0;
    ASSERT_TRUE(appbase::FreeBytes(m_data / "not" / "yet" / "there.mp3", free));
    EXPECT_LE(free, kDiskBytes);
    EXPECT_GE(free, kDiskBytes - kMB);

    LeaveFree(appbase::kDiskReserveBytes + 2 * kMB);
    std::u16string why = u"untouched";
    EXPECT_TRUE(appbase::EnoughSpaceFor(m_data / "a.eff", kMB, &why));
    EXPECT_EQ(why, u"untouched");
    EXPECT_FALSE(appbase::EnoughSpaceFor(m_data / "a.eff", 3 * kMB, &why));
    EXPECT_EQ(why, u"磁盘空间不足，请清理磁盘后重试");
    EXPECT_FALSE(appbase::EnoughSpaceFor(m_data / "a.eff", UINT64_MAX, nullptr));

    // The watch of a growing file: refused once the reserve is reached, and it stays refused.
    appbase::CDiskWatch watch(m_data / "a.eff");
    EXPECT_FALSE(watch.Full());
    LeaveFree(appbase::kDiskReserveBytes - kMB);
    EXPECT_TRUE(watch.Full());
    LeaveFree(appbase::kDiskReserveBytes + 8 * kMB);
    EXPECT_TRUE(watch.WasFull());
    EXPECT_TRUE(watch.Full());
    EXPECT_FALSE(appbase::CDiskWatch(m_data / "a.eff").Full());
}

TEST_F(SmallDiskTest, CloudEffectDownloadsRefuseAFullDiskAndStopWhenItFills) {
    cloudsim::SimOptions options;
    options.slowFileMs = 2500;  // within the download's time-out
    cloudsim::CCloudSim sim(options);
    ASSERT_TRUE(sim.Start(0));
    effects::CCloudEffectLibrary cloud(m_data, nullptr, sim.BaseUrl());
    std::optional<bool> listed;
    std::vector<effects::CloudFileEnd> ends;
    cloud.SetListListener([&](bool ok) { listed = ok; });
    cloud.SetFileListener([&](const effects::CloudFileEnd& e) { ends.push_back(e); });
    ASSERT_TRUE(cloud.StartFetch());
    ASSERT_TRUE(m_pump.PumpUntil([&] { return listed.has_value(); }, 30000));
    ASSERT_TRUE(*listed);
    ASSERT_GE(cloud.Entries().size(), 2u);

    // Full before it starts: nothing is asked of the server, nothing is left on the disk.
    LeaveFree(appbase::kDiskReserveBytes - kMB);
    ASSERT_EQ(cloud.StartDownload(cloud.Entries()[0]), effects::CloudDownloadStart::kStarted);
    ASSERT_TRUE(m_pump.PumpUntil([&] { return ends.size() == 1; }, 15000));
    EXPECT_FALSE(ends[0].success);
    EXPECT_EQ(ends[0].error, appbase::DiskFullText());
    EXPECT_EQ(sim.Requests("/files/"), 0u);
    EXPECT_EQ(cloud.DownloadMark(cloud.Entries()[0]), 0);

    // Filled by someone else while the body trickles in: ended with the same text, no part left.
    LeaveFree(appbase::kDiskReserveBytes + 4 * kMB);
    sim.SetFault("effect-file", cloudsim::Fault::kSlowFile);
    ASSERT_EQ(cloud.StartDownload(cloud.Entries()[1]), effects::CloudDownloadStart::kStarted);
    ASSERT_TRUE(m_pump.PumpUntil([&] { return sim.Requests("/files/") == 1; }, 5000));
    LeaveFree(appbase::kDiskReserveBytes - kMB);
    ASSERT_TRUE(m_pump.PumpUntil([&] { return ends.size() == 2; }, 15000));
    EXPECT_FALSE(ends[1].success);
    EXPECT_EQ(ends[1].error, appbase::DiskFullText());
    const auto left = FilesUnder(m_data);
    EXPECT_EQ(left, std::vector<std::string>{"Download.ini"});

    // With room again the same file comes whole.
    LeaveFree(appbase::kDiskReserveBytes + 4 * kMB);
    sim.SetFault("effect-file", cloudsim::Fault::kNone);
    ASSERT_EQ(cloud.StartDownload(cloud.Entries()[1]), effects::CloudDownloadStart::kStarted);
    ASSERT_TRUE(m_pump.PumpUntil([&] { return ends.size() == 3; }, 15000));
    EXPECT_TRUE(ends[2].success);
}

TEST_F(SmallDiskTest, CloudClipDownloadsRefuseAFullDisk) {
    cloudsim::CCloudSim sim(cloudsim::SimOptions{});
    ASSERT_TRUE(sim.Start(0));
    sound::CMoodConfig store;
    ASSERT_TRUE(store.Init(m_data / sound::CMoodConfig::kFileName));
    sound::CCloudSoundLibrary cloud(store, m_data, sim.BaseUrl());
    std::optional<bool> listed;
    std::vector<sound::CloudFileOutcome> outcomes;
    cloud.SetListListener([&](bool ok) { listed = ok; });
    cloud.SetFileListener([&](const sound::CloudFileOutcome& o) { outcomes.push_back(o); });
    ASSERT_TRUE(cloud.StartFetch());
    ASSERT_TRUE(m_pump.PumpUntil([&] { return listed.has_value(); }, 30000));
    ASSERT_TRUE(*listed);

    LeaveFree(appbase::kDiskReserveBytes - kMB);
    const int32_t pad = sound::CCloudSoundLibrary::PadId(0, 1);
    ASSERT_EQ(cloud.StartDownload(pad, sound::kCloudPlay), sound::CloudDownloadStart::kStarted);
    ASSERT_TRUE(m_pump.PumpUntil([&] { return outcomes.size() == 1; }, 15000));
    EXPECT_FALSE(outcomes[0].ready);
    EXPECT_EQ(outcomes[0].error, appbase::DiskFullText());
    EXPECT_EQ(sim.Requests("/files/"), 0u);
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::is_empty(sound::CloudSoundFolder(m_data), ec) || ec);
}

TEST_F(SmallDiskTest, RecordingIsRefusedOnAFullDiskAndKeepsWhatItHasWhenTheDiskFills) {
    using namespace platform::audio;
    auto devices = std::make_shared<CFakeAudioDevices>(std::vector<std::string>{"Built-in Audio"},
                                                       std::vector<std::string>{"Built-in Mic"});
    devices->SetInputSignal({1000, 0.5});
    CAudioEngine engine(devices);
    engine.Configure(1, 100);
    engine.SelectInputDevice(0);
    ASSERT_TRUE(engine.Open(u"wavein:///src=line;volume=100;", 1000));
    const auto path = m_data / "rec.mp3";

    LeaveFree(appbase::kDiskReserveBytes - kMB);
    EXPECT_FALSE(engine.StartRecordToFile(path, 1, 0));
    EXPECT_EQ(engine.GetLastError(), appbase::DiskFullText());
    EXPECT_TRUE(FilesUnder(m_data).empty());

    // Room for a while, then the disk fills: the recording ends with the text and what was
    // recorded stays a whole file.
    LeaveFree(appbase::kDiskReserveBytes + 2 * kMB);
    ASSERT_TRUE(engine.StartRecordToFile(path, 1, 0));
    ASSERT_TRUE(engine.Start());
    for (int i = 0; i < 100; ++i) {
        devices->PumpInput(441);  // 1 s
    }
    LeaveFree(appbase::kDiskReserveBytes - kMB);
    EngineState state;
    for (int i = 0; i < 3000; ++i) {  // up to 30 s; the disk is looked at every few seconds
        devices->PumpInput(441);
        engine.DrainNotices();
        engine.GetState(state);
        if (!state.running) {
            break;
        }
        if (i % 50 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the encoder's turn
        }
    }
    engine.DrainNotices();
    engine.GetState(state);
    EXPECT_FALSE(state.running);
    EXPECT_EQ(engine.GetLastError(), appbase::DiskFullText());
    CMp3Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.OpenFile(path, error)) << error;
    EXPECT_GE(decoder.LengthFrames(), 44100);
    EXPECT_LE(decoder.LengthFrames(), 30 * 44100);
    EXPECT_EQ(FilesUnder(m_data), std::vector<std::string>{"rec.mp3"});
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    g_disk = MountSmallDisk();
    const int status = RUN_ALL_TESTS();
    if (!g_disk.empty()) {
        ::umount2(g_disk.c_str(), MNT_DETACH);
        ::rmdir(g_disk.c_str());
    }
    return status;
}
