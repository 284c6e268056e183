#include "CloudSim.h"

#include <httplib.h>
#include <json/json.h>

#include <chrono>
#include <cstdlib>

#include "ccm_util/LastResort.h"

namespace cloudsim {

namespace {

constexpr size_t kListCapacity = 102400;
constexpr size_t kUpgradeCapacity = 1024;

std::string ToText(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::string Envelope(const Json::Value& data) {
    Json::Value root;
    root["message"] = "ok";
    root["data"] = data;
    return ToText(root);
}

}  // namespace

bool ParseFault(std::string_view text, Fault& fault) {
    static const std::pair<const char*, Fault> kNames[] = {
        {"none", Fault::kNone},         {"slow", Fault::kSlow},   {"404", Fault::kNotFound},
        {"badjson", Fault::kBadJson},   {"notok", Fault::kNotOk}, {"overflow", Fault::kOverflow},
        {"slowfile", Fault::kSlowFile}, {"cut", Fault::kCut},
        {"nodata", Fault::kNoData}};
    for (const auto& [name, value] : kNames) {
        if (text == name) {
            fault = value;
            return true;
        }
    }
    return false;
}

CCloudSim::CCloudSim(SimOptions options) : m_options(std::move(options)) {
    if (m_options.firmwarePackage.empty()) {
        const int v = m_options.content.firmwareVersion;
        m_options.firmwarePackage = MakeFirmwarePackage(v / 1000000, (v % 1000000) / 1000);
    }
}

CCloudSim::~CCloudSim() {
    Stop();
}

bool CCloudSim::Start(int port) {
    if (m_server) {
        return false;
    }
    m_server = std::make_unique<httplib::Server>();
    Route();
    if (port == 0) {
        m_port = m_server->bind_to_any_port("127.0.0.1");
    } else {
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    }
    if (m_port <= 0) {
        m_server.reset();
        return false;
    }
    m_thread = std::thread(
        [this] { ccm_util::RunGuarded("CCloudSim", [this] { m_server->listen_after_bind(); }); });
    // stop() before the loop runs would be lost and leave the loop running for ever.
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CCloudSim::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_server) {
        m_server->stop();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_server.reset();
}

std::string CCloudSim::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/tuning";
}

void CCloudSim::SetFault(const std::string& key, Fault fault) {
    std::lock_guard lock(m_mutex);
    m_options.faults[key] = fault;
}

Fault CCloudSim::FaultFor(const std::string& key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_options.faults.find(key);
    return it == m_options.faults.end() ? Fault::kNone : it->second;
}

size_t CCloudSim::Requests(std::string_view prefix) const {
    std::lock_guard lock(m_mutex);
    size_t n = 0;
    for (const auto& [path, count] : m_requests) {
        if (path.compare(0, prefix.size(), prefix) == 0) {
            n += count;
        }
    }
    return n;
}

bool CCloudSim::Pause(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
}

void CCloudSim::Answer(const std::string& key, const std::string& json, size_t capacity,
                       httplib::Response& res) {
    switch (FaultFor(key)) {
        case Fault::kSlow:
            if (!Pause(m_options.slowMs)) {
                return;
            }
            break;
        case Fault::kNotFound:
            res.status = 404;
            res.set_content("<html><body>404 Not Found</body></html>", "text/html");
            return;
        case Fault::kBadJson:
            res.set_content("{\"message\":\"ok\",\"data\":[{\"id\":1,", "application/json");
            return;
        case Fault::kNotOk: {
            Json::Value root;
            root["message"] = "服务器维护中";
            root["data"] = Json::Value(Json::arrayValue);
            res.set_content(ToText(root), "application/json");
            return;
        }
        case Fault::kNoData:
            res.set_content("{\"message\":\"ok\"}", "application/json");
            return;
        case Fault::kOverflow: {
            std::string padded = json;
            padded.resize(capacity + 1, ' ');  // still valid JSON, just one byte too many
            if (json.size() > capacity + 1) {
                padded = json;
            }
            res.set_content(padded, "application/json");
            return;
        }
        case Fault::kCut:
            Cut(json, res);
            return;
        case Fault::kSlowFile:
            Trickle(json, m_options.slowFileMs, res);
            return;
        case Fault::kNone:
            break;
    }
    res.set_content(json, "application/json");
}

void CCloudSim::ServeFile(const std::string& key, std::string bytes, const char* type,
                          httplib::Response& res) {
    switch (FaultFor(key)) {
        case Fault::kNotFound:
            res.status = 404;
            res.set_content("<html><body>404 Not Found</body></html>", "text/html");
            return;
        case Fault::kSlow:
            if (!Pause(m_options.slowMs)) {
                return;
            }
            break;
        case Fault::kSlowFile:
            Trickle(std::move(bytes), m_options.slowFileMs, res);
            return;
        case Fault::kCut:
            Cut(std::move(bytes), res);
            return;
        default:
            break;
    }
    res.set_content(std::move(bytes), type);
}

void CCloudSim::Trickle(std::string bytes, int ms, httplib::Response& res) {
    constexpr size_t kPieces = 20;
    auto body = std::make_shared<std::string>(std::move(bytes));
    res.set_content_provider(body->size(), "application/octet-stream",
                             [this, body, ms](size_t offset, size_t, httplib::DataSink& sink) {
                                 const size_t piece = body->size() / kPieces + 1;
                                 if (!Pause(ms / static_cast<int>(kPieces))) {
                                     return false;
                                 }
                                 const size_t n = std::min(piece, body->size() - offset);
                                 return sink.write(body->data() + offset, n);
                             });
}

void CCloudSim::Cut(std::string bytes, httplib::Response& res) {
    auto body = std::make_shared<std::string>(std::move(bytes));
    if (body->size() < 2) {
        body->resize(2, ' ');
    }
    res.set_content_provider(body->size(), "application/octet-stream",
                             [body](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset > 0) {
                                     return false;  // closes the connection mid-body
                                 }
                                 return sink.write(body->data(), body->size() / 2);
                             });
}

std::string CCloudSim::CategoriesJson() const {
    Json::Value data(Json::arrayValue);
    for (const SimCategory& c : m_options.content.categories) {
        Json::Value item;
        item["id"] = c.id;
        item["categoryName"] = c.name;
        data.append(item);
    }
    return Envelope(data);
}

std::string CCloudSim::ClipsJson(int categoryId) const {
    Json::Value data(Json::arrayValue);
    for (const SimCategory& c : m_options.content.categories) {
        if (c.id != categoryId) {
            continue;
        }
        for (const SimClip& clip : c.clips) {
            Json::Value item;
            item["id"] = clip.id;
            item["name"] = clip.name;
            // A URL that starts with "/" is a path on the stand-in itself.
            item["url"] = clip.url.empty()
                              ? BaseUrl() + "/files/sound/" + std::to_string(clip.id) + ".mp3"
                          : clip.url.front() == '/' ? BaseUrl() + clip.url
                                                    : clip.url;
            data.append(item);
        }
    }
    return Envelope(data);
}

std::string CCloudSim::EffectsJson() const {
    Json::Value data(Json::arrayValue);
    for (const SimEffect& e : m_options.content.effects) {
        Json::Value item;
        item["categoryName"] = e.category;
        item["soundName"] = e.name;
        item["url"] = e.url.empty()
                          ? BaseUrl() + "/files/effect/" + std::to_string(e.number) + ".eff"
                          : e.url;
        data.append(item);
    }
    return Envelope(data);
}

std::string CCloudSim::UpgradeJson() const {
    Json::Value data;
    data["currentVer"] = m_options.content.firmwareVersion;
    data["url"] = BaseUrl() + "/files/firmware/package.zip";
    return Envelope(data);
}

void CCloudSim::Route() {
    httplib::Server& s = *m_server;
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
        std::string path = req.path;
        if (path.rfind("/tuning", 0) == 0) {
            path.erase(0, 7);
        }
        std::lock_guard lock(m_mutex);
        ++m_requests[path];
        return httplib::Server::HandlerResponse::Unhandled;
    });

    s.Post("/tuning/api/live/getSpecialEffectCategory.json",
           [this](const httplib::Request&, httplib::Response& res) {
               Answer("categories", CategoriesJson(), kListCapacity, res);
           });
    s.Post("/tuning/api/live/findByCategory.json", [this](const httplib::Request& req,
                                                          httplib::Response& res) {
        const int id = std::atoi(req.get_param_value("categoryId").c_str());
        const std::string own = "clips:" + std::to_string(id);
        Answer(FaultFor(own) != Fault::kNone ? own : "clips", ClipsJson(id), kListCapacity, res);
    });
    s.Post("/tuning/api/effect_sound/getSoundByCategory.json",
           [this](const httplib::Request&, httplib::Response& res) {
               Answer("effects", EffectsJson(), kListCapacity, res);
           });
    s.Post("/tuning/api/effect_sound/checkAppUpgrade.json",
           [this](const httplib::Request&, httplib::Response& res) {
               Answer("upgrade", UpgradeJson(), kUpgradeCapacity, res);
           });

    s.Get(R"(/tuning/files/sound/(\d+)\.mp3)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const std::vector<uint8_t> mp3 = MakeClipMp3(std::atoi(req.matches[1].str().c_str()));
              ServeFile("sound-file", std::string(mp3.begin(), mp3.end()), "audio/mpeg", res);
          });
    // Clip N under any file name, so that two clips can end their URLs alike.
    s.Get(R"(/tuning/files/sound/(\d+)/[^/]+)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const std::vector<uint8_t> mp3 = MakeClipMp3(std::atoi(req.matches[1].str().c_str()));
              ServeFile("sound-file", std::string(mp3.begin(), mp3.end()), "audio/mpeg", res);
          });
    s.Get(R"(/tuning/files/effect/(\d+)\.eff)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const auto eff = MakeEffectFile(std::atoi(req.matches[1].str().c_str()));
              ServeFile("effect-file", std::string(eff.begin(), eff.end()),
                        "application/octet-stream", res);
          });
    s.Get("/tuning/files/firmware/package.zip", [this](const httplib::Request&,
                                                       httplib::Response& res) {
        const auto& zip = m_options.firmwarePackage;
        ServeFile("firmware-file", std::string(zip.begin(), zip.end()), "application/zip", res);
    });

    auto bytes = [](const httplib::Request& req, httplib::Response& res) {
        const size_t n = std::strtoul(req.matches[1].str().c_str(), nullptr, 10);
        res.set_content(std::string(n, 'x'), "application/octet-stream");
    };
    auto status = [](const httplib::Request& req, httplib::Response& res) {
        res.status = std::atoi(req.matches[1].str().c_str());
        res.set_content("<html><body>error " + req.matches[1].str() + "</body></html>",
                        "text/html");
    };
    auto slow = [this](const httplib::Request& req, httplib::Response& res) {
        Trickle(std::string(2000, 's'), std::atoi(req.matches[1].str().c_str()), res);
    };
    auto cut = [](const httplib::Request&, httplib::Response& res) {
        Cut(std::string(2000, 'c'), res);
    };
    s.Get(R"(/tuning/test/bytes/(\d+))", bytes);
    s.Post(R"(/tuning/test/bytes/(\d+))", bytes);
    s.Get(R"(/tuning/test/status/(\d+))", status);
    s.Post(R"(/tuning/test/status/(\d+))", status);
    s.Get(R"(/tuning/test/slow/(\d+))", slow);
    s.Post(R"(/tuning/test/slow/(\d+))", slow);
    s.Get("/tuning/test/cut", cut);
    s.Post("/tuning/test/cut", cut);
}

}  // namespace cloudsim
