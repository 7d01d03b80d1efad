// The graph of the states a search met and the steps between them: whether
// every run ends, how many schedules there are, and the choices that reach
// a state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/search/thread_set.h"

namespace listpool::sim {

// The states and steps met. Node 0 is the first state of every run.
struct StateGraph {
    static constexpr std::uint32_t kEnd = UINT32_MAX;  // the run ended here

    struct Step {
        int thread;
        std::uint32_t to;  // a node, or kEnd
    };
    struct Node {
        std::uint64_t hash;
        std::uint32_t labels;
        ThreadSet enabled;  // the threads that can go on
        std::vector<Step> steps;
    };

    std::vector<Node> nodes;
    // What the scene found wrong, where: a state its Check failed, which the
    // search goes no further from (thread -1); or the last state of a run
    // that failed and the thread whose step from it ended the run.
    struct Failure {
        std::uint32_t node;
        int thread;
        std::string what;
    };
    std::vector<Failure> failures;

    // Whether some run can go on for ever.
    bool HasCycle() const;
    // The number of schedules: paths from node 0 to an end. Infinite when
    // the graph has a cycle.
    double Schedules() const;
};

}  // namespace listpool::sim
