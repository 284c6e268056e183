#include "ReportChannel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ccm_util/Event.h"

CReportChannel::CReportChannel() {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_releaseFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CReportChannel::~CReportChannel() {
    Close();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
    if (m_releaseFd >= 0) {
        ::close(m_releaseFd);
    }
}

void CReportChannel::Attach(int readFd, int writeFd, bool readsCarryReportId) {
    Close();
    // A cancel meant for the previous device must not wake the first read of this one, nor
    // fail its first write.
    for (const int fd : {m_wakeFd, m_releaseFd}) {
        if (fd >= 0) {
            uint64_t count;
            [[maybe_unused]] ssize_t ignored = ::read(fd, &count, sizeof count);
        }
    }
    m_readFd = readFd;
    m_writeFd = writeFd;
    m_readsCarryReportId = readsCarryReportId;
}

void CReportChannel::Close() {
    std::lock_guard<std::mutex> guard(m_writeMutex);
    int readFd = m_readFd.exchange(-1);
    int writeFd = m_writeFd.exchange(-1);
    if (readFd >= 0) {
        ::close(readFd);
    }
    if (writeFd >= 0 && writeFd != readFd) {
        ::close(writeFd);
    }
}

int CReportChannel::WriteReport(const uint8_t* report, int length, int writeTimeoutMs) {
    std::lock_guard<std::mutex> guard(m_writeMutex);
    const int fd = m_writeFd.load();
    if (fd < 0) {
        return EBADF;
    }
    for (;;) {
        ssize_t n = ::write(fd, report, static_cast<size_t>(length));
        if (n == length) {
            return 0;
        }
        if (n >= 0) {
            return EIO;  // a report is written whole or not at all
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return errno;
        }
        // The device's queue is full (a card that stopped reading): wait for room, or until the
        // device is let go, which then need not wait for this write's time-out.
        pollfd p[2] = {{fd, POLLOUT, 0}, {m_releaseFd, POLLIN, 0}};
        int r = ::poll(p, m_releaseFd >= 0 ? 2 : 1, writeTimeoutMs);
        if (r == 0) {
            return ETIMEDOUT;
        }
        if (r < 0 && errno != EINTR) {
            return errno;
        }
        if (r > 0 && (p[1].revents & POLLIN)) {
            return ECANCELED;
        }
    }
}

CReportChannel::ReadResult CReportChannel::ReadReport(uint8_t* report, int length,
                                                      uint32_t timeoutMs, int* error) {
    *error = 0;
    std::memset(report, 0, static_cast<size_t>(length));
    const int readFd = m_readFd.load();
    pollfd fds[2] = {{readFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    const int timeout = timeoutMs == ccm_util::kInfinite ? -1 : static_cast<int>(timeoutMs);
    for (;;) {
        int r = ::poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = errno;
            return ReadResult::kError;
        }
        if (r == 0) {
            return ReadResult::kTimeout;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t count;
            [[maybe_unused]] ssize_t ignored = ::read(m_wakeFd, &count, sizeof count);
            return ReadResult::kCancelled;
        }
        if (fds[0].revents & POLLIN) {
            uint8_t* into = m_readsCarryReportId ? report : report + 1;
            int room = m_readsCarryReportId ? length : length - 1;
            ssize_t n = ::read(readFd, into, static_cast<size_t>(room));
            if (n > 0) {
                return ReadResult::kData;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            *error = n == 0 ? ENODEV : errno;  // the peer went away
            return ReadResult::kError;
        }
        *error = (fds[0].revents & POLLNVAL) ? EBADF : ENODEV;
        return ReadResult::kError;
    }
}

void CReportChannel::Cancel() {
    // The release stays signalled (writes read it only through poll) until the next Attach.
    for (const int fd : {m_wakeFd, m_releaseFd}) {
        if (fd >= 0) {
            uint64_t one = 1;
            [[maybe_unused]] ssize_t ignored = ::write(fd, &one, sizeof one);
        }
    }
}
