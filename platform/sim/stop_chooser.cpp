#include "platform/sim/strategies.h"

namespace listpool::sim {

int StopChooser::Choose(const std::vector<int>& enabled, int) {
    return enabled.size() == 1 ? enabled.front() : -1;
}

}  // namespace listpool::sim
