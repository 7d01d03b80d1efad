// The one way the simulator and its tools fold values into a 64-bit hash:
// the simulator's state, a thread's place, a scene's memory.
#pragma once

#include <cstdint>
#include <string_view>

namespace listpool::sim {

// Folds a value into a hash (splitmix64's finaliser over the sum); the order
// of the values counts.
inline std::uint64_t Fold(std::uint64_t hash, std::uint64_t value) {
    std::uint64_t z = hash + 0x9e3779b97f4a7c15ULL + value * 0xff51afd7ed558ccdULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// Folds bytes into a hash, their length first, so that two strings one
// after the other are told from their concatenation.
inline std::uint64_t FoldBytes(std::uint64_t hash, std::string_view bytes) {
    hash = Fold(hash, bytes.size());
    for (const char c : bytes) {
        hash = hash * 0x100000001b3ULL ^ static_cast<unsigned char>(c);
    }
    return Fold(hash, 0);
}

}  // namespace listpool::sim
