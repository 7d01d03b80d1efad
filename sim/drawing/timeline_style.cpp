#include "sim/drawing/timeline_style.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>

#include "sim/timeline/guard_states.h"

namespace listpool::sim {

const char* ActivityFill(Activity activity) {
    static constexpr const char* kFills[] = {"#222222", "#d0d0d0", "#9467bd", "#e377c2", "#d62728",
                                             "#8c564b", "#9edae5", "#7f7f7f", "#bcbd22"};
    static_assert(std::size(kFills) == kActivities);
    return kFills[static_cast<int>(activity)];
}

const char* SectionFill(bool write) {
    return write ? "#3182bd" : "#74c476";
}

const char* GuardFill(const GuardSpan& span) {
    switch (span.state) {
        case GuardState::kIdle:
            return "#f0f0f0";
        case GuardState::kWriteHeld:
            return span.readers > 0 ? kMarkFill : SectionFill(true);
        case GuardState::kEntering:
            return "#fdae6b";
        case GuardState::kReadHeld:
            break;
    }
    // More readers, a deeper green.
    static const char* const kReads[] = {"#c7e9c0", "#a1d99b", "#74c476", "#41ab5d"};
    return kReads[std::min(span.readers, 4) - 1];
}

const char* FileFill(const std::string& file) {
    return file == "stdout" ? "#444444" : file == "stderr" ? "#e6550d" : "#2b8cbe";
}

std::string MemberName(GuardObject object) {
    return object.known() ? kGuardParts[object.part].member : "";
}

std::string CallLabel(const Call& call) {
    static constexpr const char* kVerbs[] = {"begin", "lock",  "unlock",       "wait",
                                             "set",   "reset", "start thread", "sleep",
                                             "write", "read",  "access", "end"};
    static_assert(std::size(kVerbs) == kOps);
    const std::string verb = kVerbs[static_cast<int>(call.op)];
    return call.object.known() ? verb + " " + MemberName(call.object) : verb;
}

const char* CallFill(const Call& call) {
    return call.object.known() ? ActivityFill(ActivityOf(call.object)) : "#555555";
}

int CallLabelsHeight(const Timeline& timeline, int thread) {
    double tallest = 0;
    for (const Call& call : timeline.calls) {
        if (call.thread == thread) {
            tallest = std::max(tallest, TextWidth(CallLabel(call), 9));
        }
    }
    return static_cast<int>(tallest) + 8;
}

const char* ObjectFill(const ObjectSpan& span) {
    if (span.mutex ? span.holder < 0 : span.signalled) {
        return span.mutex ? "#f0f0f0" : "#d9f0d3";
    }
    return ActivityFill(ActivityOf(span.object));
}

std::vector<std::string> ObjectLabels(const ObjectSpan& span, const std::string& holder) {
    if (span.mutex) {
        if (span.holder < 0) {
            return {"free"};
        }
        return {"held by " + holder, holder,
                holder.substr(0, 1) + holder.substr(holder.rfind(' ') + 1)};
    }
    if (span.object.is(kGateEvent)) {
        return {span.signalled ? "open" : "closed"};
    }
    return {span.signalled ? "set: no reader inside" : "reset: readers inside",
            span.signalled ? "set" : "reset"};
}

std::string BandLabel(const Band& band, bool named) {
    const std::string guard = named ? band.on + " " : "";
    switch (band.activity) {
        case Activity::kPausing:
            return "pausing";
        case Activity::kGate:
            return guard + "gate";
        case Activity::kWriterTurn:
            return guard + "writer's turn";
        case Activity::kReadersLeave:
            return named ? band.on + ": readers to leave" : "readers to leave";
        case Activity::kCountMutex:
            return guard + "count mutex";
        case Activity::kInput:
            return "waiting for input";
        case Activity::kStream:
            return band.on;
        default:
            return "";
    }
}

std::string ShortLabel(const Band& band) {
    static constexpr const char* kLabels[] = {"",      "",      "gate", "writer", "readers",
                                              "count", "input", "",     ""};
    static_assert(std::size(kLabels) == kActivities);
    return kLabels[static_cast<int>(band.activity)];
}

std::string StderrLabel(const Line& line) {
    if (line.file != "stderr") {
        return "";
    }
    const std::size_t after = line.text.rfind("]: ");
    return after == std::string::npos ? line.text.substr(0, 24) : line.text.substr(after + 3);
}

void LineMark(Svg& svg, double x, double y, const Line& line, const std::string& label,
              bool labelLeft) {
    const std::string fill = FileFill(line.file);
    svg.Raw("<path class=\"line\" data-thread=\"" + std::to_string(line.thread) +
            "\" data-file=\"" + XmlText(line.file) + "\" data-ms=\"" + std::to_string(line.time) +
            "\" d=\"M" + Num(x - 3.5) + " " + Num(y) + "h7l-3.5 7z\" fill=\"" + fill +
            "\"><title>" +
            XmlText(line.file + " at " + std::to_string(line.time) + " ms: " + line.text) +
            "</title></path>");
    if (!label.empty()) {
        svg.Text(labelLeft ? x - 6 : x + 6, y + 7, label, labelLeft ? "end" : "start", 8, fill);
    }
}

namespace {

struct Flow {
    Svg& svg;
    int width;
    double x;
    int y;

    void Row(const std::string& heading) {
        x = 12;
        y += 18;
        svg.Text(x, y + 8, heading, "start", 10, "#000", true);
        x = kPlotLeft;
    }
    // A swatch (a band, a tick or a mark) and its text, wrapping at the edge.
    void Item(const char* fill, const std::string& text, char shape = 'b') {
        const double wide = 18 + TextWidth(text, 10) + 16;
        if (x + wide > width - 8) {
            x = kPlotLeft;
            y += 16;
        }
        if (shape == 't') {
            svg.Rect(x + 6, y, 2, 10, fill);
        } else if (shape == 'm') {
            svg.Raw("<path d=\"M" + Num(x + 3.5) + " " + std::to_string(y + 1) +
                    "h7l-3.5 7z\" fill=\"" + fill + "\"/>");
        } else {
            svg.Rect(x, y, 14, 10, fill);
        }
        svg.Text(x + 18, y + 9, text, "start", 10, "#222");
        x += wide;
    }
};

}  // namespace

namespace {

// The guard's states, as both legends show them.
void GuardItems(Flow& flow, bool steps) {
    flow.Row(steps ? "guard" : "guards");
    GuardSpan span{"", GuardState::kIdle, 0, -1, 0, 0};
    flow.Item(GuardFill(span), "idle");
    for (int readers = 1; readers <= (steps ? 2 : 4); ++readers) {
        span.state = GuardState::kReadHeld;
        span.readers = readers;
        flow.Item(GuardFill(span), readers == 1   ? "1 reader"
                                   : readers == 4 ? "4 or more readers"
                                                  : std::to_string(readers) + " readers");
    }
    span.state = GuardState::kWriteHeld;
    span.readers = 0;
    flow.Item(GuardFill(span), "write-held");
    span.state = GuardState::kEntering;
    flow.Item(GuardFill(span), "a writer entering (gate closed, waiting for readers)");
    if (steps) {
        span.state = GuardState::kWriteHeld;
        span.readers = 1;
        flow.Item(GuardFill(span), "a writer inside with readers: exclusion broken");
    }
}

// The waits the legend lists on the threads' row, then the sections' row.
void ActivityAndSectionItems(Flow& flow, std::initializer_list<Activity> activities,
                             const char* insideToWrite) {
    for (const Activity a : activities) {
        flow.Item(ActivityFill(a), ActivityText(a));
    }
    flow.Row("sections");
    flow.Item(SectionFill(false), "inside to read");
    flow.Item(SectionFill(true), insideToWrite);
}

// The legend of a picture on an axis of steps: a scene of threads on one
// guard, calls and objects rather than commands and lines.
void StepItems(Flow& flow) {
    flow.Row("threads");
    flow.Item(CallFill({0, Op::kSleep, {}, 0}), "a call taking effect: one step");
    flow.Item(kReadyFill, "ready, while other threads take steps");
    ActivityAndSectionItems(flow,
                            {Activity::kPausing, Activity::kGate, Activity::kWriterTurn,
                             Activity::kReadersLeave, Activity::kCountMutex},
                            "inside to write (the strip under each thread)");
    GuardItems(flow, true);
    flow.Row("objects");
    flow.Item(ObjectFill({{}, true, -1, false, 0, 0}), "a mutex free");
    flow.Item(ObjectFill({{0, kWriterMutex}, true, 1, false, 0, 0}), "writerMutex held");
    flow.Item(ObjectFill({{0, kCountMutex}, true, 1, false, 0, 0}), "countMutex held");
    flow.Item(ObjectFill({{0, kGateEvent}, false, -1, true, 0, 0}),
              "an event signalled (gate open)");
    flow.Item(ObjectFill({{0, kGateEvent}, false, -1, false, 0, 0}), "gateEvent reset (closed)");
    flow.Item(ObjectFill({{0, kNoReadersEvent}, false, -1, false, 0, 0}),
              "noReadersEvent reset (readers inside)");
    flow.Row("marks");
    flow.Item(kMarkShade, "steps the text under the axis points out");
}

}  // namespace

int Legend(Svg& svg, int width, int y, Axis axis) {
    svg.Raw("<g class=\"legend\">");
    Flow flow{svg, width, kPlotLeft, y};
    if (axis == Axis::kSteps) {
        StepItems(flow);
    } else {
        flow.Row("threads");
        flow.Item(ActivityFill(Activity::kRunning), "running (takes no virtual time)", 't');
        ActivityAndSectionItems(
            flow,
            {Activity::kPausing, Activity::kGate, Activity::kWriterTurn, Activity::kReadersLeave,
             Activity::kCountMutex, Activity::kInput, Activity::kStream},
            "inside to write (strips under each thread: pool, then list)");
        GuardItems(flow, false);
        flow.Row("marks");
        flow.Item("#000000", "p  a command the console takes (console track)", 't');
        flow.Item(FileFill("stdout"), "a line to standard output", 'm');
        flow.Item(FileFill("stderr"), "to standard error", 'm');
        flow.Item(FileFill("log"), "to a log", 'm');
    }
    flow.Row("");
    svg.Text(kPlotLeft, flow.y + 8, "Hover over any shape for its times and text.", "start", 10,
             "#555");
    svg.Raw("</g>");
    return flow.y + 22;
}

}  // namespace listpool::sim
