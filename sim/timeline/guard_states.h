// The states of the watched guards and of their objects over a timeline,
// from the sections inside the guards and the calls on their objects: who
// is inside or entering, who holds each mutex, whether each event is set.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/timeline/record.h"

namespace listpool::sim {

// The activity of waiting at a guard's object (kGate at a gate), or kOther
// for an unknown one.
Activity ActivityOf(GuardObject object);

// Each guard's states from 0 to end, guard by guard in the order given:
// idle, readers inside, a writer inside (with any readers wrongly beside
// it), or a writer entering, from its reset of the gate until it is inside
// or the gate is set again before that.
std::vector<GuardSpan> GuardStates(const std::vector<std::string>& guards,
                                   const std::vector<Section>& sections,
                                   const std::vector<Call>& calls, std::uint64_t end);

// The states of each guard's parts in turn, by their rows (as
// Timeline::objects), from 0 to end: a mutex is free until locked, an event
// signalled until reset, and a call changes its object's state from its
// own time.
std::vector<ObjectSpan> ObjectStates(const std::vector<std::string>& guards,
                                     const std::vector<Call>& calls, std::uint64_t end);

// A wait for an object on an axis of steps, split into waiting at the steps
// the object is taken before (a mutex held, an event reset) and running at
// the others, when the thread could have gone on.
std::vector<Band> WhileTaken(const Band& wait, GuardObject object,
                             const std::vector<ObjectSpan>& objects);

}  // namespace listpool::sim
