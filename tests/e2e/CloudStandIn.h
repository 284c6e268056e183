#pragma once

#include <json/json.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"

// velora-cloud-sim on a free port of 127.0.0.1, with optional faults ("effect-file=404", say);
// Base() is the address it printed, empty when it did not start.
class CloudStandIn {
public:
    explicit CloudStandIn(const std::vector<std::string>& faults = {}) {
        std::vector<std::string> argv{CLOUD_SIM_BIN, "--port", "0"};
        for (const auto& fault : faults) {
            argv.insert(argv.end(), {"--fault", fault});
        }
        m_process = std::make_unique<ChildProcess>(argv, std::vector<std::string>{});
        if (m_process->Started()) {
            m_base = m_process->ReadLine(5000);
        }
    }

    bool Started() const { return m_base.rfind("http://127.0.0.1:", 0) == 0; }
    const std::string& Base() const { return m_base; }
    std::string Environment() const { return "VELORA_CLOUD_URL=" + m_base; }
    const std::string& Stderr() { return m_process->Stderr(); }

private:
    std::unique_ptr<ChildProcess> m_process;
    std::string m_base;
};

// lyntctl's --json output, one value a line.
inline std::vector<Json::Value> JsonLines(const std::string& out) {
    std::vector<Json::Value> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        Json::Value v;
        std::istringstream(line) >> v;
        lines.push_back(v);
    }
    return lines;
}
