#include "CrashHandler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform::crash {

namespace {

// Everything the handler needs is prepared here, because in the handler only async-signal-safe
// calls may be made: no allocation, no stdio, no localtime.
constexpr size_t kPathMax = 4096;
char g_folder[kPathMax];
char g_program[256];
long g_utcOffsetSeconds = 0;
bool g_installed = false;
alignas(16) char g_altStack[64 * 1024];

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void Put(int fd, const char* text) {
    size_t n = std::strlen(text);
    while (n > 0) {
        ssize_t w = ::write(fd, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

// Unsigned number in the given base, with a minimum width.
void PutNumber(int fd, unsigned long long v, int base, int width) {
    char digits[32];
    int n = 0;
    do {
        digits[n++] = "0123456789abcdef"[v % static_cast<unsigned>(base)];
        v /= static_cast<unsigned>(base);
    } while (v > 0 && n < 30);
    while (n < width && n < 30) digits[n++] = '0';
    char out[33];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = '\0';
    Put(fd, out);
}

void AppendNumber(char* into, size_t room, unsigned value, int width) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && n < 15);
    while (n < width) digits[n++] = '0';
    size_t len = std::strlen(into);
    for (int i = n - 1; i >= 0 && len + 1 < room; --i) into[len++] = digits[i];
    into[len] = '\0';
}

void AppendText(char* into, size_t room, const char* text) {
    size_t len = std::strlen(into);
    while (*text && len + 1 < room) into[len++] = *text++;
    into[len] = '\0';
}

// Civil date from days since 1970-01-01 (Howard Hinnant's algorithm); pure arithmetic.
void CivilFromDays(long z, int* y, unsigned* m, unsigned* d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<int>(yy + (*m <= 2));
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGFPE: return "SIGFPE";
        case SIGILL: return "SIGILL";
        case SIGABRT: return "SIGABRT";
        default: return "signal";
    }
}

void CopyFile(int to, const char* path) {
    int from = ::open(path, O_RDONLY | O_CLOEXEC);
    if (from < 0) return;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(from, buffer, sizeof buffer)) > 0) {
        if (::write(to, buffer, static_cast<size_t>(n)) != n) break;
    }
    ::close(from);
}

void OnCrash(int sig, siginfo_t* info, void*) {
    const int savedErrno = errno;
    long now = static_cast<long>(::time(nullptr)) + g_utcOffsetSeconds;
    long days = now / 86400;
    long secs = now % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int year;
    unsigned month, day;
    CivilFromDays(days, &year, &month, &day);

    char path[kPathMax + 300] = "";
    AppendText(path, sizeof path, g_folder);
    AppendText(path, sizeof path, "/");
    AppendText(path, sizeof path, g_program);
    AppendText(path, sizeof path, "_");
    AppendNumber(path, sizeof path, static_cast<unsigned>(year), 4);
    AppendNumber(path, sizeof path, month, 2);
    AppendNumber(path, sizeof path, day, 2);
    AppendNumber(path, sizeof path, static_cast<unsigned>(secs / 3600), 2);
    AppendNumber(path, sizeof path, static_cast<unsigned>(secs % 3600 / 60), 2);
    AppendNumber(path, sizeof path, static_cast<unsigned>(secs % 60), 2);
    AppendText(path, sizeof path, ".dmp");

    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        Put(fd, g_program);
        Put(fd, " crashed: ");
        Put(fd, SignalName(sig));
        Put(fd, " (");
        PutNumber(fd, static_cast<unsigned long long>(sig), 10, 1);
        Put(fd, ") code ");
        // Codes of signals sent by a process (SI_USER, SI_TKILL, SI_QUEUE...) are negative.
        const int code = info ? info->si_code : 0;
        if (code < 0) {
            Put(fd, "-");
        }
        PutNumber(fd,
                  code < 0 ? 0ULL - static_cast<unsigned long long>(static_cast<long long>(code))
                           : static_cast<unsigned long long>(code),
                  10, 1);
        Put(fd, " at address 0x");
        PutNumber(fd, reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr), 16, 1);
        Put(fd, "\npid ");
        PutNumber(fd, static_cast<unsigned long long>(::getpid()), 10, 1);
        Put(fd, " thread ");
        PutNumber(fd, static_cast<unsigned long long>(::syscall(SYS_gettid)), 10, 1);
        Put(fd, "\n\nbacktrace of the faulting thread:\n");
        void* frames[64];
        int n = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, n, fd);
        Put(fd, "\nmemory map:\n");
        CopyFile(fd, "/proc/self/maps");
        ::fsync(fd);
        ::close(fd);
    }
    errno = savedErrno;
    // The handler was installed with SA_RESETHAND: the default action now ends the process, with
    // a core file where the system keeps them.
    ::raise(sig);
}

}  // namespace

std::string ReportFileName(const std::string& programName, const std::tm& t) {
    char name[64];
    std::snprintf(name, sizeof name, "_%04d%02d%02d%02d%02d%02d.dmp", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return programName + name;
}

std::filesystem::path ReportFolder(const std::filesystem::path& folder) {
    if (!folder.empty()) {
        return folder;
    }
    // No data folder: next to the executable, never "/" + name.
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

size_t PruneReports(const std::filesystem::path& folder, const std::string& programName,
                    size_t keep) {
    // "<program>_YYYYMMDDhhmmss.dmp": the names sort as their times do.
    const std::string prefix = programName + "_";
    std::vector<std::filesystem::path> reports;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + 18 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - 4, 4, ".dmp") == 0) {
            reports.push_back(it->path());
        }
    }
    if (reports.size() <= keep) {
        return 0;
    }
    std::sort(reports.begin(), reports.end());
    size_t removed = 0;
    for (size_t i = 0; i + keep < reports.size(); ++i) {
        std::error_code removeError;
        removed += std::filesystem::remove(reports[i], removeError) ? 1 : 0;
    }
    return removed;
}

bool InstallCrashHandler(const std::filesystem::path& folder, const std::string& programName) {
    if (g_installed) {
        return true;
    }
    const std::filesystem::path target = ReportFolder(folder);
    std::error_code ec;
    std::filesystem::create_directories(target, ec);
    PruneReports(target, programName, 10);
    std::string f = target.string();
    if (f.empty()) {
        return false;
    }
    if (f.size() >= sizeof g_folder || programName.size() >= sizeof g_program) {
        return false;
    }
    std::memcpy(g_folder, f.c_str(), f.size() + 1);
    std::memcpy(g_program, programName.c_str(), programName.size() + 1);
    time_t now = ::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    g_utcOffsetSeconds = local.tm_gmtoff;

    // backtrace() loads its unwinder on first use, which allocates: do it now.
    void* warmUp[2];
    ::backtrace(warmUp, 2);

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);  // a stack overflow on this thread still gets its report

    struct sigaction action {};
    action.sa_sigaction = OnCrash;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) {
        if (::sigaction(sig, &action, nullptr) != 0) {
            return false;
        }
    }
    g_installed = true;
    return true;
}

}  // namespace platform::crash
