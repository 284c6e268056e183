#include "SysInfo.h"

#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <fstream>

#include "Log/Log.h"

#define LOG_SOURCE "AppBase\\AppBase"

namespace appbase {

namespace {

std::string ProcessorName() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(colon + 1);
                name.erase(0, name.find_first_not_of(" \t"));
                return name.substr(0, 255);
            }
        }
    }
    return "unknown";
}

}  // namespace

std::string FormatSysInfo(const std::string& programVersion) {
    utsname u{};
    ::uname(&u);
    struct sysinfo si {};
    ::sysinfo(&si);
    unsigned long long memoryMb =
        (static_cast<unsigned long long>(si.totalram) * si.mem_unit) >> 20;
    char text[2048];
    std::snprintf(text, sizeof text,
                  "\n===============================\n%s ver:%s  build:%s %s\nCPU:%s\nMemory:%lluMB\n"
                  "ver:%s\n===============================\n",
                  u.sysname, u.release, u.version, u.machine, ProcessorName().c_str(), memoryMb,
                  programVersion.c_str());
    return text;
}

void GetSysInfo(const std::string& programVersion) {
    // Written at error level so that it opens every log, whatever level the log keeps.
    vlog::Write(vlog::kError, "soui", "CAppBase::GetSysInfo", LOG_SOURCE, 263, "%s",
                FormatSysInfo(programVersion).c_str());
}

}  // namespace appbase
