// The guards' tracks of a timeline picture, and the values the caller added.
#pragma once

#include "sim/drawing/svg_plot.h"
#include "sim/drawing/svg_writer.h"

namespace listpool::sim {

// Each guard's state from y down and, on an axis of steps, its objects'
// states; yields where the next part begins.
int DrawGuards(const Plot& plot, Svg& body, int y);
// A track per value the caller added, from y down; yields where the next
// part begins.
int DrawValues(const Plot& plot, Svg& body, int y);

}  // namespace listpool::sim
