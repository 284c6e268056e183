#include "VirtualCardServer.h"

#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <json/json.h>

#include "Json/JsonReader.h"
#include "ccm_util/LastResort.h"

namespace vcard {

using namespace std::chrono;
using card::Frame;

CVirtualCardServer::CVirtualCardServer(ServerOptions options)
    : m_options(std::move(options)),
      m_model(m_options.identity),
      m_socketPath(m_options.socketPath),
      m_dropPct(m_options.dropRepliesPct),
      m_corruptPct(m_options.corruptRepliesPct),
      m_delayMs(m_options.replyDelayMs) {}

CVirtualCardServer::~CVirtualCardServer() { Stop(); }

std::string CVirtualCardServer::DevicePath() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return "vcard:" + m_socketPath.string();
}

bool CVirtualCardServer::InLoader() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_loaderActive;
}

namespace {
// The top of the card's level scale: its level meters run 0..30.
constexpr int kLevelTop = 30;

// The loader shows up as product 0x0002 under the card's socket name otherwise.
std::filesystem::path LoaderPath(const std::filesystem::path& cardPath) {
    std::string name = cardPath.filename().string();
    const size_t at = name.find("PID_0041");
    if (at != std::string::npos) {
        name.replace(at, 8, "PID_0002");
    } else {
        name += "#PID_0002";
    }
    return cardPath.parent_path() / name;
}
}  // namespace

void CVirtualCardServer::EnterLoader() {
    DropHost();
    if (m_options.removalDelayMs > 0 && m_listenFd >= 0) {
        // Nobody answers on the node any more; it is removed later (RemoveStaleNode).
        ::close(m_listenFd);
        m_listenFd = -1;
        std::lock_guard<std::mutex> guard(m_mutex);
        m_staleNode = m_socketPath;
        m_staleNodeDue = steady_clock::now() + milliseconds(m_options.removalDelayMs);
    }
    CloseListener();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_loader = std::make_unique<CCardLoader>(m_options.loaderFailBlock);
        m_loaderActive = true;
        m_socketPath = LoaderPath(m_options.socketPath);
    }
    if (m_options.loaderNever) {
        return;
    }
    if (m_options.loaderDelayMs > 0) {
        m_loaderDue = steady_clock::now() + milliseconds(m_options.loaderDelayMs);
        return;
    }
    Listen();
}

void CVirtualCardServer::LeaveLoader() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        // A card whose loader holds no good image stays in its loader, as a real one would.
        if (!m_loaderActive || (!m_loader->CheckPassed() && !m_options.loaderNever)) {
            return;
        }
    }
    DropHost();
    CloseListener();
    std::lock_guard<std::mutex> guard(m_mutex);
    if (const uint8_t version = m_loader->NewFirmwareByte()) {
        m_model.SetFirmwareVersion(version);
    }
    m_loaderActive = false;
    m_socketPath = m_options.socketPath;
}

bool CVirtualCardServer::Start() {
    m_startTime = steady_clock::now();
    m_nextLevels = m_startTime;
    if (!m_options.framesLog.empty()) {
        m_framesLog = std::fopen(m_options.framesLog.c_str(), "ae");
        if (!m_framesLog) {
            return false;
        }
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0 || !Listen()) {
        return false;
    }
    m_running = true;
    m_thread =
        std::thread([this] { ccm_util::RunGuarded("CVirtualCardServer", [this] { Loop(); }); });
    return true;
}

void CVirtualCardServer::Stop() {
    if (m_running.exchange(false)) {
        Wake();
        m_thread.join();
    }
    DropHost();
    CloseListener();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
    if (m_framesLog) {
        std::fclose(m_framesLog);
        m_framesLog = nullptr;
    }
}

bool CVirtualCardServer::Listen() {
    // The socket is made under a temporary name and renamed into place once it listens, so a
    // program that sees it appear can connect at once, as with a card that is plugged in.
    std::filesystem::path socketPath;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        socketPath = m_socketPath;
    }
    const std::string path = socketPath.string();
    const std::string staging =
        (socketPath.parent_path() / ("." + socketPath.filename().string() + ".new")).string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (staging.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, staging.c_str(), staging.size() + 1);
    ::unlink(staging.c_str());
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::rename(staging.c_str(), path.c_str()) != 0) {
        ::unlink(staging.c_str());
        ::close(fd);
        return false;
    }
    m_listenFd = fd;
    return true;
}

void CVirtualCardServer::CloseListener() {
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        std::lock_guard<std::mutex> guard(m_mutex);
        ::unlink(m_socketPath.c_str());
    }
}

void CVirtualCardServer::Wake() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

void CVirtualCardServer::TurnKnob(int id, int value) {
    std::lock_guard<std::mutex> guard(m_mutex);
    Enqueue(m_model.MakeKnobReport(id, value), 0);
}

void CVirtualCardServer::SendLevels(const std::vector<int>& levels) {
    std::lock_guard<std::mutex> guard(m_mutex);
    Enqueue(m_model.MakeLevelsFrame(levels), 0);
}

void CVirtualCardServer::SendRawFrame(const Frame& frame) {
    std::lock_guard<std::mutex> guard(m_mutex);
    Enqueue(frame, 0);
}

void CVirtualCardServer::Unplug() {
    m_unplugRequested = true;
    Wake();
    // Wait until the I/O thread has let go of the host, so callers see the card gone.
    for (int i = 0; i < 200 && m_unplugRequested; ++i) {
        std::this_thread::sleep_for(milliseconds(5));
    }
}

bool CVirtualCardServer::Plug() {
    m_plugRequested = true;
    Wake();
    for (int i = 0; i < 200 && m_plugRequested; ++i) {
        std::this_thread::sleep_for(milliseconds(5));
    }
    return m_listenFd >= 0;
}

double CVirtualCardServer::IoThreadCpuSeconds() const {
    clockid_t clock;
    timespec ts{};
    if (!m_running || pthread_getcpuclockid(const_cast<std::thread&>(m_thread).native_handle(), &clock) != 0 ||
        clock_gettime(clock, &ts) != 0) {
        return 0;
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void CVirtualCardServer::Inspect(const std::function<void(const CCardModel&)>& fn) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    fn(m_model);
}

std::string CVirtualCardServer::StateJson() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_loader) {
        return m_model.StateJson();
    }
    // The card's state with the loader's: the mode and what the last loader run kept.
    Json::Value root;
    Json::Value firmware;
    json_reader::ParseObject(m_model.StateJson(), root);
    json_reader::ParseObject(m_loader->StateJson(m_loaderActive), firmware);
    firmware["host_connected"] = m_loaderActive && m_hostConnected.load();
    root["mode"] = m_loaderActive ? "loader" : "normal";
    root["firmware"] = firmware;
    root["firmware_version"] = m_model.FirmwareVersion();
    return json_reader::WriteCompact(root);
}

// Called with m_mutex held, from any thread but the I/O thread.
void CVirtualCardServer::Enqueue(const Frame& frame, int delayMs) {
    m_outbox.push_back({steady_clock::now() + milliseconds(delayMs), frame});
    Wake();
}

// Called with m_mutex held.
void CVirtualCardServer::LogFrame(char direction, const Frame& frame) {
    if (!m_framesLog) {
        return;
    }
    long long ms = duration_cast<milliseconds>(steady_clock::now() - m_startTime).count();
    std::fprintf(m_framesLog, "%lld %c %s\n", ms, direction,
                 ToHex(frame.data(), frame.size()).c_str());
    std::fflush(m_framesLog);
}

int CVirtualCardServer::NextTimeoutMs() const {
    auto now = steady_clock::now();
    std::optional<steady_clock::time_point> next;
    if (!m_outbox.empty() && m_hostFd >= 0 && !m_hostFull) {
        next = std::min_element(m_outbox.begin(), m_outbox.end(), [](auto& a, auto& b) {
                   return a.due < b.due;
               })->due;
    }
    if (m_options.levelsHz > 0 && m_hostFd >= 0) {
        next = next ? std::min(*next, m_nextLevels) : m_nextLevels;
    }
    if (m_loaderDue) {
        next = next ? std::min(*next, *m_loaderDue) : *m_loaderDue;
    }
    if (m_staleNodeDue) {
        next = next ? std::min(*next, *m_staleNodeDue) : *m_staleNodeDue;
    }
    if (!next) {
        return -1;
    }
    // Rounded up: a wait rounded down to 0 ms would spin until the frame is due (at 1000 level
    // frames a second, that was a whole core).
    auto wait = std::chrono::ceil<milliseconds>(*next - now).count();
    return static_cast<int>(std::max<long long>(0, wait));
}

void CVirtualCardServer::AcceptHost() {
    int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return;
    }
    DropHost();  // one host at a time: a new open replaces the old one
    if (m_options.openDelayMs > 0) {
        std::this_thread::sleep_for(milliseconds(m_options.openDelayMs));
    }
    std::vector<uint8_t> descriptor =
        MakeReportDescriptor(m_options.inputReportBytes, m_options.outputReportBytes);
    if (::send(fd, descriptor.data(), descriptor.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(descriptor.size())) {
        ::close(fd);
        return;
    }
    m_hostFd = fd;
    m_hostConnected = true;
}

void CVirtualCardServer::DropHost() {
    if (m_hostFd >= 0) {
        ::close(m_hostFd);
        m_hostFd = -1;
    }
    m_hostConnected = false;
    m_hostFull = false;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_outbox.clear();
}

void CVirtualCardServer::SetLoaderFailBlock(int block) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_options.loaderFailBlock = block;
    if (m_loader) {
        m_loader->SetFailFromBlock(block);
    }
}

void CVirtualCardServer::ReadFromHost() {
    uint8_t report[256];
    for (;;) {
        ssize_t n = ::recv(m_hostFd, report, sizeof report, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n <= 0) {
            DropHost();
            return;
        }
        // Report id first, then the frame; shorter reports are padded as the device would see.
        Frame frame{};
        std::memcpy(frame.data(), report + 1,
                    std::min<size_t>(static_cast<size_t>(n > 0 ? n - 1 : 0), frame.size()));
        std::lock_guard<std::mutex> guard(m_mutex);
        LogFrame('H', frame);
        if (m_muted) {
            continue;
        }
        std::optional<Frame> reply =
            m_loaderActive ? m_loader->HandleHostFrame(frame) : m_model.HandleHostFrame(frame);
        if (!m_loaderActive && m_model.TakeEnterBoot()) {
            m_bootRequested = true;  // once the reply is out
        }
        if (!reply) {
            continue;
        }
        std::uniform_int_distribution<int> percent(0, 99);
        if (percent(m_random) < m_dropPct) {
            continue;
        }
        if (percent(m_random) < m_corruptPct) {
            (*reply)[card::kFrameLength - 1] ^= 0x5A;
        }
        // The I/O thread flushes the outbox right after this read and polls with the reply's
        // due time: no wake-up through the eventfd, which cost three system calls a frame.
        m_outbox.push_back({steady_clock::now() + milliseconds(m_delayMs.load()), *reply});
    }
}

void CVirtualCardServer::FlushOutbox() {
    auto now = steady_clock::now();
    if (m_options.levelsHz > 0 && m_hostFd >= 0 && now >= m_nextLevels) {
        std::lock_guard<std::mutex> guard(m_mutex);
        int phase = static_cast<int>(duration_cast<milliseconds>(now - m_startTime).count() / 50);
        std::vector<int> levels;
        for (int i = 0; i < 4; ++i) {
            // On the card's own scale, 0..30, as a real card's level frames are.
            levels.push_back((phase * 7 + i * 11) % (kLevelTop + 1));
        }
        m_outbox.push_back({now, m_model.MakeLevelsFrame(levels)});
        m_nextLevels = now + microseconds(1000000 / m_options.levelsHz);
    }
    if (m_hostFd < 0) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_hostFull = false;
    // Due frames leave in the order they were queued.
    std::stable_sort(m_outbox.begin(), m_outbox.end(),
                     [](const Outgoing& a, const Outgoing& b) { return a.due < b.due; });
    while (!m_outbox.empty() && m_outbox.front().due <= now) {
        uint8_t report[1 + card::kFrameLength] = {0};
        std::memcpy(report + 1, m_outbox.front().frame.data(), card::kFrameLength);
        ssize_t n = ::send(m_hostFd, report, sizeof report, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            m_hostFull = true;  // the host reads slowly; try again once it has room
            return;
        }
        LogFrame('C', m_outbox.front().frame);
        m_outbox.pop_front();
    }
}

void CVirtualCardServer::Loop() {
    while (m_running) {
        if (m_unplugRequested) {
            m_loaderDue.reset();  // unplugged: no loader comes up
            DropHost();
            CloseListener();
            m_unplugRequested = false;
        }
        if (m_staleNodeDue && (steady_clock::now() >= *m_staleNodeDue || m_plugRequested ||
                               m_unplugRequested)) {
            m_staleNodeDue.reset();
            ::unlink(m_staleNode.c_str());
        }
        if (m_loaderDue && steady_clock::now() >= *m_loaderDue) {
            m_loaderDue.reset();
            if (m_listenFd < 0) {
                Listen();
            }
        }
        if (m_plugRequested) {
            m_loaderDue.reset();  // a plug puts the socket up at once
            LeaveLoader();
            if (m_listenFd < 0) {
                Listen();
            }
            m_plugRequested = false;
        }
        const short hostEvents = m_hostFull ? POLLIN | POLLOUT : POLLIN;
        pollfd fds[3] = {{m_wakeFd, POLLIN, 0}, {m_listenFd, POLLIN, 0}, {m_hostFd, hostEvents, 0}};
        int timeout;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            timeout = NextTimeoutMs();
        }
        int r = ::poll(fds, 3, timeout);
        if (r < 0 && errno != EINTR) {
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(m_wakeFd, &count, sizeof count);
        }
        if (m_listenFd >= 0 && (fds[1].revents & POLLIN)) {
            AcceptHost();
        }
        if (m_hostFd >= 0 && fds[2].fd == m_hostFd && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) {
            ReadFromHost();
        }
        FlushOutbox();
        bool outboxEmpty;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            outboxEmpty = m_outbox.empty();
        }
        if (m_bootRequested && outboxEmpty) {
            m_bootRequested = false;
            EnterLoader();
        }
    }
}

}  // namespace vcard
