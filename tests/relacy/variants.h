// The variants of the mutex and the event that the check runs: the shipped
// orders, and the positive controls, generated from them. Each control is the
// shipped algorithms with one operation's memory order made the next weaker
// one, or with one word operation broken (FaultyWord); each names the check
// that must catch it and relacy's verdict there. An order that is already
// relaxed has no weaker one, and no control.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "tests/relacy/backend.h"

namespace listpool::rlcheck {

using futex::EventOrders;
using futex::MutexOrders;

// A check, and how relacy searches it; bound is the context bound, for
// relacy's context-bound scheduler only.
struct Check {
    const char* name;
    bool (*run)(rl::test_params&);
    rl::scheduler_type_e search;
    unsigned bound;
};

// A positive control: a variant, the check that must catch it, and relacy's
// verdict there.
struct Control {
    std::string name;
    Primitives primitives;
    const char* check;
    rl::test_result_e expected;
};

enum class Access { kLoad, kStore, kReadModifyWrite };

// The next weaker order for the access: sequentially consistent to acquire
// (a load), release (a store) or acquire-release (a read-modify-write);
// acquire-release to acquire; acquire or release to relaxed.
constexpr std::memory_order Weaker(std::memory_order order, Access access) {
    switch (order) {
        case std::memory_order_seq_cst:
            return access == Access::kLoad    ? std::memory_order_acquire
                   : access == Access::kStore ? std::memory_order_release
                                              : std::memory_order_acq_rel;
        case std::memory_order_acq_rel:
            return std::memory_order_acquire;
        default:
            return std::memory_order_relaxed;
    }
}

inline const char* OrderName(std::memory_order order) {
    return rl::format(RlOrder(order));
}

// One operation's order in Orders, and what weakening it must fail.
template <class Orders>
struct Field {
    const char* name;
    std::memory_order Orders::*order;
    Access access;
    const char* check;
    rl::test_result_e expected;
};

constexpr Field<MutexOrders> kMutexFields[] = {
    {"Mutex take_at_once", &MutexOrders::take_at_once, Access::kReadModifyWrite, "mutex.2threads",
     rl::test_result_data_race},
    {"Mutex look", &MutexOrders::look, Access::kLoad, nullptr, rl::test_result_success},
    {"Mutex take_after_look", &MutexOrders::take_after_look, Access::kReadModifyWrite,
     "mutex.2threads", rl::test_result_data_race},
    {"Mutex mark", &MutexOrders::mark, Access::kReadModifyWrite, "mutex.2threads",
     rl::test_result_data_race},
    {"Mutex sleep", &MutexOrders::sleep, Access::kLoad, nullptr, rl::test_result_success},
    {"Mutex give_back", &MutexOrders::give_back, Access::kReadModifyWrite, "mutex.2threads",
     rl::test_result_data_race},
};

constexpr Field<EventOrders> kEventFields[] = {
    {"Event first_look", &EventOrders::first_look, Access::kLoad, "event.2threads",
     rl::test_result_data_race},
    {"Event count_in", &EventOrders::count_in, Access::kReadModifyWrite, "event.2threads",
     rl::test_result_deadlock},
    {"Event second_look", &EventOrders::second_look, Access::kLoad, "event.2threads",
     rl::test_result_deadlock},
    {"Event sleep", &EventOrders::sleep, Access::kLoad, nullptr, rl::test_result_success},
    {"Event count_out", &EventOrders::count_out, Access::kReadModifyWrite, nullptr,
     rl::test_result_success},
    {"Event signal", &EventOrders::signal, Access::kStore, "event.2threads",
     rl::test_result_deadlock},
    {"Event look_for_waiters", &EventOrders::look_for_waiters, Access::kLoad, "event.2threads",
     rl::test_result_deadlock},
    {"Event reset_look", &EventOrders::reset_look, Access::kLoad, nullptr, rl::test_result_success},
    {"Event reset", &EventOrders::reset, Access::kStore, nullptr, rl::test_result_success},
};

template <class Orders>
constexpr Orders Weakened(const Field<Orders>& field) {
    Orders orders{};
    orders.*field.order = Weaker(orders.*field.order, field.access);
    return orders;
}

template <std::size_t kIndex>
constexpr Primitives kMutexWeakened =
    MakePrimitives<Weakened(kMutexFields[kIndex]), EventOrders{}>();
template <std::size_t kIndex>
constexpr Primitives kEventWeakened =
    MakePrimitives<MutexOrders{}, Weakened(kEventFields[kIndex])>();

constexpr Primitives kShipped = MakePrimitives<MutexOrders{}, EventOrders{}>();
template <class Orders, std::size_t kCount>
constexpr std::size_t IndexOf(const Field<Orders> (&fields)[kCount],
                              std::memory_order Orders::*order) {
    std::size_t index = 0;
    while (fields[index].order != order) {
        ++index;
    }
    return index;
}

// The mutex whose Unlock gives back without release, for the guard's check.
constexpr Primitives kMutexGiveBackRelaxed =
    kMutexWeakened<IndexOf(kMutexFields, &MutexOrders::give_back)>;

template <class Orders>
void AddWeakening(std::vector<Control>& controls, const Field<Orders>& field,
                  const Primitives& primitives) {
    const std::memory_order shipped = Orders{}.*field.order;
    if (shipped == std::memory_order_relaxed) {
        return;
    }
    controls.push_back({std::string(field.name) + " " + OrderName(shipped) + " -> " +
                            OrderName(Weaker(shipped, field.access)),
                        primitives, field.check, field.expected});
}

template <std::size_t... kMutex, std::size_t... kEvent>
std::vector<Control> Weakenings(std::index_sequence<kMutex...>, std::index_sequence<kEvent...>) {
    std::vector<Control> controls;
    (AddWeakening(controls, kMutexFields[kMutex], kMutexWeakened<kMutex>), ...);
    (AddWeakening(controls, kEventFields[kEvent], kEventWeakened<kEvent>), ...);
    return controls;
}

template <WordFault kFault>
constexpr Primitives kFaulty = MakePrimitives<MutexOrders{}, EventOrders{}, FaultyWord<kFault>>();

inline std::vector<Control> Controls() {
    std::vector<Control> controls = Weakenings(std::make_index_sequence<std::size(kMutexFields)>(),
                                               std::make_index_sequence<std::size(kEventFields)>());
    controls.push_back({"Mutex unlock: look, then store 0", kFaulty<WordFault::kFreeInTwoSteps>,
                        "mutex.2threads", rl::test_result_deadlock});
    controls.push_back({"Event notify_all wakes one", kFaulty<WordFault::kNotifyAllWakesOne>,
                        "event.3threads", rl::test_result_deadlock});
    controls.push_back({"Event reset writes nothing", kFaulty<WordFault::kResetWritesNothing>,
                        "reset.2threads", rl::test_result_user_assert_failed});
    return controls;
}

}  // namespace listpool::rlcheck
