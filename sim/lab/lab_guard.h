// What the lab's guard workshop asks of the simulator: a learner's guard
// text checked over every schedule of a guard scene, and the text put in
// the program's guards' place for the lab's session runs. The text comes
// from the page or a link: untrusted, so whatever is wrong with it comes
// back as a sentence at its line and column, never as a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/guards/guard_code.h"
#include "sim/guards/guard_scene.h"
#include "sim/guards/session_guard.h"

namespace listpool::sim {

// Checks `text` on the scene, stopping after `maxStates` states; `progress`
// is told the steps looked at now and then. JSON: {"error": {"line",
// "column", "message"}} for a text the reader refuses, else {"scene" (its
// name in words), "states", "transitions", "complete", "holds",
// "verdicts": [{"name", "holds", "why", "schedule", "lap"}...]}, the two
// schedules as the choices --replay takes ("1 2 0 ...").
std::string LabCheckGuard(std::string_view text, const GuardCast& cast, std::uint64_t maxStates,
                          const std::function<void(std::uint64_t steps)>& progress);

// Where each thread of the scene stands in `text` once the schedule
// `choices` ("1 2 0 ...", as a verdict gives it) is played: up to the first
// state the scene finds wrong, else to the first choice after the
// schedule's. JSON: {"threads": [[thread, name ("writer 3"), line of the
// text, sequence ("WriterArrives"), inside]...]} for the threads stopped in
// one of the four sequences, at the line they are stopped at, and those
// inside the guard, at the line of the last call they came in by; or
// {"error"} for a text the reader refuses.
std::string LabGuardSchedule(std::string_view text, const GuardCast& cast,
                             std::string_view choices);

// While it lives, the lab's session runs use `text`'s guard, or the
// compiled one for "". Throws std::runtime_error, with the reader's
// sentence, for a text it refuses.
class LabSessionGuard {
  public:
    explicit LabSessionGuard(std::string_view text);

  private:
    std::unique_ptr<guards::GuardCode> code_;
    std::optional<guards::TextInSessions> inUse_;
};

}  // namespace listpool::sim
