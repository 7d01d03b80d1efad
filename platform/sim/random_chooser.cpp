#include "platform/sim/strategies.h"

namespace listpool::sim {

int RandomChooser::Choose(const std::vector<int>& enabled, int current) {
    if (enabled.size() == 1) {
        return enabled.front();
    }
    (void)current;
    return enabled[random_() % enabled.size()];
}

}  // namespace listpool::sim
