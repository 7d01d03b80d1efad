// The state graph's nodes by their states' hashes, which the search looks
// up at every step it takes: one flat table probed in line, where a map of
// linked nodes would chase a pointer, often out of the cache, for each.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace listpool::sim {

class StateIndex {
  public:
    // The node of `hash`, and false; or, when it has none yet, `node`, now
    // its node, and true.
    std::pair<std::uint32_t, bool> FindOrAdd(std::uint64_t hash, std::uint32_t node) {
        if ((used_ + 1) * 4 > slots_.size() * 3) {
            Grow();
        }
        for (std::size_t at = Home(hash);; at = (at + 1) & (slots_.size() - 1)) {
            Slot& slot = slots_[at];
            if (slot.node == kFree) {
                slot = {hash, node};
                ++used_;
                return {node, true};
            }
            if (slot.hash == hash) {
                return {slot.node, false};
            }
        }
    }

  private:
    static constexpr std::uint32_t kFree = UINT32_MAX;
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t node = kFree;
    };

    // The hashes' high bits, mixed, pick the first slot to look at.
    std::size_t Home(std::uint64_t hash) const {
        return static_cast<std::size_t>((hash * 0x9e3779b97f4a7c15u) >> shift_);
    }

    void Grow() {
        std::vector<Slot> old(slots_.empty() ? 1024 : slots_.size() * 2);
        old.swap(slots_);
        shift_ = 64;
        for (std::size_t size = slots_.size(); size > 1; size >>= 1) {
            --shift_;
        }
        used_ = 0;
        for (const Slot& slot : old) {
            if (slot.node != kFree) {
                FindOrAdd(slot.hash, slot.node);
            }
        }
    }

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    int shift_ = 64;
};

}  // namespace listpool::sim
