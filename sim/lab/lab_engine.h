// What the lab page (docs/lab.html) asks of the simulator: the program run
// on a session up to a virtual time, every schedule of a session, and the
// session's explorer page. Each answer is one text (JSON or HTML) for the
// page's script.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace listpool::sim {

// Runs the session with its input kept open past `boundMs` and stops the
// run there, so that what it shows is what the program has done by then
// whatever is typed later. JSON: {"bound", "threads", "writes": [[ms,
// thread, file, bytes, line]...] (line: the write's line of listpool-sim's
// transcript), "ended" (the run ended by itself before the bound), "ending"
// (the transcript's last lines then), "endMs", "inside" and "waits" (open
// sections and waits at the guards: [thread, text]); and when `drawn`, the
// state at the bound: "memory": [pool, list], "code" (the threads stopped in
// one of the guards' four sequences: [thread, sequence, guard, call,
// holdsWriterMutex, line], the call as the code makes it,
// "countMutex->Lock()", the line that of a guard text in use, else 0),
// and "svg" (the timeline).
std::string LabRun(std::string_view session, std::uint64_t boundMs, bool drawn);

// Every schedule of the session, as listpool-sim --every-schedule reports
// it, stopping after `maxStates` states. `progress` is told the steps
// explored so far, now and then. JSON: {"report", "complete", "failure",
// "states", "transitions", "shortest": [[ending, steps, choices]...] (a
// shortest schedule to each distinct outcome, choices as --replay takes
// them)}.
std::string LabEverySchedule(std::string_view session, std::uint64_t maxStates,
                             const std::function<void(std::uint64_t steps)>& progress);

// The guard's code, as the explorer's code view takes it (GuardSourceJson).
std::string LabGuardCode();

// The session's explorer page (sim/explore/session_page.h), the guards
// running `guardText` unless it is "".
std::string LabExplorePage(std::string_view session, std::string_view guardText);

}  // namespace listpool::sim
