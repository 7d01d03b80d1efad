#include "sim/runs/session.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace listpool::sim {

std::vector<TypedText> ParseSession(std::string_view text) {
    std::vector<TypedText> typed;
    std::uint64_t atMs = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line =
            text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
        text.remove_prefix(line.size());
        if (line.starts_with('@')) {
            std::uint64_t ms = 0;
            const auto [rest, error] =
                std::from_chars(line.data() + 1, line.data() + line.size(), ms);
            const std::string_view after(
                rest, static_cast<std::size_t>(line.data() + line.size() - rest));
            if (error == std::errc() &&
                (after.starts_with(' ') || after == "\n" || after.empty())) {
                atMs = std::max(atMs, ms);
                line = after.starts_with(' ') ? after.substr(1) : std::string_view();
                typed.push_back({atMs, std::string(line)});
                continue;
            }
        }
        if (typed.empty() || typed.back().atMs != atMs) {
            typed.push_back({atMs, {}});
        }
        typed.back().bytes += line;
    }
    return typed;
}

std::vector<std::string> ThreadNames(const Outcome& outcome) {
    std::vector<std::string> kinds(static_cast<std::size_t>(std::max(outcome.threads, 1)));
    kinds[0] = "console";
    // By the worker's name each thread was started with: "PrintThread.0".
    static const std::pair<std::string_view, const char*> kKinds[] = {
        {"PrintThread", "print"}, {"FindThread", "find"}, {"GarbageThread", "garbage"}};
    for (std::size_t thread = 1; thread < kinds.size() && thread < outcome.threadNames.size();
         ++thread) {
        for (const auto& [name, label] : kKinds) {
            if (outcome.threadNames[thread].starts_with(name)) {
                kinds[thread] = label;
            }
        }
    }
    std::vector<std::string> names = kinds;
    for (std::size_t thread = 1; thread < names.size(); ++thread) {
        names[thread] =
            (kinds[thread].empty() ? "thread" : kinds[thread]) + " " + std::to_string(thread);
    }
    return names;
}

std::string Quoted(std::string_view bytes) {
    std::string quoted = "\"";
    for (const char c : bytes) {
        switch (c) {
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            case '"':
            case '\\':
                quoted += '\\';
                quoted += c;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
                    quoted += hex;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

std::string EndingText(const Outcome& outcome) {
    const std::string at = " at " + std::to_string(outcome.endTimeMs) + " ms";
    switch (outcome.ending) {
        case Ending::kExited:
            return "exit " + std::to_string(outcome.exitStatus) + at + "\n";
        case Ending::kAllEnded:
            return "every thread ended" + at + "\n";
        default:
            return "FAILED" + at + ": " + outcome.report;
    }
}

std::string Transcript(const Outcome& outcome) {
    const std::vector<std::string> names = ThreadNames(outcome);
    std::string text;
    for (const Write& write : outcome.writes) {
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%8llu ms  %-10s %-16s ",
                      static_cast<unsigned long long>(write.timeMs),
                      names[static_cast<std::size_t>(write.thread)].c_str(), write.file.c_str());
        text += stamp + Quoted(write.bytes) + "\n";
    }
    return text + EndingText(outcome);
}

}  // namespace listpool::sim
