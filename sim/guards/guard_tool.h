// listpool-sim's --guard: a guard text checked from a terminal, as a
// teacher checks a class's guards in a script, or a session run over it.
#pragma once

#include <iosfwd>
#include <string>

#include "sim/guards/guard_scene.h"

namespace listpool::sim::guards {

struct GuardToolArguments {
    std::string file;  // the guard text
    bool castGiven = false;
    GuardCast cast;       // with castGiven, the one scene to check
    bool replay = false;  // play `choices` on the scene (the first default unless given)
    std::string choices;
    std::string program;  // the simulator, as printed commands name it
};

// Checks the text on the two default scenes (or the one given) and prints,
// for each, its states and transitions and each verdict, with a shortest
// failing schedule and the command that replays it; or plays one schedule,
// printing each step with the thread's line in the text. Exit status: 0
// when every verdict holds, 1 when one fails, 2 when the text is refused
// (its line and column said on `err`) or cannot be read.
int GuardTool(const GuardToolArguments& arguments, std::ostream& out, std::ostream& err);

// The options that name `cast`: "--readers 2 --writers 2 --rounds 0,2".
std::string CastArguments(const GuardCast& cast);

// A word in a shell's single quotes, as the printed commands name a file.
std::string Quoted(const std::string& text);

// Reads the text of a guard file; false, with a sentence on `err`, when it
// cannot be read or is past the text's bound.
bool ReadGuardFile(const std::string& file, std::string& text, std::ostream& err);

}  // namespace listpool::sim::guards
