#include "sim/drawing/svg_timeline.h"

#include <algorithm>
#include <cstdio>

#include "sim/drawing/svg_guards.h"
#include "sim/drawing/svg_plot.h"
#include "sim/drawing/timeline_style.h"

namespace listpool::sim {
namespace {

// Vertical layout, in pixels.
constexpr int kTitleY = 22;
constexpr int kAxisY = 58;
constexpr int kMarksHeight = 11;  // line marks above a thread's activity
constexpr int kCommandLane = 12;  // each row of command labels on the console
constexpr int kActivityHeight = 16;
constexpr int kStripHeight = 10;  // a section strip, one per guard
constexpr int kTrackGap = 9;
constexpr int kMarkLane = 14;  // each mark's label, under the axis

// Lays out one picture: the guards' tracks, then a track per thread, then
// the legend, each drawn from the top down.
class Drawer {
  public:
    Drawer(const Timeline& timeline, const SvgOptions& options)
        : plot_(timeline, options),
          t_(timeline),
          steps_(plot_.steps),
          width_(plot_.width),
          title_(options.title),
          pxPerMs_(plot_.pxPerUnit) {}

    std::string Draw();

  private:
    double X(std::uint64_t ms) const { return plot_.X(ms); }
    std::string When(std::uint64_t ms) const { return plot_.When(ms); }
    std::string Span(std::uint64_t begin, std::uint64_t end) const {
        return plot_.Span(begin, end);
    }
    std::string NameOf(int thread) const { return plot_.NameOf(thread); }
    std::string GuardLabel(const std::string& guard) const { return plot_.GuardLabel(guard); }
    static std::string Data(std::uint64_t begin, std::uint64_t end) {
        return Plot::Data(begin, end);
    }
    // The time axis along top, its grid lines down to bottom.
    void Axis(Svg& svg, int top, int bottom);
    // Each draws from y down and yields where the next part begins.
    int Thread(const ThreadTrack& track, int y, bool shaded);
    int Commands(int y);  // the console's command labels, above its track
    // On an axis of steps, the calls of a thread, each labelled above its step.
    int Calls(const ThreadTrack& track, int y);
    int Marks(int y);

    const Plot plot_;
    const Timeline& t_;
    const bool steps_;
    const int width_;
    const std::string title_;
    const double pxPerMs_;
    Svg back_;  // under the grid: the shading of every other track
    Svg body_;
};

void Drawer::Axis(Svg& svg, int top, int bottom) {
    if (steps_) {
        // A line at every step, so that steps can be counted; a label at every fifth.
        svg.Line(kPlotLeft, top, X(t_.end), top, "#555", 1);
        for (std::uint64_t step = 0; step <= t_.end; ++step) {
            svg.Line(X(step), top, X(step), bottom, step % 5 == 0 ? "#d8d8d8" : "#efefef", 1);
            if (step % 5 == 0 && step < t_.end) {
                svg.Line(X(step), top - 4, X(step), top, "#555", 1);
                svg.Text(X(step) + pxPerMs_ / 2, top - 7, std::to_string(step), "middle", 10,
                         "#333");
            }
        }
        svg.Text(kPlotLeft - 18, top - 7, "step", "end", 10, "#777");
        return;
    }
    // The smallest step that leaves room for its label.
    static const std::uint64_t kSteps[] = {100,  200,   500,   1000,  2000,
                                           5000, 10000, 20000, 30000, 60000};
    std::uint64_t step = kSteps[std::size(kSteps) - 1];
    for (const std::uint64_t candidate : kSteps) {
        if (pxPerMs_ * static_cast<double>(candidate) >= 48) {
            step = candidate;
            break;
        }
    }
    svg.Line(kPlotLeft, top, X(t_.end), top, "#555", 1);
    for (std::uint64_t ms = 0; ms <= t_.end; ms += step) {
        svg.Line(X(ms), top, X(ms), bottom, "#e3e3e3", 1);
        svg.Line(X(ms), top - 4, X(ms), top, "#555", 1);
        char label[32];
        std::snprintf(label, sizeof label, ms % 1000 == 0 ? "%.0f s" : "%.1f s",
                      static_cast<double>(ms) / 1000.0);
        svg.Text(X(ms), top - 7, label, "middle", 10, "#333");
    }
    svg.Text(kPlotLeft - 18, top - 7, "virtual time", "end", 10, "#777");
}

int Drawer::Commands(int y) {
    // Labels too close to fit side by side go to the next row.
    std::vector<double> laneEnds;
    std::vector<std::size_t> lanes;
    for (const Command& command : t_.commands) {
        const double x = X(command.time);
        std::size_t lane = 0;
        while (lane < laneEnds.size() && laneEnds[lane] > x - 1) {
            ++lane;
        }
        if (lane == laneEnds.size()) {
            laneEnds.push_back(0);
        }
        laneEnds[lane] = x + TextWidth(command.label, 10) + 8;
        lanes.push_back(lane);
    }
    const int rows = static_cast<int>(laneEnds.size());
    for (std::size_t n = 0; n < t_.commands.size(); ++n) {
        const Command& command = t_.commands[n];
        // The first row is the highest: a tick from a label runs down past
        // the rows below it only where no later label starts.
        const int labelY = y + (static_cast<int>(lanes[n]) + 1) * kCommandLane - 2;
        const std::string tip = "the console takes " + command.label + " at " + When(command.time) +
                                "; it answers: " + command.answer;
        const double x = X(command.time);
        body_.Raw("<g class=\"command\" data-ms=\"" + std::to_string(command.time) +
                  "\" data-label=\"" + XmlText(command.label) + "\"><title>" + XmlText(tip) +
                  "</title>");
        body_.Line(x, labelY + 2, x, y + rows * kCommandLane + kMarksHeight, "#000", 1);
        body_.Text(x + 2, labelY, command.label, "start", 10, "#000", true);
        body_.Raw("</g>");
    }
    return y + rows * kCommandLane;
}

int Drawer::Thread(const ThreadTrack& track, int y, bool shaded) {
    const int top = y;
    if (track.thread == 0 && !steps_) {
        y = Commands(y);
    }
    const int activity = y + (steps_ ? CallLabelsHeight(t_, track.thread) : kMarksHeight);
    // A strip per guard, in the timeline's order.
    auto strip = [&](const std::string& guard) {
        const auto found = std::find(t_.guardNames.begin(), t_.guardNames.end(), guard);
        return activity + kActivityHeight + 2 +
               static_cast<int>(found - t_.guardNames.begin()) * (kStripHeight + 1);
    };
    const int strips = static_cast<int>(t_.guardNames.size());
    const int bottom =
        activity + kActivityHeight + 2 + strips * (kStripHeight + 1) - (strips > 0 ? 1 : 0);
    body_.Raw("<g class=\"track\" data-thread=\"" + std::to_string(track.thread) +
              "\" data-name=\"" + XmlText(track.name) + "\"" + Data(track.begin, track.end) + ">");
    if (shaded) {
        back_.Rect(0, top - 3, width_, bottom - top + 6, "#f6f6f6");
    }
    body_.Text(kPlotLeft - 34, activity + 12, track.name, "end", 11, "#000", true);
    for (const std::string& guard : t_.guardNames) {
        body_.Text(kPlotLeft - 8, strip(guard) + 8, strips > 1 ? guard : "inside", "end", 8,
                   "#888");
    }
    body_.Line(X(track.begin), activity + kActivityHeight / 2, X(track.end),
               activity + kActivityHeight / 2, "#999", 1);
    for (const Band& band : t_.bands) {
        if (band.thread != track.thread) {
            continue;
        }
        // On an axis of steps a thread's own steps are its calls, drawn
        // below; between them it is ready while others go.
        const bool running = band.activity == Activity::kRunning && !steps_;
        std::string tip =
            track.name + ": " +
            (steps_ && band.activity == Activity::kRunning ? "ready, while other threads take steps"
                                                           : ActivityText(band.activity));
        tip += band.on.empty() ? "" : " (" + band.on + ")";
        tip += ", " + Span(band.begin, band.end);
        const std::string data = " class=\"band\" data-thread=\"" + std::to_string(band.thread) +
                                 "\" data-kind=\"" + ActivityName(band.activity) + "\" data-on=\"" +
                                 XmlText(band.on) + "\"" + Data(band.begin, band.end);
        body_.Band(X(band.begin), activity + (running ? 0 : 2), X(band.end),
                   kActivityHeight - (running ? 0 : 4),
                   steps_ && band.activity == Activity::kRunning ? kReadyFill
                                                                 : ActivityFill(band.activity),
                   data, tip, {BandLabel(band, t_.guardNames.size() > 1), ShortLabel(band)},
                   running ? 2 : 1);
    }
    if (steps_) {
        Calls(track, activity);
    }
    for (const Section& s : t_.sections) {
        if (s.thread != track.thread) {
            continue;
        }
        const std::string mode = s.write ? "write" : "read";
        const std::string data = " class=\"section\" data-thread=\"" + std::to_string(s.thread) +
                                 "\" data-guard=\"" + s.guard + "\" data-mode=\"" + mode + "\"" +
                                 Data(s.begin, s.end);
        body_.Band(X(s.begin), strip(s.guard), X(s.end), kStripHeight, SectionFill(s.write), data,
                   track.name + " inside the " + GuardLabel(s.guard) + " to " + mode + ", " +
                       Span(s.begin, s.end),
                   {s.guard + " " + mode, mode}, 2);
    }
    // A label that would cover the one before is left to the tip; one that
    // would run past the right edge goes to the left of its mark.
    double labelEnd = 0;
    for (const Line& line : t_.lines) {
        if (line.thread != track.thread) {
            continue;
        }
        const double x = X(line.time);
        std::string label = StderrLabel(line);
        const double wide = TextWidth(label, 8);
        const bool left = x + 6 + wide > width_ - 4;
        const double from = left ? x - 6 - wide : x + 6;
        if (!label.empty() && from > labelEnd) {
            labelEnd = from + wide + 6;
        } else {
            label.clear();
        }
        LineMark(body_, x, activity - kMarksHeight + 1, line, label, left);
    }
    body_.Raw("</g>");
    return bottom + kTrackGap;
}

int Drawer::Calls(const ThreadTrack& track, int activity) {
    for (const Call& call : t_.calls) {
        if (call.thread != track.thread) {
            continue;
        }
        const std::string label = CallLabel(call);
        const std::string data = " class=\"call\" data-thread=\"" + std::to_string(call.thread) +
                                 "\" data-op=\"" + OpName(call.op) + "\" data-object=\"" +
                                 XmlText(ObjectName(t_, call.object)) + "\"" +
                                 Data(call.at, call.at + 1);
        body_.Band(X(call.at) + 1, activity, X(call.at + 1) - 1, kActivityHeight, CallFill(call),
                   data, track.name + ": " + label + ", " + When(call.at), {}, 2);
        body_.VerticalText(X(call.at) + pxPerMs_ / 2 + 3, activity - 3, label, 9, CallFill(call));
    }
    return activity;
}

int Drawer::Marks(int y) {
    // Each mark's label has a lane of its own under the axis; its stretch
    // is shaded and ruled through every track later.
    for (const Mark& mark : t_.marks) {
        // Beside the stretch, on the right unless that runs past the edge.
        const double right = X(mark.end) + 4;
        const bool left = right + TextWidth(mark.text, 10) > width_ - 4;
        body_.Raw("<g class=\"mark\"" + Data(mark.begin, mark.end) + ">");
        body_.Text(left ? X(mark.begin) - 4 : right, y + 10, mark.text, left ? "end" : "start", 10,
                   kMarkFill, true);
        body_.Raw("</g>");
        y += kMarkLane;
    }
    return y;
}

std::string Drawer::Draw() {
    int y = Marks(kAxisY + 8);
    // Marks shade and rule from under their labels, so that no rule crosses one.
    const int marksTop = y;
    y = DrawValues(plot_, body_, DrawGuards(plot_, body_, y)) + 8;
    bool shaded = false;
    for (const ThreadTrack& track : t_.threads) {
        y = Thread(track, y, shaded);
        shaded = !shaded;
    }
    const int tracksBottom = y;
    Svg grid;
    Axis(grid, kAxisY, tracksBottom);
    for (const Mark& mark : t_.marks) {
        const int from = marksTop - 2;
        grid.Rect(X(mark.begin), from, X(mark.end) - X(mark.begin), tracksBottom - from,
                  kMarkShade);
        for (const std::uint64_t at : {mark.begin, mark.end}) {
            grid.Line(X(at), from, X(at), tracksBottom, kMarkFill, 1.5);
        }
    }
    const int height = Legend(body_, width_, tracksBottom + 10, t_.axis);
    char scale[64];
    std::snprintf(scale, sizeof scale, "%.9f", pxPerMs_);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width_) +
           "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width_) +
           " " + std::to_string(height) +
           "\" font-family=\"DejaVu Sans, Verdana, sans-serif\" data-plot-left=\"" +
           std::to_string(kPlotLeft) + "\" data-px-per-ms=\"" + scale + "\" data-end-ms=\"" +
           std::to_string(t_.end) + "\"" + (steps_ ? " data-axis=\"steps\"" : "") + ">\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    const std::string length =
        steps_ ? std::to_string(t_.end) + " steps, " : When(t_.end) + " of virtual time, ";
    const std::string heading = (title_.empty() ? std::string("listpool session") : title_) + ": " +
                                length + std::to_string(t_.threads.size()) + " threads";
    Svg top;
    top.Text(12, kTitleY, heading, "start", 15, "#000", true);
    svg += top.text() + back_.text() + grid.text() + body_.text() + "</svg>\n";
    return svg;
}

}  // namespace

std::string DrawSvg(const Timeline& timeline, const SvgOptions& options) {
    return Drawer(timeline, options).Draw();
}

}  // namespace listpool::sim
