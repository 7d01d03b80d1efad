// The lab's levels: each a guard scene with a goal to reach as the
// scheduler, or a guard to fix in the workshop, in order from the first
// contact to the hardest. A level's page is its guard's explorer page
// (sim/explore/text_page.h) with the goal in its data: the states that
// reach it, the shortest schedule to them (its par), and the lesson.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/guards/guard_scene.h"

namespace listpool::sim {

struct LevelGoal {
    enum Kind {
        kState,     // a state: at least `readers` and `writers` inside, and
                    // a thread waiting at `waits` when it names an object
        kProperty,  // a failure of the verdict `property` (kVerdictNames)
        kLap,       // a lap, closed and weakly fair, that breaks `property`
        kFix,       // in the workshop: every verdict holds on the scenes
    };
    Kind kind = kState;
    int readers = 0;
    int writers = 0;
    const char* waits = "";
    int property = -1;
    // kFix: also checked on the level's cast, where the weak-fairness
    // verdicts are excused (they cannot all hold with these mutexes).
    bool ownScene = false;
};

struct Level {
    const char* name;     // as #level=NAME names it
    const char* chapter;  // "The real guard"
    const char* title;
    // The guard: "" for the real one, else a text of sim/guards/texts/ by
    // its file's stem ("without-recheck").
    const char* guard;
    GuardCast cast;
    LevelGoal goal;
    const char* sentence;  // the goal in one sentence
    const char* broke;     // what the goal shows, for the panel that says so
    const char* lesson;    // the section of docs/GUARD.md (its anchor)
    const char* lessonTitle;
    const char* real;  // what the real guard does at that step
};

// Every level, in order.
const std::vector<Level>& Levels();

// The level named `name`, or nullptr.
const Level* FindLevel(std::string_view name);

// The text of a level's guard (the real guard's read from its source).
// Throws std::runtime_error when it cannot be read.
std::string LevelGuardText(const Level& level);

// The level's page: its guard's explorer page, beside the real guard when
// its guard is another, with the goal in its data. Throws
// std::runtime_error for a fixing level, which has no page.
std::string LevelPage(const Level& level);

// The levels' list as the lab holds it: a JSON array of {"name",
// "chapter", "title", "goal", "kind" ("state", "property", "lap", "fix"),
// "broke", "lesson", "lessonTitle", "real", for a state's goal "inside" ([readers,
// writers]) and "waits" (an object, or ""), "guard", "readers", "writers",
// "rounds", "par", and for a fixing level checked on its own scene too
// "scene": [readers, writers, readRounds, writeRounds] and "excused", the
// verdicts it need not hold there}, each par found by searching its scene (null for a
// fixing level).
std::string LevelsJson();

// Every state's distance in steps to the level's goal, by node (-1 where
// it cannot be reached), as a JSON array: what the page's hints must say.
std::string LevelDistances(const Level& level);

}  // namespace listpool::sim
