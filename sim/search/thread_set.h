// A set of threads by id, with no limit on the ids: a session may start
// any number of threads. The first 64 ids take one word held inline, so
// the small sets of most scenes cost no allocation; higher ids go to words
// on the heap.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace listpool::sim {

class ThreadSet {
  public:
    ThreadSet() = default;
    explicit ThreadSet(const std::vector<int>& threads) {
        for (const int thread : threads) {
            Insert(thread);
        }
    }

    void Insert(int thread) {
        const auto id = static_cast<std::size_t>(thread);
        if (id < kBits) {
            low_ |= std::uint64_t{1} << id;
            return;
        }
        const std::size_t word = id / kBits - 1;
        if (high_.size() <= word) {
            high_.resize(word + 1, 0);
        }
        high_[word] |= std::uint64_t{1} << (id % kBits);
    }

    bool Contains(int thread) const {
        const auto id = static_cast<std::size_t>(thread);
        return id < kBits ? (low_ >> id & 1) != 0 : (Word(id / kBits) >> (id % kBits) & 1) != 0;
    }

    std::size_t Count() const {
        std::size_t count = static_cast<std::size_t>(std::popcount(low_));
        for (const std::uint64_t word : high_) {
            count += static_cast<std::size_t>(std::popcount(word));
        }
        return count;
    }

    bool Empty() const { return low_ == 0 && high_.empty(); }

    // Every thread of either set.
    ThreadSet& operator|=(const ThreadSet& other) {
        low_ |= other.low_;
        if (high_.size() < other.high_.size()) {
            high_.resize(other.high_.size(), 0);
        }
        for (std::size_t w = 0; w < other.high_.size(); ++w) {
            high_[w] |= other.high_[w];
        }
        return *this;
    }

    // The threads of this set that are not in `other`.
    ThreadSet operator-(const ThreadSet& other) const {
        ThreadSet rest = *this;
        rest.low_ &= ~other.low_;
        for (std::size_t w = 0; w < rest.high_.size() && w < other.high_.size(); ++w) {
            rest.high_[w] &= ~other.high_[w];
        }
        rest.Trim();
        return rest;
    }

    // The words past the inline one never end in zero, so equal sets hold
    // equal members.
    bool operator==(const ThreadSet&) const = default;

    // Calls `visit` with every thread, in ascending order.
    template <typename Visit>
    void ForEach(Visit visit) const {
        for (std::size_t w = 0; w <= high_.size(); ++w) {
            for (std::uint64_t bits = Word(w); bits != 0; bits &= bits - 1) {
                visit(static_cast<int>(w * kBits) + std::countr_zero(bits));
            }
        }
    }

  private:
    static constexpr std::size_t kBits = 64;

    // The word of ids [64 w, 64 w + 64).
    std::uint64_t Word(std::size_t w) const {
        return w == 0 ? low_ : w - 1 < high_.size() ? high_[w - 1] : 0;
    }

    void Trim() {
        while (!high_.empty() && high_.back() == 0) {
            high_.pop_back();
        }
    }

    std::uint64_t low_ = 0;
    std::vector<std::uint64_t> high_;
};

}  // namespace listpool::sim
