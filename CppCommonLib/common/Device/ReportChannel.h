#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// Moves reports over file descriptors: a hidraw node or a virtual card's socket. Reads wait in
// poll on the device and an eventfd, so Cancel wakes a waiting read at once and an idle read
// costs no CPU; a write waiting for room in a full queue ends at Cancel too. Buffers hold the report id in byte 0.
class CReportChannel {
public:
    enum class ReadResult { kData, kCancelled, kTimeout, kError };

    CReportChannel();
    ~CReportChannel();
    CReportChannel(const CReportChannel&) = delete;
    CReportChannel& operator=(const CReportChannel&) = delete;

    bool HasWakeHandle() const { return m_wakeFd >= 0; }
    // Takes ownership of both descriptors (they may be the same). readsCarryReportId is false for a
    // hidraw device without numbered reports, whose reads start with the first data byte.
    void Attach(int readFd, int writeFd, bool readsCarryReportId);
    void Close();
    bool HasReader() const { return m_readFd.load() >= 0; }
    bool HasWriter() const { return m_writeFd.load() >= 0; }

    // Writes `length` bytes (report id included) and waits at most writeTimeoutMs for room.
    // Returns 0 on success, else the errno of the failure (ECANCELED: Cancel was called since
    // the last Attach).
    int WriteReport(const uint8_t* report, int length, int writeTimeoutMs);
    // One reader at a time, and Close only once it has returned (the device manager waits for
    // its receive loop): a descriptor closed under poll could be reused by another open.
    ReadResult ReadReport(uint8_t* report, int length, uint32_t timeoutMs, int* error);
    // Wakes a waiting read, and fails writes waiting for room (and later ones that would
    // wait) until the next Attach: the device is being let go.
    void Cancel();

private:
    // Writers come from other threads than the one that closes: a descriptor is never closed
    // under a write in progress, which could otherwise land in a reused descriptor.
    std::mutex m_writeMutex;
    std::atomic<int> m_readFd{-1};
    std::atomic<int> m_writeFd{-1};
    int m_wakeFd = -1;
    int m_releaseFd = -1;
    bool m_readsCarryReportId = true;
};
