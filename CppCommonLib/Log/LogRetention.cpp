#include "LogRetention.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace vlog {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's days_from_civil).
long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

struct DayFile {
    std::filesystem::path path;
    std::string day;
    uintmax_t size = 0;
};

}  // namespace

bool DayNumber(const std::string& text, long& day) {
    if (text.size() != 8 || !std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        })) {
        return false;
    }
    const long y = std::stol(text.substr(0, 4));
    const unsigned m = static_cast<unsigned>(std::stoul(text.substr(4, 2)));
    const unsigned d = static_cast<unsigned>(std::stoul(text.substr(6, 2)));
    static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) {
        return false;
    }
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m == 2 && d == 29 && !leap) {
        return false;
    }
    day = DaysFromCivil(y, m, d);
    return true;
}

size_t PruneLogFolder(const std::filesystem::path& folder, const std::string& module,
                      const std::string& today, const LogLimits& limits) {
    long todayNumber = 0;
    if (!DayNumber(today, todayNumber)) {
        return 0;
    }
    const std::string prefix = module + "_";
    std::vector<DayFile> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 12 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".log") != 0) {
            continue;
        }
        std::error_code sizeError;
        if (!it->is_regular_file(sizeError)) {
            continue;
        }
        DayFile f;
        f.path = it->path();
        f.day = name.substr(prefix.size(), 8);
        long number = 0;
        if (!DayNumber(f.day, number)) {
            continue;
        }
        f.size = it->file_size(sizeError);
        files.push_back(std::move(f));
    }
    // Oldest first; "yyyymmdd" sorts as dates do.
    std::sort(files.begin(), files.end(),
              [](const DayFile& a, const DayFile& b) { return a.day < b.day; });

    size_t removed = 0;
    uintmax_t total = 0;
    for (const DayFile& f : files) {
        total += f.size;
    }
    for (const DayFile& f : files) {
        if (f.day == today) {
            continue;
        }
        long number = 0;
        DayNumber(f.day, number);
        const bool tooOld = todayNumber - number > limits.keepDays;
        if (!tooOld && total <= limits.maxTotalBytes) {
            continue;
        }
        std::error_code removeError;
        if (std::filesystem::remove(f.path, removeError)) {
            ++removed;
            total -= f.size;
        }
    }
    return removed;
}

}  // namespace vlog
