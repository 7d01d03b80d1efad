// How a timeline picture is laid out: what the caller of DrawSvg
// (sim/drawing/svg_timeline.h) may choose.
#pragma once

#include <string>

namespace listpool::sim {

// On a timeline whose axis counts steps, every step has a column of its own,
// so the picture is as wide as the steps need; each call is drawn in its
// thread's track at its step, labelled above it, and under each guard's
// track its objects' states: who holds each mutex, whether each event is
// signalled. Marks, on either axis, shade their stretch (or rule their
// instant) through every track, with their text under the axis.
struct SvgOptions {
    int width = 1200;    // pixels, on an axis of milliseconds; the height follows from the tracks
    int pxPerStep = 14;  // on an axis of steps
    std::string title;   // "" draws a plain heading
};

}  // namespace listpool::sim
