#include "sim/drawing/svg_guards.h"

#include <string>
#include <vector>

#include "sim/drawing/timeline_style.h"

namespace listpool::sim {
namespace {

// The states of a guard's objects, one track each, on an axis of steps.
int DrawObjects(const Plot& plot, Svg& body, int guard, int y) {
    const bool several = plot.t.guardNames.size() > 1;
    GuardObject object;
    for (const ObjectSpan& span : plot.t.objects) {
        if (span.object.guard != guard) {
            continue;
        }
        if (span.object != object) {
            if (object.known()) {
                y += kObjectHeight + 2;
            }
            object = span.object;
            const std::string member = MemberName(span.object);
            body.Text(kPlotLeft - 8, y + kObjectHeight / 2 + 4,
                      several ? plot.t.guardNames[static_cast<std::size_t>(guard)] + " " + member
                              : member,
                      "end", 10, "#333");
        }
        const std::vector<std::string> labels =
            ObjectLabels(span, span.holder < 0 ? "" : plot.NameOf(span.holder));
        const std::string data =
            " class=\"object\" data-object=\"" + XmlText(ObjectName(plot.t, span.object)) +
            "\" data-holder=\"" + std::to_string(span.holder) + "\" data-signalled=\"" +
            (span.signalled ? "1" : "0") + "\"" + Plot::Data(span.begin, span.end);
        const std::string state =
            span.mutex       ? (span.holder < 0 ? "free" : "held by " + plot.NameOf(span.holder))
            : span.signalled ? "signalled"
                             : "reset";
        body.Band(plot.X(span.begin), y, plot.X(span.end), kObjectHeight, ObjectFill(span), data,
                  MemberName(span.object) + " " + state + ", " + plot.Span(span.begin, span.end),
                  labels, 0);
        if (span.begin > 0) {
            body.Line(plot.X(span.begin), y, plot.X(span.begin), y + kObjectHeight, "#fff", 1);
        }
    }
    return object.known() ? y + kObjectHeight + kGuardGap : y;
}

}  // namespace

int DrawGuards(const Plot& plot, Svg& body, int y) {
    for (std::size_t g = 0; g < plot.t.guardNames.size(); ++g) {
        const std::string& guard = plot.t.guardNames[g];
        body.Text(kPlotLeft - 8, y + kGuardHeight / 2 + 4, plot.GuardLabel(guard), "end", 11,
                  "#000", true);
        for (const GuardSpan& span : plot.t.guards) {
            if (span.guard != guard) {
                continue;
            }
            // The longest text that fits: who writes or enters, how many read.
            const std::string readers =
                std::to_string(span.readers) + (span.readers == 1 ? " reader" : " readers");
            std::vector<std::string> labels = {readers, std::to_string(span.readers)};
            if (span.state == GuardState::kWriteHeld && span.readers > 0) {
                labels = {"exclusion broken: " + plot.NameOf(span.writer) + " writes, " + readers +
                              " inside",
                          "broken: write, " + readers, "broken"};
            } else if (span.state == GuardState::kWriteHeld) {
                labels = {"write: " + plot.NameOf(span.writer), "write"};
            } else if (span.state == GuardState::kEntering && span.readers > 0) {
                labels = {"entering: " + plot.NameOf(span.writer) + ", " + readers + " inside",
                          "entering, " + readers + " inside", "entering, " + readers, "entering"};
            } else if (span.state == GuardState::kEntering) {
                labels = {"entering: " + plot.NameOf(span.writer), "entering"};
            } else if (span.state == GuardState::kIdle) {
                labels = {};
            }
            const std::string text = labels.empty() ? "idle" : labels.front();
            const std::string data = " class=\"guard\" data-guard=\"" + span.guard +
                                     "\" data-state=\"" + GuardStateName(span.state) +
                                     "\" data-readers=\"" + std::to_string(span.readers) +
                                     "\" data-writer=\"" + std::to_string(span.writer) + "\"" +
                                     Plot::Data(span.begin, span.end);
            const std::string tip =
                plot.GuardLabel(span.guard) + " " + text + ", " + plot.Span(span.begin, span.end);
            body.Band(plot.X(span.begin), y, plot.X(span.end), kGuardHeight, GuardFill(span), data,
                      tip, labels, 0);
            if (span.begin > 0) {
                // A hair of white shows where the state changes.
                body.Line(plot.X(span.begin), y, plot.X(span.begin), y + kGuardHeight, "#fff", 1);
            }
        }
        y += kGuardHeight + kGuardGap;
        if (plot.steps) {
            y = DrawObjects(plot, body, static_cast<int>(g), y);
        }
    }
    return y;
}

int DrawValues(const Plot& plot, Svg& body, int y) {
    std::string name;
    for (const ValueSpan& span : plot.t.values) {
        if (span.name != name) {
            y += name.empty() ? 0 : kObjectHeight + 2;
            name = span.name;
            body.Text(kPlotLeft - 8, y + kObjectHeight / 2 + 4, name, "end", 10, "#333");
        }
        const std::string data = " class=\"value\" data-name=\"" + XmlText(span.name) +
                                 "\" data-value=\"" + XmlText(span.value) + "\"" +
                                 Plot::Data(span.begin, span.end);
        body.Band(plot.X(span.begin), y, plot.X(span.end), kObjectHeight,
                  span.value == "0" ? "#f0f0f0" : "#c6dbef", data,
                  span.name + " " + span.value + ", " + plot.Span(span.begin, span.end),
                  {span.value}, 0);
        if (span.begin > 0) {
            body.Line(plot.X(span.begin), y, plot.X(span.begin), y + kObjectHeight, "#fff", 1);
        }
    }
    return name.empty() ? y : y + kObjectHeight + kGuardGap;
}

}  // namespace listpool::sim
