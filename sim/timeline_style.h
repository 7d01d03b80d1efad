// How the timeline picture looks: its colours, the short labels inside its
// shapes, and its legend.
#pragma once

#include <string>

#include "sim/svg_writer.h"
#include "sim/timeline.h"

namespace listpool::sim {

// The picture's left column holds the track names; the plot starts here.
constexpr int kPlotLeft = 150;
constexpr int kPlotRight = 24;

const char* ActivityFill(Activity activity);
const char* SectionFill(bool write);
const char* GuardFill(const GuardSpan& span);
// The colour of a line's mark: standard output, standard error or a log.
const char* FileFill(const std::string& file);

// What a band says inside, when it fits: "list gate", "input", "".
std::string BandLabel(const Band& band);
// What it says where that is too long: "gate", "readers".
std::string ShortLabel(const Band& band);
// A short label for a line to standard error (a worker's completion line:
// "Printing Done!"), else "".
std::string StderrLabel(const Line& line);

// Draws a line's mark, a small triangle pointing down at x with its top at
// y, and the label to its right (or left); hovering shows the line.
void LineMark(Svg& svg, double x, double y, const Line& line, const std::string& label,
              bool labelLeft);

// Draws the legend from y on, wrapping at width; yields the picture's height.
int Legend(Svg& svg, int width, int y);

}  // namespace listpool::sim
