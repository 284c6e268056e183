#include "Output.h"

#include <cstdio>

void COutput::Emit(const std::string& text, const Json::Value& object) const {
    if (m_json) {
        Json::StreamWriterBuilder writer;
        writer["indentation"] = "";
        writer["emitUTF8"] = true;
        writer["precision"] = 15;  // 0.6 stays "0.6", not "0.59999999999999998"
        Write(false, Json::writeString(writer, object) + "\n");
    } else {
        Write(false, text + "\n");
    }
}

void COutput::Print(const std::string& text) const {
    Write(false, text);
}

void COutput::Error(const std::string& message) const {
    Write(true, message + "\n");
}

void COutput::Write(bool error, const std::string& text) const {
    if (m_sink) {
        m_sink(error, text);
        return;
    }
    std::FILE* to = error ? stderr : stdout;
    std::fputs(text.c_str(), to);
    std::fflush(to);
}
