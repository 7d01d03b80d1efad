// What the parts of a timeline picture share: the timeline, where each of
// its times is drawn and how it is told.
#pragma once

#include <cstdint>
#include <string>

#include "sim/drawing/svg_options.h"
#include "sim/drawing/svg_writer.h"
#include "sim/drawing/timeline_style.h"
#include "sim/timeline/record.h"

namespace listpool::sim {

// Heights, in pixels.
constexpr int kGuardHeight = 22;   // a guard's state
constexpr int kGuardGap = 6;       // after a guard's tracks
constexpr int kObjectHeight = 15;  // a guard object's state, or a value

struct Plot {
    Plot(const Timeline& timeline, const SvgOptions& options);

    double X(std::uint64_t ms) const { return kPlotLeft + pxPerUnit * static_cast<double>(ms); }
    // A time as the axis counts it: "1.2 s", "step 12".
    std::string When(std::uint64_t ms) const;
    // "0.2 s to 10.2 s (10.0 s)", "steps 12 to 15".
    std::string Span(std::uint64_t begin, std::uint64_t end) const;
    // The thread's name, or "thread N".
    std::string NameOf(int thread) const;
    // "pool guard" among several guards; a guard alone by its name.
    std::string GuardLabel(const std::string& guard) const {
        return t.guardNames.size() > 1 ? guard + " guard" : guard;
    }
    // A shape's times, as its data attributes.
    static std::string Data(std::uint64_t begin, std::uint64_t end);

    const Timeline& t;
    const bool steps;      // the axis counts steps
    const int width;       // the picture's
    double pxPerUnit = 1;  // or per step
};

}  // namespace listpool::sim
