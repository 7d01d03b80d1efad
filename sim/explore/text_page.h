// The explorer page (sim/explore/explore_page.h) of a guard text on a guard
// scene: every state of every schedule, each thread's line in the text,
// the text's objects and counters, and the workshop's verdicts as the
// page's properties, each with its shortest schedule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/explore/explore_page.h"
#include "sim/guards/guard_code.h"
#include "sim/guards/guard_scene.h"

namespace listpool::sim {

// The page's data for `code` on `cast`, under `title`, with the text shown
// as `source` (GuardSourceJson's shape), whose line numbers are the text's;
// its search stops after `maxStates` states, which the page then says;
// `goal`, when given, is a level's.
std::string TextPageData(const guards::GuardCode& code, const GuardCast& cast,
                         const std::string& title, const std::string& source,
                         std::uint64_t maxStates, GoalOfPage goal = {});

// The page of a learner's `text` on `cast` beside the real guard (its
// source read as a guard text) on the same scene, each searched to at most
// `maxStates` states. Throws std::runtime_error, with the reader's
// sentence, for a text it refuses.
std::string TextPage(std::string_view text, const GuardCast& cast,
                     std::uint64_t maxStates = 400'000);

}  // namespace listpool::sim
