#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "SimContent.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

// A local stand-in for the cloud service on 127.0.0.1: the four form endpoints under "/tuning",
// the files their "url" members point to, and faults chosen per endpoint.
namespace cloudsim {

enum class Fault {
    kNone,
    kSlow,      // the answer comes after SimOptions::slowMs
    kNotFound,  // HTTP 404 with an error page
    kBadJson,   // 200 with text that is no JSON
    kNotOk,     // "message" is an error text
    kOverflow,  // an answer one byte larger than the caller's buffer
    kSlowFile,  // the body trickles in over SimOptions::slowFileMs
    kCut,       // the connection closes in the middle of the body
    kNoData,    // "message" is "ok" and "data" is missing
};

// "slow", "404", "badjson", "notok", "overflow", "slowfile", "cut", "nodata"; false for
// anything else.
bool ParseFault(std::string_view text, Fault& fault);

// Fault keys: "categories", "clips" (or "clips:ID" for one category), "effects", "upgrade",
// "sound-file", "effect-file", "firmware-file".
struct SimOptions {
    SimContent content = DefaultContent();
    std::map<std::string, Fault> faults;
    std::vector<uint8_t> firmwarePackage;  // empty: a small built-in one
    int slowMs = 8000;                     // beyond the 7 s a form request waits
    int slowFileMs = 4000;                 // beyond the 3 s a download may take
};

class CCloudSim {
public:
    explicit CCloudSim(SimOptions options);
    ~CCloudSim();
    CCloudSim(const CCloudSim&) = delete;
    CCloudSim& operator=(const CCloudSim&) = delete;

    // Listens on 127.0.0.1:port (0: a free port) and serves from a thread of its own.
    bool Start(int port);
    void Stop();
    int Port() const { return m_port; }
    // "http://127.0.0.1:PORT/tuning"
    std::string BaseUrl() const;

    void SetFault(const std::string& key, Fault fault);
    // Requests seen whose path starts with prefix (after "/tuning").
    size_t Requests(std::string_view prefix) const;

    // Besides the cloud's endpoints, for the HTTP helper's own tests (GET or POST):
    //   /test/bytes/N     200 with exactly N bytes
    //   /test/status/N    status N with a short error page
    //   /test/slow/N      2000 bytes that trickle in over N ms
    //   /test/cut         announces 2000 bytes, sends 1000 and closes

private:
    void Route();
    Fault FaultFor(const std::string& key) const;
    // Sleeps ms, or less when the server stops; false when it stops.
    bool Pause(int ms);
    void Answer(const std::string& key, const std::string& json, size_t capacity,
                httplib::Response& res);
    void ServeFile(const std::string& key, std::string bytes, const char* type,
                   httplib::Response& res);
    void Trickle(std::string bytes, int ms, httplib::Response& res);
    static void Cut(std::string bytes, httplib::Response& res);

    std::string CategoriesJson() const;
    std::string ClipsJson(int categoryId) const;
    std::string EffectsJson() const;
    std::string UpgradeJson() const;

    SimOptions m_options;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::string, size_t> m_requests;
};

}  // namespace cloudsim
