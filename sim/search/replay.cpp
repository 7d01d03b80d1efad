#include "sim/search/replay.h"

#include "platform/sim/hash.h"
#include "platform/sim/strategies.h"

namespace listpool::sim {

Replayed Replay(SearchScene& scene, const std::vector<int>& choices) {
    scene.WarmUp();
    Replayed replayed;
    StopChooser stop;
    ReplayChooser replay(choices, stop, [&](const std::vector<int>& enabled, int thread) {
        if (replayed.failure.empty()) {
            replayed.failure = scene.Check();
        }
        if (enabled.size() > 1) {
            replayed.states.push_back(Fold(StateHash(), scene.State()));
            if (thread < 0) {
                return thread;
            }
            replayed.labels.push_back(~0u);
        }
        if (!replayed.labels.empty()) {
            replayed.labels.back() &= scene.Labels();
        }
        return thread;
    });
    Options options;
    options.chooser = &replay;
    const Outcome outcome = scene.Play(options);
    if (replayed.failure.empty()) {
        replayed.failure = scene.Failure(outcome, outcome.ending == Ending::kStopped);
    }
    return replayed;
}

}  // namespace listpool::sim
