#include "sim/trace/chrome_trace.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/json/json_writer.h"

namespace listpool::sim {
namespace {

constexpr int kThreads = 1;  // the process whose tracks are the threads
constexpr int kGuards = 2;   // the process whose tracks are the guards

struct TraceEvent {
    std::uint64_t begin;
    std::uint64_t end;
    std::string json;
};

// An event's args whose values are all texts, as an object.
std::string Args(std::initializer_list<std::pair<const char*, std::string_view>> members) {
    JsonWriter json;
    json.Object();
    for (const auto& [key, value] : members) {
        json.Key(key).String(value);
    }
    return json.End().Take();
}

// An event's name, category and args, which close it.
std::string Named(JsonWriter& json, const std::string& name, const char* category,
                  const std::string& args) {
    json.Key("name").String(name).Key("cat").String(category).Key("args").Raw(args);
    return json.End().Take();
}

std::string Complete(int pid, int tid, const std::string& name, const char* category,
                     std::uint64_t begin, std::uint64_t end, const std::string& args) {
    JsonWriter json;
    json.Object().Key("ph").String("X").Key("pid").Int(pid).Key("tid").Int(tid);
    json.Key("ts").Int(begin * 1000).Key("dur").Int((end - begin) * 1000);
    return Named(json, name, category, args);
}

std::string Instant(int tid, const std::string& name, const char* category, std::uint64_t ms,
                    const std::string& args) {
    JsonWriter json;
    json.Object().Key("ph").String("i").Key("s").String("t").Key("pid").Int(kThreads);
    json.Key("tid").Int(tid).Key("ts").Int(ms * 1000);
    return Named(json, name, category, args);
}

std::string Meta(int pid, int tid, const char* what, const std::string& args) {
    JsonWriter json;
    json.Object().Key("ph").String("M").Key("pid").Int(pid).Key("tid").Int(tid);
    return json.Key("name").String(what).Key("args").Raw(args).End().Take();
}

}  // namespace

std::string ChromeTrace(const Timeline& t) {
    std::vector<std::string> meta = {
        Meta(kThreads, 0, "process_name", Args({{"name", "listpool threads"}})),
        Meta(kGuards, 0, "process_name", Args({{"name", "listpool guards"}}))};
    for (const ThreadTrack& track : t.threads) {
        meta.push_back(Meta(kThreads, track.thread, "thread_name", Args({{"name", track.name}})));
        meta.push_back(
            Meta(kThreads, track.thread, "thread_sort_index",
                 JsonWriter().Object().Key("sort_index").Int(track.thread).End().Take()));
    }
    // Each guard's track is numbered from 1 in the timeline's order.
    std::map<std::string, int> guardTracks;
    for (const std::string& guard : t.guardNames) {
        const int track = static_cast<int>(guardTracks.size()) + 1;
        guardTracks[guard] = track;
        meta.push_back(Meta(kGuards, track, "thread_name", Args({{"name", guard}})));
    }
    // Perfetto nests the slices of a track by time, a parent before its
    // children: sections before the waits and pauses they hold.
    std::vector<TraceEvent> events;
    for (const Section& s : t.sections) {
        const std::string mode = s.write ? "write" : "read";
        events.push_back({s.begin, s.end,
                          Complete(kThreads, s.thread, s.guard + " " + mode, "section", s.begin,
                                   s.end, Args({{"guard", s.guard}, {"mode", mode}}))});
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
                      Args({{"kind", ActivityName(band.activity)}, {"on", band.on}}))});
    }
    for (const GuardSpan& span : t.guards) {
        if (span.state == GuardState::kIdle) {
            continue;
        }
        std::string name = GuardStateName(span.state);
        if (span.readers > 0) {
            name += ", " + std::to_string(span.readers) + " inside";
        }
        JsonWriter args;
        args.Object().Key("state").String(GuardStateName(span.state));
        args.Key("readers").Int(span.readers).Key("writer").Int(span.writer).End();
        events.push_back({span.begin, span.end,
                          Complete(kGuards, guardTracks[span.guard], name, "guard", span.begin,
                                   span.end, args.Take())});
    }
    for (const Command& command : t.commands) {
        events.push_back({command.time, command.time,
                          Instant(0, "command " + command.label, "command", command.time,
                                  Args({{"answer", command.answer}}))});
    }
    for (const Line& line : t.lines) {
        events.push_back({line.time, line.time,
                          Instant(line.thread, line.text, "line", line.time,
                                  Args({{"file", line.file}, {"text", line.text}}))});
    }
    // At one instant, what took no time comes first, so that it sits beside
    // the slices that begin then rather than inside them.
    std::stable_sort(events.begin(), events.end(), [](const TraceEvent& a, const TraceEvent& b) {
        const bool aLasts = a.end > a.begin;
        const bool bLasts = b.end > b.begin;
        return std::tie(a.begin, aLasts, b.end) < std::tie(b.begin, bLasts, a.end);
    });
    // An event a line.
    JsonWriter json;
    json.Object().Key("displayTimeUnit").String("ms").Key("traceEvents").Array();
    for (const std::string& m : meta) {
        json.Break().Raw(m);
    }
    for (const TraceEvent& event : events) {
        json.Break().Raw(event.json);
    }
    return json.Break().End().End().Break().Take();
}

}  // namespace listpool::sim
