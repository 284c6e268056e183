#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "RecordingProtocol.h"
#include "Log/Log.h"
#include "TempDir.h"
#include "TestWaits.h"
#include "common/Device/DeviceManager.h"
#include "common/Device/FrameChecksum.h"
#include "common/Device/HidDevice/DeviceIds.h"
#include "common/Device/HidDevice/DeviceLock.h"
#include "common/Device/HidDevice/HidBase.h"
#include "common/Device/Protocol.h"

// The path a real card takes: a hidraw node whose reports carry no report id, read through the
// same transport and report channel the panel uses, with a socket pair standing in for the node.

namespace {

using Frame = std::array<uint8_t, 64>;

// A CHidBase whose node is one end of a socket pair; the lengths are those a hidraw node of the
// card reports (64 bytes plus the report-id byte).
class SocketPairTransport : public CHidBase {
public:
    SocketPairTransport(int fd, bool numbered)
        : CHidBase("/dev/hidraw-test"), m_fd(fd), m_numbered(numbered) {}
    ~SocketPairTransport() override {
        CloseDevice();
        ::close(m_fd);
    }

protected:
    bool Describe(Description* out) override {
        out->inputLength = 65;
        out->outputLength = 65;
        out->numbered = m_numbered;
        return true;
    }
    int OpenHandle(bool) override {
        int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return fd;
    }
    // The card's lock is taken on the pair's own end (there is no node to lock).
    int OpenLockHandle() override { return ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0); }

private:
    int m_fd;
    bool m_numbered;
};


// The card's end: what the host writes always starts with the report id (0); what the card
// sends carries one only on a device with numbered reports.
class CardEnd {
public:
    CardEnd(int fd, bool numbered) : m_fd(fd), m_numbered(numbered) {}
    ~CardEnd() { ::close(m_fd); }

    void Send(const uint8_t* bytes, size_t n) {
        std::vector<uint8_t> report;
        if (m_numbered)
            report.push_back(0);
        report.insert(report.end(), bytes, bytes + n);
        ASSERT_EQ(::send(m_fd, report.data(), report.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(report.size()));
    }
    // Answers one request: code + 1, status ok, the request's payload echoed, signed.
    void AnswerOne() {
        uint8_t report[128];
        ssize_t n = ::recv(m_fd, report, sizeof report, 0);
        ASSERT_EQ(n, 65);
        ASSERT_EQ(report[0], 0) << "the report id comes first";
        Frame reply{};
        std::memcpy(reply.data(), report + 1, 64);
        reply[0] = static_cast<uint8_t>(report[1] + 1);
        reply[3] = 0xFF;
        reply[63] = FrameChecksum(reply.data(), 63);
        Send(reply.data(), reply.size());
    }

private:
    int m_fd;
    bool m_numbered;
};

class ReportModes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
        transport = std::make_unique<SocketPairTransport>(fds[0], GetParam());
        cardEnd = std::make_unique<CardEnd>(fds[1], GetParam());
        ASSERT_TRUE(manager.AttachDevice(transport.get(), &protocol));
    }
    void TearDown() override { manager.DetachDevice(); }

    RecordingProtocol protocol;
    std::unique_ptr<SocketPairTransport> transport;
    std::unique_ptr<CardEnd> cardEnd;
    CDeviceManager manager;
};

TEST_P(ReportModes, RepliesAndReportsArriveAtTheFrameStart) {
    std::thread card([&] { cardEnd->AnswerOne(); });
    Frame q{};
    q[0] = 0x92;
    for (int i = 4; i < 63; ++i)
        q[i] = static_cast<uint8_t>(i * 3);
    Frame r{};
    ASSERT_TRUE(manager.SendAndReceive(q.data(), r.data(), 1, 5000, false));
    card.join();
    EXPECT_EQ(r[0], 0x93);
    EXPECT_EQ(0, std::memcmp(r.data() + 4, q.data() + 4, 59));

    // An unsolicited full report, then a short one: the short one's tail reads as zeros, not
    // as the previous report's bytes.
    Frame full{};
    full.fill(0xAA);
    full[0] = 0x9E;
    cardEnd->Send(full.data(), full.size());
    const uint8_t shortReport[8] = {0x1F, 1, 2, 3, 4, 5, 6, 7};
    cardEnd->Send(shortReport, sizeof shortReport);
    ASSERT_TRUE(WaitUntil([&] { return protocol.Unsolicited().size() == 2; }));
    auto got = protocol.Unsolicited();
    EXPECT_EQ(got[0], full);
    Frame expected{};
    std::memcpy(expected.data(), shortReport, sizeof shortReport);
    EXPECT_EQ(got[1], expected);
}

INSTANTIATE_TEST_SUITE_P(Hidraw, ReportModes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Numbered" : "WithoutIds"; });

TEST(ParseHidId, ReadsTheKernelsHidIdValues) {
    uint16_t vid = 0;
    uint16_t pid = 0;
    ASSERT_TRUE(ParseHidId("0003:00002B53:00000041", &vid, &pid));  // the card on USB
    EXPECT_EQ(vid, 0x2B53);
    EXPECT_EQ(pid, 0x0041);
    ASSERT_TRUE(ParseHidId("0005:0000046D:0000B342", &vid, &pid));  // a Bluetooth device
    EXPECT_EQ(vid, 0x046D);
    EXPECT_EQ(pid, 0xB342);
    for (const char* bad : {"", "0003:00002B53", "0003:00012B53:00000041", "0003:00002B53:00010041",
                            "usb:2b53:0041"}) {
        EXPECT_FALSE(ParseHidId(bad, &vid, &pid)) << bad;
    }
    EXPECT_FALSE(ParseHidId(nullptr, &vid, &pid));
    EXPECT_EQ(vid, 0x046D);  // untouched by a refusal
}

TEST(IdentifyDevice, KnowsANodeAfterItIsGone) {
    // After a removal the node and its HID parent are gone; the ids seen while it was there
    // still say whose it was.
    static int run = 0;  // the ids are remembered for the whole process
    const std::string node = "/dev/hidraw-velora-test-gone" + std::to_string(run++);
    uint16_t vid = 0;
    uint16_t pid = 0;
    EXPECT_FALSE(IdentifyDevice(node, &vid, &pid));
    RememberDeviceIds(node, 0x2B53, 0x0041);
    ASSERT_TRUE(IdentifyDevice(node, &vid, &pid));
    EXPECT_EQ(vid, 0x2B53);
    EXPECT_EQ(pid, 0x0041);
}

TEST(HidrawSetUp, ANodeThatIsNotHidrawIsRefused) {
    TempDir dir;
    const std::string plain = (dir.Path() / "hidraw0").string();
    std::ofstream(plain) << "not a device";
    vlog::CLogCapture log;
    CHidBase notHid(plain);
    EXPECT_FALSE(notHid.OpenDevice());
    EXPECT_EQ(log.Count("HidD_GetPreparsedData failed."), 1u);
    EXPECT_EQ(notHid.LastOpenError(), 0);

    CHidBase missing((dir.Path() / "hidraw9").string());
    EXPECT_FALSE(missing.OpenDevice());
    EXPECT_EQ(missing.LastOpenError(), ENOENT);
    EXPECT_FALSE(missing.IsOpen());
}

// Runs fn in a child process that cannot override file modes (as root it drops to nobody) and
// returns its exit status.
int RunUnprivileged(const std::function<int()>& fn) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(100);
        }
        ::_exit(fn());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TEST(OpenRetryingAccess, WaitsForTheNodesAccessThenGivesUp) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0711), 0);
    const std::string late = (dir.Path() / "hidraw0").string();
    const std::string never = (dir.Path() / "hidraw1").string();
    for (const auto& path : {late, never}) {
        std::ofstream(path) << "x";
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    }
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);

    std::thread udev([&] {
        // Plays udev: grants access once the child has been refused.
        char c = 0;
        if (::read(toParent[0], &c, 1) == 1) {
            ::chmod(late.c_str(), 0644);
            [[maybe_unused]] ssize_t n = ::write(toChild[1], "g", 1);
        }
    });
    int status = RunUnprivileged([&] {
        int pauses = 0;
        int fd = OpenRetryingAccess(never, O_RDONLY, [&](int) { ++pauses; });
        if (fd >= 0 || errno != EACCES || pauses != 10) {
            return 1;
        }
        pauses = 0;
        fd = OpenRetryingAccess(late, O_RDONLY, [&](int) {
            if (++pauses == 1) {
                char c = 0;
                if (::write(toParent[1], "d", 1) != 1 || ::read(toChild[0], &c, 1) != 1) {
                    ::_exit(3);
                }
            }
        });
        return fd >= 0 && pauses == 1 ? 0 : 2;
    });
    ::close(toParent[1]);
    udev.join();
    for (int fd : {toParent[0], toChild[0], toChild[1]})
        ::close(fd);
    EXPECT_EQ(status, 0) << "1: no give-up after ten refusals, 2: access granted but not opened";
}

// One user of the card: a second open of the same node is refused while the first holds it, and
// names the holder as /proc names this process; the first one's close frees the node at once.
TEST(DeviceLock, ASecondOpenIsBusyAndNamesTheHolder) {
    TempDir dir;
    const std::string node = (dir.Path() / "node").string();
    std::ofstream(node) << "";
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);

    CDeviceLock first;
    CDeviceLock second;
    ASSERT_EQ(first.TryLock(::open(node.c_str(), O_RDONLY | O_CLOEXEC)), 0);
    EXPECT_EQ(second.TryLock(::open(node.c_str(), O_RDONLY | O_CLOEXEC)), EBUSY);
    EXPECT_FALSE(second.Held());
    EXPECT_EQ(second.Holder(), comm + " (pid " + std::to_string(::getpid()) + ")");
    first.Release();
    EXPECT_EQ(second.TryLock(::open(node.c_str(), O_RDONLY | O_CLOEXEC)), 0);
    EXPECT_TRUE(second.Holder().empty());
    // A node that cannot be opened gives the open's reason.
    EXPECT_EQ(first.TryLock(::open((dir.Path() / "gone").c_str(), O_RDONLY)), ENOENT);
}

}  // namespace

namespace {

// A card that stopped reading: the host's queue to it is full and a keep-alive write waits for
// room. Letting go of the card (its removal) does not wait for that write's time-out (1 s a try).
TEST(StuckWrite, ADetachDoesNotWaitForAWriteIntoAFullQueue) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds), 0);
    SocketPairTransport transport(fds[0], true);
    RecordingProtocol protocol;
    CDeviceManager manager;
    ASSERT_TRUE(manager.AttachDevice(&transport, &protocol));
    const std::vector<uint8_t> report(65, 0);
    while (::send(fds[0], report.data(), report.size(), MSG_DONTWAIT) ==
           static_cast<ssize_t>(report.size())) {
    }
    ASSERT_EQ(errno, EAGAIN);

    std::atomic<bool> returned{false};
    Background keepAlive([&] {
        Frame q{};
        q[0] = 0x30;
        const bool ok = manager.SendNotReceive(q.data(), false);
        returned = true;
        return ok;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_FALSE(returned.load()) << "the write should wait for room";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(manager.DetachDevice());
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(keepAlive.Finished());
    EXPECT_FALSE(keepAlive.Result());
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_FALSE(transport.IsOpen());

    // The next attach writes again: the release was for the device that went.
    char drain[128];
    while (::recv(fds[1], drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
    ASSERT_TRUE(manager.AttachDevice(&transport, &protocol));
    Frame q{};
    q[0] = 0x30;
    EXPECT_TRUE(manager.SendNotReceive(q.data(), false));
    manager.DetachDevice();
    ::close(fds[1]);
}

}  // namespace
