// A counter of a guard text's C++ (WriteCxx's `counter`), for the mutants'
// check: each read and each write of it made by a thread that does not hold
// its mutex is a race, told once and made a step of its own, as the
// interpreter makes it, so that a mutant compiled and the same mutant
// interpreted stop at the same state.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/sim.h"
#include "platform/sim/hash.h"
#include "platform/sync.h"
#include "sim/guards/guard_code.h"

namespace listpool::sim::guards {

class CheckedCounter {
  public:
    CheckedCounter(std::int32_t value, CMutex* const& mutex, std::string& problem, const char* name,
                   const char* mutexName)
        : value_(value), mutex_(mutex), problem_(problem), name_(name), mutexName_(mutexName) {}
    CheckedCounter(const CheckedCounter&) = delete;

    operator std::int32_t() { return Read(); }
    CheckedCounter& operator=(std::int32_t value) {
        Write(value);
        return *this;
    }
    CheckedCounter& operator=(CheckedCounter& other) {
        Write(other.Read());
        return *this;
    }
    std::int32_t operator++() { return Write(Moved(Read(), 1)); }
    std::int32_t operator--() { return Write(Moved(Read(), -1)); }
    std::int32_t operator++(int) {
        const std::int32_t before = Read();
        Write(Moved(before, 1));
        return before;
    }
    std::int32_t operator--(int) {
        const std::int32_t before = Read();
        Write(Moved(before, -1));
        return before;
    }

    // The value as it stands, unchecked: for a scene's state between steps.
    std::int32_t Value() const { return value_; }
    static std::uint64_t Hash(const std::string& problem,
                              std::initializer_list<std::int32_t> values) {
        std::uint64_t hash = problem.empty() ? 0 : 1;
        for (const std::int32_t value : values) {
            hash = Fold(hash, static_cast<std::uint32_t>(value));
        }
        return hash;
    }

  private:
    void Touch(bool write) {
        if (OwnerOf(mutex_) == CurrentThread()) {
            return;
        }
        if (problem_.empty()) {
            problem_ = RaceSentence(name_, mutexName_, write);
        }
        Access(this);
    }
    std::int32_t Read() {
        Touch(false);
        return value_;
    }
    std::int32_t Write(std::int32_t value) {
        Touch(true);
        return value_ = value;
    }

    std::int32_t value_;
    CMutex* const& mutex_;
    std::string& problem_;
    const char* name_;
    const char* mutexName_;
};

}  // namespace listpool::sim::guards
