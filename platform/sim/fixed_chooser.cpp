#include "platform/sim/strategies.h"

namespace listpool::sim {

int FixedChooser::Choose(const std::vector<int>& enabled, int current) {
    return current >= 0 ? current : enabled.front();
}

}  // namespace listpool::sim
