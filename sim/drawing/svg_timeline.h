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

#include "sim/drawing/svg_options.h"
#include "sim/timeline/record.h"

namespace listpool::sim {

std::string DrawSvg(const Timeline& timeline, const SvgOptions& options = {});

}  // namespace listpool::sim
