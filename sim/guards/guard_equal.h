// Whether two guard texts are the same guard: the same tree, wherever its
// parts stand in the text. A text written out and read back is the same
// guard; a mutant that changes nothing is not a mutant.
#pragma once

#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

bool SameGuard(const GuardText& a, const GuardText& b);
bool SameStatement(const Statement& a, const Statement& b);

}  // namespace listpool::sim::guards
