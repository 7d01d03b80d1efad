// Draws a session's timeline as an SVG picture: plain text, no library.
//
// Above, one track per guard (idle, read-held with its readers, write-held,
// a writer entering); below, one track per thread from its start to its end:
// its pauses, waits (coloured by what they wait on) and the instants it ran,
// and under them its sections in the pool's and the list's guard. Marks show
// each command the console took and each line written; hovering over any
// shape shows what it is. Every band, section, span and mark carries its
// record as data attributes (data-thread, data-kind, data-begin-ms, ...), and
// the root element the scale (data-plot-left, data-px-per-ms), so that tests
// compare the drawing with the record rather than pixels.
#pragma once

#include <string>

#include "sim/timeline.h"

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

std::string DrawSvg(const Timeline& timeline, const SvgOptions& options = {});

}  // namespace listpool::sim
