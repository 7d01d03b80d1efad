#include "sim/svg_plot.h"

#include <algorithm>
#include <cstdio>

namespace listpool::sim {

Plot::Plot(const Timeline& timeline, const SvgOptions& options)
    : t(timeline),
      steps(timeline.axis == Axis::kSteps),
      width(steps ? kPlotLeft + kPlotRight +
                        options.pxPerStep *
                            static_cast<int>(std::max<std::uint64_t>(timeline.endMs, 1))
                  : options.width) {
    const double plot = std::max(200, width - kPlotLeft - kPlotRight);
    pxPerMs = plot / static_cast<double>(std::max<std::uint64_t>(timeline.endMs, 1));
}

std::string Plot::Data(std::uint64_t beginMs, std::uint64_t endMs) {
    return " data-begin-ms=\"" + std::to_string(beginMs) + "\" data-end-ms=\"" +
           std::to_string(endMs) + "\"";
}

std::string Plot::When(std::uint64_t ms) const {
    if (steps) {
        return "step " + std::to_string(ms);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string Plot::Span(std::uint64_t beginMs, std::uint64_t endMs) const {
    if (steps) {
        return endMs <= beginMs + 1
                   ? When(beginMs)
                   : "steps " + std::to_string(beginMs) + " to " + std::to_string(endMs - 1);
    }
    return When(beginMs) + " to " + When(endMs) + " (" + When(endMs - beginMs) + ")";
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
