// What the parts of a timeline picture share: the timeline, where each of
// its times is drawn and how it is told; and the guards' tracks, drawn by
// svg_guards.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "sim/svg_timeline.h"
#include "sim/svg_writer.h"
#include "sim/timeline.h"
#include "sim/timeline_style.h"

namespace listpool::sim {

// Heights, in pixels.
constexpr int kGuardHeight = 22;   // a guard's state
constexpr int kGuardGap = 6;       // after a guard's tracks
constexpr int kObjectHeight = 15;  // a guard object's state, or a value

struct Plot {
    Plot(const Timeline& timeline, const SvgOptions& options);

    double X(std::uint64_t ms) const { return kPlotLeft + pxPerMs * static_cast<double>(ms); }
    // A time as the axis counts it: "1.2 s", "step 12".
    std::string When(std::uint64_t ms) const;
    // "0.2 s to 10.2 s (10.0 s)", "steps 12 to 15".
    std::string Span(std::uint64_t beginMs, std::uint64_t endMs) const;
    // The thread's name, or "thread N".
    std::string NameOf(int thread) const;
    // "pool guard" among several guards; a guard alone by its name.
    std::string GuardLabel(const std::string& guard) const {
        return t.guardNames.size() > 1 ? guard + " guard" : guard;
    }
    // A shape's times, as its data attributes.
    static std::string Data(std::uint64_t beginMs, std::uint64_t endMs);

    const Timeline& t;
    const bool steps;    // the axis counts steps
    const int width;     // the picture's
    double pxPerMs = 1;  // or per step
};

// Each guard's state from y down and, on an axis of steps, its objects'
// states; yields where the next part begins.
int DrawGuards(const Plot& plot, Svg& body, int y);
// A track per value the caller added, from y down; yields where the next
// part begins.
int DrawValues(const Plot& plot, Svg& body, int y);

}  // namespace listpool::sim
