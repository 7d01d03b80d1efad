// How the timeline picture looks: its colours, the short labels inside its
// shapes, and its legend.
#pragma once

#include <string>
#include <vector>

#include "sim/drawing/svg_writer.h"
#include "sim/timeline/record.h"

namespace listpool::sim {

// The picture's left column holds the track names; the plot starts here.
constexpr int kPlotLeft = 150;
constexpr int kPlotRight = 24;

// On an axis of steps: a thread that may go on while others go; marks.
inline constexpr const char* kReadyFill = "#e4e4e4";
inline constexpr const char* kMarkFill = "#c51b1b";
inline constexpr const char* kMarkShade = "#fff3b0";

const char* ActivityFill(Activity activity);
const char* SectionFill(bool write);
const char* GuardFill(const GuardSpan& span);
// The colour of a line's mark: standard output, standard error or a log.
const char* FileFill(const std::string& file);

// The member of the guard an object is: "gateEvent"; "" for no guard's.
std::string MemberName(GuardObject object);
// A call as its thread's track labels it: "lock countMutex", "sleep".
std::string CallLabel(const Call& call);
// The colour of a call: its object's, as its waits are coloured.
const char* CallFill(const Call& call);
// Room for the labels of the thread's calls, read upwards above its track.
int CallLabelsHeight(const Timeline& timeline, int thread);
const char* ObjectFill(const ObjectSpan& span);
// What an object's span says inside, longest first: "held by writer 3",
// "closed", "set"; `holder` names a mutex's holder.
std::vector<std::string> ObjectLabels(const ObjectSpan& span, const std::string& holder);

// What a band says inside, when it fits: "list gate", "input", ""; "gate"
// unless the guard is to be named.
std::string BandLabel(const Band& band, bool named = true);
// What it says where that is too long: "gate", "readers".
std::string ShortLabel(const Band& band);
// A short label for a line to standard error (a worker's completion line:
// "Printing Done!"), else "".
std::string StderrLabel(const Line& line);

// Draws a line's mark, a small triangle pointing down at x with its top at
// y, and the label to its right (or left); hovering shows the line.
void LineMark(Svg& svg, double x, double y, const Line& line, const std::string& label,
              bool labelLeft);

// Draws the legend of a picture on the axis from y on, wrapping at width;
// yields the picture's height.
int Legend(Svg& svg, int width, int y, Axis axis);

}  // namespace listpool::sim
