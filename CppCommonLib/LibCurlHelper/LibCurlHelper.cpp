#include "LibCurlHelper.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "Log/Log.h"

#ifndef VELORA_CLOUD_HOST
#define VELORA_CLOUD_HOST "127.0.0.1"
#endif

#define LOG_SOURCE "CppCommonLib\\LibCurlHelper\\LibCurlHelper"

namespace {

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

struct ResponseBuffer {
    char* data;
    size_t capacity;
    size_t written;
};

size_t WriteToBuffer(char* block, size_t size, size_t count, void* userdata) {
    auto* buffer = static_cast<ResponseBuffer*>(userdata);
    const size_t bytes = size * count;
    if (buffer->written >= buffer->capacity) {
        return CURL_WRITEFUNC_ERROR;  // full: abort rather than truncate into a success
    }
    const size_t room = buffer->capacity - buffer->written;
    const size_t take = std::min(bytes, room);
    std::memcpy(buffer->data + buffer->written, block, take);
    buffer->written += take;
    return take;  // less than offered ends the transfer with a write error
}

size_t WriteToFile(char* block, size_t size, size_t count, void* userdata) {
    auto* file = static_cast<std::FILE*>(userdata);
    if (!file) {
        return CURL_WRITEFUNC_ERROR;
    }
    return std::fwrite(block, size, count, file) * size;
}

struct MemoryBody {
    std::vector<uint8_t>* bytes;
    size_t maxBytes;
};

size_t WriteToMemory(char* block, size_t size, size_t count, void* userdata) {
    auto* body = static_cast<MemoryBody*>(userdata);
    const size_t bytes = size * count;
    if (bytes > body->maxBytes - body->bytes->size()) {
        return CURL_WRITEFUNC_ERROR;  // over the limit: abort before growing further
    }
    body->bytes->insert(body->bytes->end(), block, block + bytes);
    return bytes;
}

int CheckStop(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* stop = static_cast<const CLibCurlHelper::StopCheck*>(userdata);
    return (*stop)() ? 1 : 0;  // non-zero: CURLE_ABORTED_BY_CALLBACK
}

void WatchStop(CURL* h, const CLibCurlHelper::StopCheck& stop) {
    if (!stop) {
        return;
    }
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, CheckStop);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
}

struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// Runs the transfer. With a stop check it is asked every kStopPollMs, not only when libcurl
// calls its progress function (about once a second while a server keeps silent), so a closing
// window or a quitting program waits a fraction of a second, not the time-outs.
CURLcode Perform(CURL* h, const CLibCurlHelper::StopCheck& stop) {
    constexpr int kStopPollMs = 50;
    if (!stop) {
        return curl_easy_perform(h);
    }
    WatchStop(h, stop);
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi.get(), &left)) {
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) {
                    result = msg->data.result;
                }
            }
            break;
        }
        if (stop()) {
            break;  // CURLE_ABORTED_BY_CALLBACK, as when the progress function asks for it
        }
        curl_multi_poll(multi.get(), nullptr, 0, kStopPollMs, nullptr);
    }
    curl_multi_remove_handle(multi.get(), h);
    return result;
}

}  // namespace

void CLibCurlHelper::GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int CLibCurlHelper::HttpPost(const std::string& url, const char* form, char* buffer,
                             size_t capacity, const StopCheck& stop) {
    GlobalInit();
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        return -1;
    }
    std::unique_ptr<curl_slist, SlistDeleter> headers(
        curl_slist_append(nullptr, "Content-Type:application/x-www-form-urlencoded;charset=UTF-8"));
    ResponseBuffer response{buffer, buffer ? capacity : 0, 0};
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    // Without fields libcurl would read the body from stdin; an empty body is what "none" means.
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, form ? form : "");
    curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToBuffer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kPostTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kPostTimeoutSeconds);
    const CURLcode rc = Perform(h, stop);
    if (rc != CURLE_OK) {
        VLOG_ERROR("CLibCurlHelper::HttpPost", "CLibCurlHelper::HttpPost",
                   "url:%s easy_perform return CURLcode:%d", url.c_str(), static_cast<int>(rc));
        return -1;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 300) {
        VLOG_ERROR("CLibCurlHelper::HttpPost", "CLibCurlHelper::HttpPost", "url:%s return code:%d.",
                   url.c_str(), static_cast<int>(status));
        return -1;
    }
    return static_cast<int>(response.written);
}

int CLibCurlHelper::HttpGetFile(const std::string& url, const std::filesystem::path& destination,
                                const StopCheck& stop) {
    GlobalInit();
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        return 0;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(destination.c_str(), "wb"));
    if (!file) {
        return 0;  // before any traffic
    }
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, file.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kFileTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kFileTimeoutSeconds);
    const CURLcode rc = Perform(h, stop);
    if (rc != CURLE_OK) {
        VLOG_ERROR("CLibCurlHelper::HttpGetFile", "CLibCurlHelper::HttpGetFile",
                   "url:%s easy_perform return:%d", url.c_str(), static_cast<int>(rc));
        return 0;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 300) {
        VLOG_ERROR("CLibCurlHelper::HttpGetFile", "CLibCurlHelper::HttpGetFile",
                   "url:%s return code:%d.", url.c_str(), static_cast<int>(status));
        return 0;
    }
    // A write error at close would leave a short file behind a success.
    if (std::fflush(file.get()) != 0) {
        return 0;
    }
    return 1;
}

int CLibCurlHelper::HttpGetMemory(const std::string& url, std::vector<uint8_t>& body,
                                  size_t maxBytes, const StopCheck& stop) {
    body.clear();
    GlobalInit();
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        return 0;
    }
    MemoryBody sink{&body, maxBytes};
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_READFUNCTION, nullptr);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteToMemory);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kFileTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, kFileTimeoutSeconds);

    const CURLcode rc = Perform(h, stop);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (rc != CURLE_OK) {
        VLOG_ERROR("CLibCurlHelper::HttpGetMemory", "CLibCurlHelper::HttpGetMemory",
                   "url:%s easy_perform return:%d", url.c_str(), static_cast<int>(rc));
    } else if (status < 200 || status >= 300) {
        VLOG_ERROR("CLibCurlHelper::HttpGetMemory", "CLibCurlHelper::HttpGetMemory",
                   "url:%s return code:%d.", url.c_str(), static_cast<int>(status));
    } else {
        return 1;
    }
    // Half a body or an error page must not look like data to the caller.
    body.clear();
    body.shrink_to_fit();
    return 0;
}

std::string CloudBaseUrl() {
    if (const char* env = std::getenv("VELORA_CLOUD_URL"); env && *env) {
        std::string url = env;
        while (!url.empty() && url.back() == '/') {
            url.pop_back();  // endpoint paths bring their own "/"
        }
        return url;
    }
    return std::string("http://") + VELORA_CLOUD_HOST + ":10991/tuning";
}

std::string UrlOrigin(const std::string& url) {
    std::string lower(url.size(), '\0');
    std::transform(url.begin(), url.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    size_t start = 0;
    if (lower.rfind("http://", 0) == 0) {
        start = 7;
    } else if (lower.rfind("https://", 0) == 0) {
        start = 8;
    } else {
        return {};
    }
    const size_t end = lower.find_first_of("/?#", start);
    std::string origin = lower.substr(0, end);
    const std::string authority = origin.substr(start);
    // Credentials in the authority could hide the real host ("good.host@evil.host").
    if (authority.empty() || authority.find('@') != std::string::npos ||
        authority.find('\\') != std::string::npos) {
        return {};
    }
    return origin;
}

bool IsHttpUrl(const std::string& url) {
    // Spaces and control characters would be sent as they are or cut the request line.
    for (unsigned char c : url) {
        if (c <= ' ' || c == 0x7F) {
            return false;
        }
    }
    return !UrlOrigin(url).empty();
}
