// The two broken guards, as guard texts: the real guard with one step left
// out, each in a file of its own under sim/guards/texts/ that says what it
// leaves out and why that breaks. The explorer pages, the pictures of
// docs/GUARD.md, the tests and the lab all take them from here.
#pragma once

#include <string>
#include <string_view>

#include "sim/guards/text_guard.h"

namespace listpool::sim::guards {

struct BrokenGuard {
    const char* name;   // "without-recheck": the pages' and the tools' name
    const char* title;  // the page's title
    const char* file;   // its text, from the source tree's root
};

inline constexpr BrokenGuard kBrokenGuards[] = {
    {"without-recheck", "The guard without the writer's re-check",
     "sim/guards/texts/without-recheck.guard"},
    {"without-second-reset", "The guard without the second reset",
     "sim/guards/texts/without-second-reset.guard"},
};

// The broken guard named `name`, or nullptr.
const BrokenGuard* FindBrokenGuard(std::string_view name);

// Its text, read from the source tree (in the lab, from the copy inside the
// module); throws std::runtime_error when it cannot be read.
std::string BrokenGuardText(const BrokenGuard& guard);

// Its text read and made runnable, once, outside any run's memory, so that
// guards made from it in any run may use it; throws std::runtime_error when
// the text cannot be read or does not read.
const GuardCode& BrokenCode(int broken);

// A broken guard as a guard type, made with no arguments as the tools'
// templates make the guards they run: kBrokenGuards[kBroken]'s text.
template <int kBroken>
struct BrokenText : TextGuard {
    BrokenText() : TextGuard(BrokenCode(kBroken)) {}
};
using WithoutRecheck = BrokenText<0>;
using WithoutSecondReset = BrokenText<1>;

}  // namespace listpool::sim::guards
