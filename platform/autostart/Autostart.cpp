#include "Autostart.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace platform::autostart {

namespace {

// Inside a quoted argument these four are escaped with a backslash; then the value as a whole
// escapes every backslash again (the string rule is applied before the quoting rule), and a
// literal percent sign is doubled so it is not taken for a field code.
std::string QuoteArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') {
            value += "\\\\";
        } else if (c == '%') {
            value += "%%";
        } else {
            value += c;
        }
    }
    return value;
}

// Undoes the string escapes of a desktop-entry value.
std::string UnescapeValue(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char n = value[++i];
            switch (n) {
                case 's': out += ' '; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                default: out += n; break;
            }
        } else {
            out += value[i];
        }
    }
    return out;
}

bool WriteAtomically(const std::filesystem::path& path, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::filesystem::path temp = path;
    temp += ".tmp-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace

std::filesystem::path EntryPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && *config == '/') {
        base = config;
    } else if (const char* home = std::getenv("HOME")) {
        base = std::filesystem::path(home) / ".config";
    }
    return base / "autostart" / "velora.desktop";
}

std::string ExecLine(const std::filesystem::path& program) {
    return QuoteArgument(program.string()) + " " + kStartArgument;
}

std::string ProgramOfExec(const std::string& execValue) {
    std::string exec = UnescapeValue(execValue);
    size_t i = exec.find_first_not_of(" \t");
    if (i == std::string::npos) {
        return {};
    }
    std::string program;
    if (exec[i] != '"') {
        size_t end = exec.find_first_of(" \t", i);
        program = exec.substr(i, end == std::string::npos ? std::string::npos : end - i);
    } else {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) {
                ++i;
            }
            program += exec[i];
        }
        if (i >= exec.size()) {
            return {};  // no closing quote
        }
    }
    // "%%" stands for a literal percent sign.
    std::string out;
    for (size_t k = 0; k < program.size(); ++k) {
        out += program[k];
        if (program[k] == '%' && k + 1 < program.size() && program[k + 1] == '%') {
            ++k;
        }
    }
    return out;
}

bool IsAutoStart(const std::filesystem::path& program) {
    std::ifstream in(EntryPath());
    std::string line;
    std::string exec;
    bool inEntry = false;
    bool hidden = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry) continue;
        if (line.rfind("Exec=", 0) == 0) {
            exec = line.substr(5);
        } else if (line == "Hidden=true") {
            hidden = true;
        }
    }
    return !hidden && !exec.empty() && ProgramOfExec(exec) == program.string();
}

bool SetAutoStart(bool on, const std::filesystem::path& program) {
    std::filesystem::path path = EntryPath();
    if (!on) {
        std::error_code ec;
        bool removed = std::filesystem::remove(path, ec);
        return !ec && (removed || !std::filesystem::exists(path));
    }
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Velora\n"
         << "Comment=Control panel of the Lynt sound card\n"
         << "Exec=" << ExecLine(program) << "\n"
         << "Icon=velora\n"
         << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    return WriteAtomically(path, text.str());
}

}  // namespace platform::autostart
