// A run of a scene along given choices, with the states it passes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/search/scene.h"

namespace listpool::sim {

// One run along `choices`, stopped at the choice point after the last.
struct Replayed {
    // What the scene found wrong on the way, or "".
    std::string failure;
    // The state at each choice point, the first one and the one after the
    // last choice included.
    std::vector<std::uint64_t> states;
    // The labels every state from choice point k to the next one has.
    std::vector<std::uint32_t> labels;
};
Replayed Replay(SearchScene& scene, const std::vector<int>& choices);

}  // namespace listpool::sim
