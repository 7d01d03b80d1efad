#include "platform/sim/strategies.h"

namespace listpool::sim {

int RecordingChooser::Choose(const std::vector<int>& enabled, int current) {
    const int chosen = inner_.Choose(enabled, current);
    if (enabled.size() > 1 && chosen >= 0) {
        choices_.push_back({current, enabled, chosen});
    }
    return chosen;
}

std::vector<int> RecordingChooser::chosen() const {
    std::vector<int> threads;
    threads.reserve(choices_.size());
    for (const Choice& choice : choices_) {
        threads.push_back(choice.chosen);
    }
    return threads;
}

}  // namespace listpool::sim
