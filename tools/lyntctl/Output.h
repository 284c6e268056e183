#pragma once

#include <json/json.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Prints results as text lines or, with --json, as one JSON object per line. A command run by the
// control panel for lyntctl writes into a sink instead, which carries the text back to lyntctl.
class COutput {
public:
    // error: the text belongs on standard error. text ends with a line break.
    using Sink = std::function<void(bool error, const std::string& text)>;

    // Lines the panel carries back apart from the others (see PanelRequests.h).
    enum class Side { Droppable, Progress };
    using SideSink = std::function<void(Side side, const std::string& text)>;

    explicit COutput(bool json, Sink sink = {})
        : m_json(json),
          m_sink(std::move(sink)),
          m_errors(std::make_shared<std::vector<std::string>>()) {}
    void SetSideSink(SideSink sink) { m_side = std::move(sink); }
    bool Json() const { return m_json; }
    // Text mode prints text; JSON mode prints object, which names its "type".
    void Emit(const std::string& text, const Json::Value& object) const;
    // Text as it is, to standard output (text ends with its own line break).
    void Print(const std::string& text) const;
    // Text as it is, to standard error (a progress line that rewrites itself).
    void PrintError(const std::string& text) const { Write(true, text); }
    // Text mode: the message on standard error at once. JSON mode: one object of type "error"
    // (or "warning" when the command ends with 0) with the message and the exit status, on
    // standard output when the command ends (EndWith). Through the panel the text goes back as
    // it is, and lyntctl on the other side makes the objects, so both print the same bytes.
    void Error(const std::string& message) const;
    // Writes what Error kept for the end; returns status.
    int EndWith(int status) const;
    // As Emit, for a line a slow reader may miss (meter levels): the panel drops such lines while
    // its client is behind, never the others.
    void EmitDroppable(const std::string& text, const Json::Value& object) const;
    // A progress line that rewrites itself on standard error where show is set; through the
    // panel it goes to the client either way, as a sign of life.
    void Progress(const std::string& text, bool show) const;

private:
    void Write(bool error, const std::string& text) const;

    std::string Line(const std::string& text, const Json::Value& object) const;

    bool m_json;
    Sink m_sink;
    // Shared by the copies a command makes, so that EndWith sees every message.
    std::shared_ptr<std::vector<std::string>> m_errors;
    SideSink m_side;
};
