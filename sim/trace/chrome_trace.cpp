#include "sim/trace/chrome_trace.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

namespace listpool::sim {
namespace {

constexpr int kThreads = 1;  // the process whose tracks are the threads
constexpr int kGuards = 2;   // the process whose tracks are the guards

struct TraceEvent {
    std::uint64_t begin;
    std::uint64_t end;
    std::string json;
};

std::string Us(std::uint64_t ms) {
    return std::to_string(ms * 1000);
}

std::string Complete(int pid, int tid, const std::string& name, const char* category,
                     std::uint64_t begin, std::uint64_t end, const std::string& args) {
    return "{\"ph\":\"X\",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(tid) +
           ",\"ts\":" + Us(begin) + ",\"dur\":" + Us(end - begin) +
           ",\"name\":" + JsonString(name) + ",\"cat\":\"" + category + "\",\"args\":{" + args +
           "}}";
}

std::string Instant(int tid, const std::string& name, const char* category, std::uint64_t ms,
                    const std::string& args) {
    return "{\"ph\":\"i\",\"s\":\"t\",\"pid\":" + std::to_string(kThreads) +
           ",\"tid\":" + std::to_string(tid) + ",\"ts\":" + Us(ms) +
           ",\"name\":" + JsonString(name) + ",\"cat\":\"" + category + "\",\"args\":{" + args +
           "}}";
}

std::string Meta(int pid, int tid, const char* what, const std::string& args) {
    return "{\"ph\":\"M\",\"pid\":" + std::to_string(pid) + ",\"tid\":" + std::to_string(tid) +
           ",\"name\":\"" + what + "\",\"args\":{" + args + "}}";
}

std::string Arg(const char* key, const std::string& value) {
    return "\"" + std::string(key) + "\":" + JsonString(value);
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            // Bytes beyond ASCII need not be UTF-8: each stands for itself.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string ChromeTrace(const Timeline& t) {
    std::vector<std::string> meta = {
        Meta(kThreads, 0, "process_name", Arg("name", "listpool threads")),
        Meta(kGuards, 0, "process_name", Arg("name", "listpool guards"))};
    for (const ThreadTrack& track : t.threads) {
        meta.push_back(Meta(kThreads, track.thread, "thread_name", Arg("name", track.name)));
        meta.push_back(Meta(kThreads, track.thread, "thread_sort_index",
                            "\"sort_index\":" + std::to_string(track.thread)));
    }
    // Each guard's track is numbered from 1 in the timeline's order.
    std::map<std::string, int> guardTracks;
    for (const std::string& guard : t.guardNames) {
        const int track = static_cast<int>(guardTracks.size()) + 1;
        guardTracks[guard] = track;
        meta.push_back(Meta(kGuards, track, "thread_name", Arg("name", guard)));
    }
    // Perfetto nests the slices of a track by time, a parent before its
    // children: sections before the waits and pauses they hold.
    std::vector<TraceEvent> events;
    for (const Section& s : t.sections) {
        const std::string mode = s.write ? "write" : "read";
        events.push_back({s.begin, s.end,
                          Complete(kThreads, s.thread, s.guard + " " + mode, "section", s.begin,
                                   s.end, Arg("guard", s.guard) + "," + Arg("mode", mode))});
    }
    for (const Band& band : t.bands) {
        if (band.activity == Activity::kRunning) {
            continue;  // the gaps between the other slices, and no time long
        }
        std::string name = ActivityText(band.activity);
        name += band.on.empty() ? "" : " (" + band.on + ")";
        events.push_back(
            {band.begin, band.end,
             Complete(kThreads, band.thread, name,
                      band.activity == Activity::kPausing ? "pause" : "wait", band.begin, band.end,
                      Arg("kind", ActivityName(band.activity)) + "," + Arg("on", band.on))});
    }
    for (const GuardSpan& span : t.guards) {
        if (span.state == GuardState::kIdle) {
            continue;
        }
        std::string name = GuardStateName(span.state);
        if (span.readers > 0) {
            name += ", " + std::to_string(span.readers) + " inside";
        }
        events.push_back(
            {span.begin, span.end,
             Complete(kGuards, guardTracks[span.guard], name, "guard", span.begin, span.end,
                      Arg("state", GuardStateName(span.state)) +
                          ",\"readers\":" + std::to_string(span.readers) +
                          ",\"writer\":" + std::to_string(span.writer))});
    }
    for (const Command& command : t.commands) {
        events.push_back({command.time, command.time,
                          Instant(0, "command " + command.label, "command", command.time,
                                  Arg("answer", command.answer))});
    }
    for (const Line& line : t.lines) {
        events.push_back({line.time, line.time,
                          Instant(line.thread, line.text, "line", line.time,
                                  Arg("file", line.file) + "," + Arg("text", line.text))});
    }
    // At one instant, what took no time comes first, so that it sits beside
    // the slices that begin then rather than inside them.
    std::stable_sort(events.begin(), events.end(), [](const TraceEvent& a, const TraceEvent& b) {
        const bool aLasts = a.end > a.begin;
        const bool bLasts = b.end > b.begin;
        return std::tie(a.begin, aLasts, b.end) < std::tie(b.begin, bLasts, a.end);
    });
    std::string json = "{\"displayTimeUnit\":\"ms\",\"traceEvents\":[\n";
    for (const std::string& m : meta) {
        json += m + ",\n";
    }
    for (const TraceEvent& event : events) {
        json += event.json + ",\n";
    }
    json.resize(json.size() - 2);
    return json + "\n]}\n";
}

}  // namespace listpool::sim
