#include "Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>

namespace vlog {

namespace {

std::mutex g_mutex;  // guards g_manager, g_observers, g_module
CLogManager* g_manager = nullptr;
std::map<int, LogObserver> g_observers;
int g_nextObserver = 1;
std::string g_module = "velora";

uint32_t CurrentTid() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

std::string Vformat(const char* format, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) {
        return format;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        return std::string(small, static_cast<size_t>(n));
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, args);
    big.resize(static_cast<size_t>(n));
    return big;
}

std::tm LocalTime(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace

const char* LevelName(int level) {
    static const char* const kNames[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "ALARM", "FATAL"};
    if (level < 0 || level > kFatal) {
        return "ERROR";
    }
    return kNames[level];
}

std::string FormatLine(const LogRecord& r, const std::string& moduleName) {
    std::tm tm = LocalTime(r.when);
    int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  r.when.time_since_epoch())
                                  .count() %
                              1000);
    char head[160];
    std::snprintf(head, sizeof head, "pid=%u tid=%u %d-%02d-%02d %02d:%02d:%02d.%03d %s %s %s \"",
                  r.pid, r.tid, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec, ms, LevelName(r.level), moduleName.c_str(),
                  r.tag.c_str());
    std::string line = head;
    line += r.message;
    line += '"';
    if (!r.function.empty()) {
        line += ' ';
        line += r.function;
        line += " (";
        line += r.source;
        line += "):";
        line += std::to_string(r.line);
    }
    return line;
}

void SetModuleName(const std::string& name) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_module = name;
}

const std::string& ModuleName() { return g_module; }

void WriteV(int level, const char* tag, const char* function, const char* source, int line,
            const char* format, va_list args) {
    LogRecord record;
    record.level = level;
    record.pid = static_cast<uint32_t>(::getpid());
    record.tid = CurrentTid();
    record.when = std::chrono::system_clock::now();
    record.tag = tag ? tag : "";
    record.message = Vformat(format, args);
    record.function = function ? function : "";
    record.source = source ? source : "";
    record.line = line;

    std::unique_lock<std::mutex> lock(g_mutex);
    for (auto& [handle, observer] : g_observers) {
        observer(record);
    }
    if (g_manager) {
        g_manager->Submit(std::move(record));
        return;
    }
    std::string text = FormatLine(record, g_module);
    lock.unlock();
    text += '\n';
    std::fputs(text.c_str(), stderr);
}

void Write(int level, const char* tag, const char* function, const char* source, int line,
           const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(level, tag, function, source, line, format, args);
    va_end(args);
}

int AddObserver(LogObserver observer) {
    std::lock_guard<std::mutex> guard(g_mutex);
    int handle = g_nextObserver++;
    g_observers.emplace(handle, std::move(observer));
    return handle;
}

void RemoveObserver(int handle) {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_observers.erase(handle);
}

// ---- CLogCapture ----

CLogCapture::CLogCapture() {
    m_handle = AddObserver([this](const LogRecord& r) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_records.push_back(r);
    });
}

CLogCapture::~CLogCapture() { RemoveObserver(m_handle); }

std::vector<LogRecord> CLogCapture::Records() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_records;
}

std::vector<std::string> CLogCapture::Messages() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::string> out;
    for (const auto& r : m_records) {
        out.push_back(r.message);
    }
    return out;
}

size_t CLogCapture::Count(const std::string& message) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    size_t n = 0;
    for (const auto& r : m_records) {
        n += r.message == message ? 1 : 0;
    }
    return n;
}

void CLogCapture::Clear() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_records.clear();
}

// ---- CLogManager ----

CLogManager::CLogManager() = default;

CLogManager::~CLogManager() { Stop(); }

bool CLogManager::Start(const std::filesystem::path& folder, const std::string& moduleName) {
    if (!folder.is_absolute()) {
        // No data folder: the lines stay on standard error rather than landing in whatever
        // folder the program was started from.
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (g_manager) {
            return false;
        }
        g_manager = this;
        g_module = moduleName;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // a missing folder only costs the lines
    m_folder = folder;
    m_module = moduleName;
    m_stopping = false;
    m_started = true;
    {
        const std::tm tm = LocalTime(std::chrono::system_clock::now());
        char day[40];
        std::snprintf(day, sizeof day, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday);
        PruneLogFolder(folder, moduleName, day, m_limits);
    }
    m_writer = std::thread([this] {
        // The log cannot log its own failure: say it on standard error and stop writing.
        try {
            WriterLoop();
        } catch (...) {
            std::fputs("velora: the log writer stopped by an exception\n", stderr);
        }
    });
    return true;
}

void CLogManager::Stop() {
    if (!m_started) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        if (g_manager == this) {
            g_manager = nullptr;
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        for (auto& [key, burst] : m_bursts) {
            QueueSummary(burst);
        }
        m_bursts.clear();
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_started = false;
}

void CLogManager::Flush() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_drained.wait_for(lock, std::chrono::seconds(2),
                       [this] { return m_queue.empty() && !m_writing; });
}

void CLogManager::Submit(LogRecord record) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!PassesBurstLimit(record)) {
            return;
        }
        if (m_queue.size() >= kMaxQueued) {
            ++m_dropped;
            return;
        }
        m_queue.push_back(std::move(record));
    }
    m_wake.notify_one();
}

bool CLogManager::PassesBurstLimit(const LogRecord& record) {
    if (m_limits.burstLines == 0) {
        return true;
    }
    // A place in the code, or the text itself for lines without one.
    std::string key = record.function.empty() ? record.tag + '\x1f' + record.message
                                              : record.source + ':' + std::to_string(record.line);
    const auto now = std::chrono::steady_clock::now();
    const auto window = std::chrono::seconds(m_limits.burstSeconds);
    auto found = m_bursts.find(key);
    if (found == m_bursts.end()) {
        if (m_bursts.size() >= 512) {
            // Many places at once: sum them all up and start over rather than grow.
            for (auto& [k, burst] : m_bursts) {
                QueueSummary(burst);
            }
            m_bursts.clear();
        }
        found = m_bursts.emplace(std::move(key), Burst{now, 0, 0, {}}).first;
    }
    Burst& burst = found->second;
    if (now - burst.windowStart >= window) {
        QueueSummary(burst);
        burst.windowStart = now;
        burst.lines = 0;
    }
    if (burst.lines >= m_limits.burstLines) {
        ++burst.suppressed;
        ++m_suppressed;
        burst.last = record;
        return false;
    }
    ++burst.lines;
    return true;
}

void CLogManager::QueueSummary(Burst& burst) {
    if (burst.suppressed == 0) {
        return;
    }
    LogRecord summary = burst.last;
    summary.when = std::chrono::system_clock::now();
    summary.message = "last line repeated " + std::to_string(burst.suppressed) +
                      " more times, not written: " + burst.last.message;
    burst.suppressed = 0;
    if (m_queue.size() < kMaxQueued) {
        m_queue.push_back(std::move(summary));
    } else {
        ++m_dropped;
    }
}

uint64_t CLogManager::SuppressedLines() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_suppressed;
}

uint64_t CLogManager::DroppedLines() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_dropped;
}

std::filesystem::path CLogManager::CurrentFile() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_filePath;
}

void CLogManager::WriterLoop() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty() && m_stopping) {
            break;
        }
        LogRecord record = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        bool ok = WriteOne(record);
        lock.lock();
        m_writing = false;
        if (!ok) {
            ++m_dropped;
        }
        if (m_queue.empty()) {
            m_drained.notify_all();
        }
    }
    m_drained.notify_all();
}

bool CLogManager::WriteOne(const LogRecord& record) {
    std::tm tm = LocalTime(record.when);
    char day[40];
    std::snprintf(day, sizeof day, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    if (!m_file || m_fileDay != day) {
        if (m_file) {
            std::fclose(m_file);
        }
        if (!m_fileDay.empty()) {
            PruneLogFolder(m_folder, m_module, day, m_limits);  // a new day: drop the oldest
        }
        std::filesystem::path path = m_folder / (m_module + "_" + day + ".log");
        m_file = std::fopen(path.c_str(), "ae");
        m_fileDay = day;
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        m_fileBytes = ec ? 0 : size;
        m_fileFull = false;
        std::lock_guard<std::mutex> guard(m_mutex);
        m_filePath = path;
    }
    if (!m_file) {
        return false;
    }
    std::string line = FormatLine(record, m_module);
    line += '\n';
    if (m_fileFull) {
        return false;
    }
    if (m_fileBytes + line.size() > m_limits.maxFileBytes) {
        // One last line says why the day's file ends here.
        m_fileFull = true;
        LogRecord full = record;
        full.level = kWarn;
        full.message = "log file reached its size limit; lines after this one are dropped today";
        line = FormatLine(full, m_module) + '\n';
    }
    m_fileBytes += line.size();
    bool ok = std::fwrite(line.data(), 1, line.size(), m_file) == line.size();
    ok = std::fflush(m_file) == 0 && ok;
    if (!ok) {
        std::clearerr(m_file);
    }
    return ok;
}

}  // namespace vlog
