// The calls' effects on the world.
#pragma once

#include "platform/sim/world.h"

namespace listpool::sim::detail {

// Makes the chosen thread's pending call take effect, adds it to the
// thread's place, and tells the observer.
void Apply(World& world, SimThread& thread);

}  // namespace listpool::sim::detail
