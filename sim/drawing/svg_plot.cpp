#include "sim/drawing/svg_plot.h"

#include <algorithm>
#include <cstdio>

namespace listpool::sim {

Plot::Plot(const Timeline& timeline, const SvgOptions& options)
    : t(timeline),
      steps(timeline.axis == Axis::kSteps),
      width(steps
                ? kPlotLeft + kPlotRight +
                      options.pxPerStep * static_cast<int>(std::max<std::uint64_t>(timeline.end, 1))
                : options.width) {
    const double plot = std::max(200, width - kPlotLeft - kPlotRight);
    pxPerUnit = plot / static_cast<double>(std::max<std::uint64_t>(timeline.end, 1));
}

std::string Plot::Data(std::uint64_t begin, std::uint64_t end) {
    return " data-begin-ms=\"" + std::to_string(begin) + "\" data-end-ms=\"" + std::to_string(end) +
           "\"";
}

std::string Plot::When(std::uint64_t ms) const {
    if (steps) {
        return "step " + std::to_string(ms);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string Plot::Span(std::uint64_t begin, std::uint64_t end) const {
    if (steps) {
        return end <= begin + 1
                   ? When(begin)
                   : "steps " + std::to_string(begin) + " to " + std::to_string(end - 1);
    }
    return When(begin) + " to " + When(end) + " (" + When(end - begin) + ")";
}

std::string Plot::NameOf(int thread) const {
    for (const ThreadTrack& track : t.threads) {
        if (track.thread == thread) {
            return track.name;
        }
    }
    return "thread " + std::to_string(thread);
}

}  // namespace listpool::sim
