#include "Output.h"

#include <cstdio>

void COutput::Emit(const std::string& text, const Json::Value& object) const {
    if (m_json) {
        Json::StreamWriterBuilder writer;
        writer["indentation"] = "";
        writer["emitUTF8"] = true;
        writer["precision"] = 15;  // 0.6 stays "0.6", not "0.59999999999999998"
        std::string line = Json::writeString(writer, object) + "\n";
        std::fputs(line.c_str(), stdout);
    } else {
        std::fputs((text + "\n").c_str(), stdout);
    }
    std::fflush(stdout);
}

void COutput::Error(const std::string& message) {
    std::fputs((message + "\n").c_str(), stderr);
}
