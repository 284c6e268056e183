#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LogRetention.h"

namespace vlog {

enum Level : int { kTrace = 0, kDebug, kInfo, kWarn, kError, kAlarm, kFatal };

const char* LevelName(int level);

struct LogRecord {
    int level = kError;
    uint32_t pid = 0;
    uint32_t tid = 0;
    std::chrono::system_clock::time_point when;
    std::string tag;
    std::string message;
    std::string function;  // empty: no source location
    std::string source;
    int line = 0;
};

// One line of the log file, without the line end.
std::string FormatLine(const LogRecord& record, const std::string& moduleName);

// Writes log lines to "<folder>/<module>_<yyyymmdd>.log" from a thread of its own, so a slow or
// full disk never holds up a caller; lines that cannot be queued or written are dropped and
// counted. What it keeps is bounded by LogLimits: old days and excess size are pruned at start
// and at each new day, one day's file stops growing at its cap, and a line logged from one place
// over and over is written a few times per window, then summed up in one line with a count.
class CLogManager {
public:
    CLogManager();
    ~CLogManager();
    CLogManager(const CLogManager&) = delete;
    CLogManager& operator=(const CLogManager&) = delete;

    // Creates the folder if needed and becomes the process's log. False when a log runs already.
    bool Start(const std::filesystem::path& folder, const std::string& moduleName);
    // Before Start; the defaults suit the program.
    void SetLimits(const LogLimits& limits) { m_limits = limits; }
    // Writes what is queued and stops being the process's log.
    void Stop();
    void Flush();

    void Submit(LogRecord record);
    uint64_t DroppedLines() const;
    // Lines held back by the repetition limit so far.
    uint64_t SuppressedLines() const;
    std::filesystem::path CurrentFile() const;

private:
    struct Burst {
        std::chrono::steady_clock::time_point windowStart;
        unsigned lines = 0;
        uint64_t suppressed = 0;
        LogRecord last;  // the place's latest record, for the summary line
    };

    void WriterLoop();
    bool WriteOne(const LogRecord& record);
    // Under m_mutex: false when the record is held back; queues a summary of the last window's
    // held-back lines before the first line of a new one.
    bool PassesBurstLimit(const LogRecord& record);
    void QueueSummary(Burst& burst);

    static constexpr size_t kMaxQueued = 4096;

    std::filesystem::path m_folder;
    std::string m_module;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<LogRecord> m_queue;
    bool m_stopping = false;
    bool m_writing = false;
    bool m_started = false;
    uint64_t m_dropped = 0;
    uint64_t m_suppressed = 0;
    LogLimits m_limits;
    std::map<std::string, Burst> m_bursts;
    uintmax_t m_fileBytes = 0;
    bool m_fileFull = false;
    std::FILE* m_file = nullptr;
    std::string m_fileDay;
    std::filesystem::path m_filePath;
    std::thread m_writer;
};

// Receives every record as it is written; tests use it to read what was logged.
using LogObserver = std::function<void(const LogRecord&)>;
int AddObserver(LogObserver observer);
void RemoveObserver(int handle);

// Records every message logged while it lives.
class CLogCapture {
public:
    CLogCapture();
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<LogRecord> Records() const;
    std::vector<std::string> Messages() const;
    size_t Count(const std::string& message) const;
    void Clear();

private:
    mutable std::mutex m_mutex;
    std::vector<LogRecord> m_records;
    int m_handle;
};

// The name the process's lines carry as module file name.
void SetModuleName(const std::string& name);
const std::string& ModuleName();

void Write(int level, const char* tag, const char* function, const char* source, int line,
           const char* format, ...) __attribute__((format(printf, 6, 7)));
void WriteV(int level, const char* tag, const char* function, const char* source, int line,
            const char* format, va_list args);

}  // namespace vlog

// Each source file defines LOG_SOURCE as the name its entries carry, for example
// "CppCommonLib\\common\\Device\\DeviceManager".
#define VLOG_ERROR(tag, function, ...) \
    ::vlog::Write(::vlog::kError, tag, function, LOG_SOURCE, __LINE__, __VA_ARGS__)
#define VLOG_WARN(tag, function, ...) \
    ::vlog::Write(::vlog::kWarn, tag, function, LOG_SOURCE, __LINE__, __VA_ARGS__)
#define VLOG_INFO(tag, function, ...) \
    ::vlog::Write(::vlog::kInfo, tag, function, LOG_SOURCE, __LINE__, __VA_ARGS__)
