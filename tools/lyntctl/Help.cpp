#include "Help.h"

#include <string>

namespace ctl {

namespace {

// Each line of text, indented.
void PrintIndented(std::FILE* to, const char* text, const char* indent) {
    std::string line;
    for (const char* c = text;; ++c) {
        if (*c == '\n' || *c == '\0') {
            std::fprintf(to, "%s%s\n", indent, line.c_str());
            line.clear();
            if (*c == '\0')
                return;
        } else {
            line += *c;
        }
    }
}

}  // namespace

void PrintHelp(std::FILE* to) {
    std::fputs(
        "usage: lyntctl [OPTIONS] COMMAND [ARGS...]\n"
        "\n"
        "Control an Orin LYNT! card from scripts and shortcuts. While the control panel runs,\n"
        "card commands go through it; otherwise lyntctl opens the card itself, one program\n"
        "at a time.\n"
        "\n"
        "Options (before the command):\n"
        "  --device PATH   use this card: a hidraw node, vcard:SOCKET or a virtual card's\n"
        "                  socket (default: the first card found)\n"
        "  --json          print one JSON object per line, errors included (see the README)\n"
        "  -h, --help      show this help (lyntctl help COMMAND: one command's page)\n"
        "  --version       show lyntctl's version\n"
        "  --              end of options: what follows is the command and its arguments\n"
        "\n"
        "Commands:\n",
        to);
    for (const Command& c : AllCommands()) {
        if (!c.usage)
            continue;
        PrintIndented(to, c.usage, "  ");
        PrintIndented(to, c.summary, "      ");
    }
    std::fputs(
        "\n"
        "Positions (effects, presets, slots, pads) are counted from 0, as the list commands\n"
        "show them; names work wherever positions do. Numbers are decimal.\n"
        "\n"
        "Exit status:\n"
        "  0  done\n"
        "  1  bad usage, or refused before anything was sent (no data folder, bad file)\n"
        "  2  no card, or it was unplugged (pad, panel: the control panel is not running)\n"
        "  3  the card, the control panel or the cloud did not answer, or failed\n"
        "  4  busy: the card is in use by another program, or the panel refused\n",
        to);
}

void PrintCommandHelp(const Command& c, std::FILE* to) {
    std::string usage = c.usage;
    std::fputs("usage: ", to);
    for (size_t at = 0;;) {
        const size_t end = usage.find('\n', at);
        std::fprintf(to, "%slyntctl [OPTIONS] %s\n", at == 0 ? "" : "       ",
                     usage.substr(at, end - at).c_str());
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    std::fprintf(to, "\n%s.\n", c.summary);
    if (c.details) {
        std::fprintf(to, "\n%s\n", c.details);
    }
    // One status a line: "0 done; 1 ..." as "  0 done".
    std::string statuses = c.statuses;
    std::fputs("\nExit status:\n", to);
    for (size_t at = 0;;) {
        const size_t end = statuses.find("; ", at);
        std::fprintf(to, "  %s\n", statuses.substr(at, end - at).c_str());
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    std::fprintf(to, "\nExample:\n  %s\n", c.example);
}

}  // namespace ctl
