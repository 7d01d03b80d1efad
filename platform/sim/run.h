// A run's threads: their fibers, their steps, and the abandoning of those
// still alive at the end.
#pragma once

#include <functional>

#include "platform/sim/world.h"

namespace listpool::sim::detail {

// The calling thread asks for the call set in self.op; returns once the call
// has taken effect, after whatever other threads the scheduler runs first.
void Step(World& world, SimThread& self);

}  // namespace listpool::sim::detail
