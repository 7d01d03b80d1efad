#include "platform/sim/strategies.h"

namespace listpool::sim {

int ReplayChooser::Choose(const std::vector<int>& enabled, int current) {
    int thread = enabled.front();
    if (next_ == choices_.size()) {
        thread = then_.Choose(enabled, current);
    } else if (enabled.size() > 1) {
        thread = choices_[next_++];
    }
    return hook_ ? hook_(enabled, thread) : thread;
}

}  // namespace listpool::sim
