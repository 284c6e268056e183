#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// The two blocking HTTP operations every cloud worker uses. They keep no state between calls and
// are meant for worker threads only: each call owns its handle, headers and file.
class CLibCurlHelper {
public:
    // Asked while a transfer runs (at least about once a second); true ends it as a failure.
    // Workers pass their stop request, so that quitting does not wait out the time-outs.
    using StopCheck = std::function<bool()>;

    // Initialises libcurl for the process; call once at start-up, before any worker runs.
    // Further calls do nothing. The operations below call it too, so forgetting it is harmless.
    static void GlobalInit();

    // POSTs a URL-encoded form (null: no form fields) and collects the answer into buffer, which
    // is never grown and never zero-terminated. Returns the bytes received for an HTTP status of
    // 200-299, otherwise -1. An answer longer than capacity fails (-1) after filling the buffer.
    static int HttpPost(const std::string& url, const char* form, char* buffer, size_t capacity,
                        const StopCheck& stop = {});

    // GETs url into destination (created or truncated). 1 when the whole body arrived with a
    // status of 200-299, else 0. The file is kept after a failure (for an HTTP error it holds the
    // error page); deleting it is the caller's decision.
    static int HttpGetFile(const std::string& url, const std::filesystem::path& destination,
                           const StopCheck& stop = {});

    // GETs url into memory, with HttpGetFile's time-outs: 1 when the whole body (at most
    // maxBytes) arrived with a status of 200-299, else 0 and body is empty. A larger body ends
    // the transfer when it passes the limit instead of filling memory.
    static int HttpGetMemory(const std::string& url, std::vector<uint8_t>& body, size_t maxBytes,
                             const StopCheck& stop = {});

    // Time-outs in seconds, connect and total alike.
    static constexpr long kPostTimeoutSeconds = 7;
    static constexpr long kFileTimeoutSeconds = 3;
};

// The cloud server's base address, "http://HOST:10991/tuning" with the host chosen when the
// program is built; the environment variable VELORA_CLOUD_URL replaces it whole (tests, demos).
std::string CloudBaseUrl();

// scheme://host[:port] of an http(s) URL, lower-cased; empty when url is not one.
std::string UrlOrigin(const std::string& url);

// An address the program may fetch what a server named: http or https in any case, on any host,
// without credentials in the authority, spaces or control characters. Names taken from it are
// made safe separately before they become paths.
bool IsHttpUrl(const std::string& url);
