// A session's timeline as Chrome trace event JSON, which Perfetto's UI
// (ui.perfetto.dev) and chrome://tracing open: one process holds a track per
// thread (named by "M" thread_name events), another a track per guard; pauses,
// waits, sections and guard states are "X" complete events, commands and
// lines "i" instant events. Times are in microseconds of virtual time.
#pragma once

#include <string>

#include "sim/timeline/record.h"

namespace listpool::sim {

std::string ChromeTrace(const Timeline& timeline);

}  // namespace listpool::sim
