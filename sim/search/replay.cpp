#include "sim/search/replay.h"

#include "platform/sim/hash.h"

namespace listpool::sim {
namespace {

class Replayer final : public Chooser {
  public:
    Replayer(SearchScene& scene, const std::vector<int>& choices, Replayed& replayed)
        : scene_(scene), choices_(choices), replayed_(replayed) {}

    int Choose(const std::vector<int>& enabled, int) override {
        if (replayed_.failure.empty()) {
            replayed_.failure = scene_.Check();
        }
        if (enabled.size() > 1) {
            replayed_.states.push_back(Fold(StateHash(), scene_.State()));
            if (replayed_.states.size() > choices_.size()) {
                return -1;
            }
            replayed_.labels.push_back(~0u);
        }
        if (!replayed_.labels.empty()) {
            replayed_.labels.back() &= scene_.Labels();
        }
        return enabled.size() > 1 ? choices_[replayed_.states.size() - 1] : enabled.front();
    }

  private:
    SearchScene& scene_;
    const std::vector<int>& choices_;
    Replayed& replayed_;
};

}  // namespace

Replayed Replay(SearchScene& scene, const std::vector<int>& choices) {
    scene.Play({});  // makes the objects that outlive runs, as the search does
    Replayed replayed;
    Replayer replayer(scene, choices, replayed);
    Options options;
    options.chooser = &replayer;
    const Outcome outcome = scene.Play(options);
    if (replayed.failure.empty()) {
        replayed.failure = scene.Failure(outcome, outcome.ending == Ending::kStopped);
    }
    return replayed;
}

}  // namespace listpool::sim
