#include <algorithm>

#include "platform/sim/strategies.h"

namespace listpool::sim {

PctChooser::PctChooser(std::uint64_t seed, PctParameters parameters) : random_(seed) {
    const std::uint64_t points = std::max<std::uint64_t>(parameters.points, 1);
    const std::uint64_t drops =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max(parameters.drops, 0)), points);
    while (dropPoints_.size() < drops) {
        const std::uint64_t point = 1 + random_() % points;
        if (std::find(dropPoints_.begin(), dropPoints_.end(), point) == dropPoints_.end()) {
            dropPoints_.push_back(point);
        }
    }
}

int PctChooser::Choose(const std::vector<int>& enabled, int) {
    if (enabled.size() == 1) {
        return enabled.front();
    }
    ++point_;
    // Threads get their priorities in start order, above every drop's.
    const auto highest =
        static_cast<std::size_t>(*std::max_element(enabled.begin(), enabled.end()));
    while (priorities_.size() <= highest) {
        priorities_.push_back(dropPoints_.size() + 1 + random_() % 1'000'000);
    }
    auto top = [&] {
        return *std::max_element(enabled.begin(), enabled.end(), [&](int a, int b) {
            return priorities_[static_cast<std::size_t>(a)] <
                   priorities_[static_cast<std::size_t>(b)];
        });
    };
    for (std::size_t drop = 0; drop < dropPoints_.size(); ++drop) {
        if (dropPoints_[drop] == point_) {
            priorities_[static_cast<std::size_t>(top())] = drop;
        }
    }
    return top();
}

}  // namespace listpool::sim
