// A guard text's tree written out: as a text again, in the real guard's
// layout, and as C++ that the simulator's platform compiles, so that the
// same guard can be run both interpreted and compiled.
#pragma once

#include <string>
#include <string_view>

#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

// The text's declarations, then its four functions, laid out as
// store/read_write_guard.cpp is (four spaces an indent, braces on the line
// that opens a block). ReadGuardText gives the same tree back, positions
// aside.
std::string WriteText(const GuardText& text);

// One statement on one line, a block's body as { ... }: what a mutant's
// description quotes.
std::string WriteStatementLine(const GuardText& text, const Statement& statement);

// A struct `name` that is the guard: readerCount and the guard's four
// objects as ReadWriteGuard declares them, then the text's own, and
// BeginRead, EndRead, BeginWrite and EndWrite, each running its sequence.
// An event the text makes reset is reset by the constructor, as the
// platform's CEvent starts set. Needs <cstdint> and platform/sync.h.
std::string WriteCxx(const GuardText& text, std::string_view name);

}  // namespace listpool::sim::guards
