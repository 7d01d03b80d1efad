#include "platform/sim/strategies.h"

namespace listpool::sim {

int ReplayChooser::Choose(const std::vector<int>& enabled, int current) {
    if (enabled.size() > 1 && next_ < choices_.size()) {
        return choices_[next_++];
    }
    return then_.Choose(enabled, current);
}

}  // namespace listpool::sim
