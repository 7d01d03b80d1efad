// A guard checked as CheckGuard checks it, but with a search that stops at
// far fewer states: a mutant can let a count grow without end (a reader
// that never counts itself in, while readers come for ever), and then the
// search goes ever deeper, holding a copy of the run at every step of its
// path: at its own bound, more memory than CI has.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/guards/verdicts.h"

namespace listpool::sim::guards {

// The bound: for a scene of rounds, where every path ends, four times the
// real guard's largest; for one that goes on for ever, twice the real
// guard's (14,185 states), about 2 GB of copies on one path.
inline std::uint64_t MutantStates(const GuardCast& cast) {
    return cast.readRounds == 0 || cast.writeRounds == 0 ? 30'000 : 200'000;
}

template <typename Guard>
GuardCheck LimitedCheck(const GuardCast& cast, std::function<Guard*()> make = {}) {
    GuardScene<Guard> scene(cast, std::move(make));
    TaggedScene tagged(scene);
    SearchOptions options;
    options.maxStates = MutantStates(cast);
    return Verdicts(cast, SearchStates(tagged, options));
}

}  // namespace listpool::sim::guards
