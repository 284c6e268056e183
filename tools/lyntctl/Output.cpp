#include "Output.h"

#include <cstdio>

std::string COutput::Line(const std::string& text, const Json::Value& object) const {
    if (!m_json) {
        return text + "\n";
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "";
    writer["emitUTF8"] = true;
    writer["precision"] = 15;  // 0.6 stays "0.6", not "0.59999999999999998"
    return Json::writeString(writer, object) + "\n";
}

void COutput::Emit(const std::string& text, const Json::Value& object) const {
    Write(false, Line(text, object));
}

void COutput::EmitDroppable(const std::string& text, const Json::Value& object) const {
    if (m_side) {
        m_side(Side::Droppable, Line(text, object));
    } else {
        Write(false, Line(text, object));
    }
}

void COutput::Progress(const std::string& text, bool show) const {
    if (m_side) {
        m_side(Side::Progress, text);
    } else if (show) {
        Write(true, text);
    }
}

void COutput::Print(const std::string& text) const {
    Write(false, text);
}

void COutput::Error(const std::string& message) const {
    if (m_json && !m_sink) {
        m_errors->push_back(message);
        return;
    }
    Write(true, message + "\n");
}

int COutput::EndWith(int status) const {
    std::vector<std::string> errors;
    errors.swap(*m_errors);
    for (const std::string& message : errors) {
        Json::Value o;
        o["type"] = status == 0 ? "warning" : "error";
        o["status"] = status;
        o["message"] = message;
        Write(false, Line("", o));
    }
    return status;
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
