// A guard's mutants: the guard with one statement deleted, or with two
// adjacent statements of one block swapped. Each is a small fault a
// learner could make; the checks that catch none of them check little.
#pragma once

#include <string>
#include <vector>

#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

struct Mutant {
    GuardText text;
    // One line naming the change by the lines of the original text:
    // "deletes line 44 `gateEvent->ResetEvent();`".
    std::string description;
};

// Every mutant of `text`: for each block at any depth, in the text's order,
// the deletion of each statement (an if, while or for goes whole) and the
// swap of each two adjacent ones. A swap of two equal statements changes
// nothing and is left out.
std::vector<Mutant> Mutants(const GuardText& text);

}  // namespace listpool::sim::guards
