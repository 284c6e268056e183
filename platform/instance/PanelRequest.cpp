#include "PanelRequest.h"

#include <cstdint>

namespace platform::instance {

size_t RequestLength(std::string_view line, std::string* reason) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!line.empty() && blank(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && blank(line.back())) {
        line.remove_suffix(1);
    }
    // Accumulated in 64 bits as the number it claims to be: a number beyond them is no length,
    // one within them but above the limit is too large.
    uint64_t n = 0;
    for (const char c : line) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (c < '0' || c > '9' || n > (uint64_t{INT64_MAX} - digit) / 10) {
            *reason = "bad request: no length";
            return 0;
        }
        n = n * 10 + digit;
    }
    if (line.empty() || n == 0) {
        *reason = "bad request: no length";
        return 0;
    }
    if (n > kMaxRequestBytes) {
        *reason = "request too large";
        return 0;
    }
    return static_cast<size_t>(n);
}

}  // namespace platform::instance
