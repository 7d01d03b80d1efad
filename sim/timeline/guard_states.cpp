#include "sim/timeline/guard_states.h"

#include <iterator>
#include <set>
#include <utility>

namespace listpool::sim {
namespace {

// What a thread waiting at each part does, by part.
constexpr Activity kWaitsAt[] = {Activity::kCountMutex, Activity::kWriterTurn,
                                 Activity::kReadersLeave, Activity::kGate};
static_assert(std::size(kWaitsAt) == kPartCount);

// A writer is entering from closing a guard's gate until it is inside.
struct Entering {
    std::string guard;
    int thread;
    std::uint64_t begin;
    std::uint64_t end;
};

// The guard's states, from the sections inside it and the writers entering.
std::vector<GuardSpan> StatesOf(const std::string& guard, const std::vector<Section>& sections,
                                const std::vector<Entering>& entering, std::uint64_t end) {
    std::set<std::uint64_t> points = {0, end};
    for (const Section& s : sections) {
        if (s.guard == guard) {
            points.insert({s.begin, s.end});
        }
    }
    for (const Entering& e : entering) {
        if (e.guard == guard) {
            points.insert({e.begin, e.end});
        }
    }
    std::vector<GuardSpan> spans;
    for (auto next = points.begin(); next != points.end() && *next < end;) {
        const std::uint64_t from = *next++;
        const std::uint64_t to = *next;
        GuardSpan span{guard, GuardState::kIdle, 0, -1, from, to};
        for (const Section& s : sections) {
            if (s.guard == guard && s.begin <= from && s.end >= to && s.write) {
                span.state = GuardState::kWriteHeld;
                span.writer = s.thread;
            } else if (s.guard == guard && s.begin <= from && s.end >= to) {
                ++span.readers;
            }
        }
        for (const Entering& e : entering) {
            if (e.guard == guard && e.begin <= from && e.end >= to &&
                span.state != GuardState::kWriteHeld && span.writer < 0) {
                span.state = GuardState::kEntering;
                span.writer = e.thread;
            }
        }
        if (span.state == GuardState::kIdle && span.readers > 0) {
            span.state = GuardState::kReadHeld;
        }
        GuardSpan* last = spans.empty() ? nullptr : &spans.back();
        if (last != nullptr && last->state == span.state && last->readers == span.readers &&
            last->writer == span.writer) {
            last->end = to;
        } else {
            spans.push_back(span);
        }
    }
    return spans;
}

// The object's states from 0 to end, from the calls on it.
std::vector<ObjectSpan> StatesOf(GuardObject name, bool mutex, const std::vector<Call>& calls,
                                 std::uint64_t end) {
    std::vector<ObjectSpan> spans = {{name, mutex, -1, !mutex, 0, end}};
    for (const Call& call : calls) {
        ObjectSpan& last = spans.back();
        int holder = last.holder;
        bool signalled = last.signalled;
        if (call.object != name) {
            continue;
        } else if (mutex && (call.op == Op::kLock || call.op == Op::kUnlock)) {
            holder = call.op == Op::kLock ? call.thread : -1;
        } else if (!mutex && (call.op == Op::kSet || call.op == Op::kReset)) {
            signalled = call.op == Op::kSet;
        }
        if (holder == last.holder && signalled == last.signalled) {
            continue;
        }
        if (last.begin == call.at) {
            // The state before lasted no time.
            spans.pop_back();
            if (!spans.empty() && spans.back().holder == holder &&
                spans.back().signalled == signalled) {
                spans.back().end = end;
                continue;
            }
        } else {
            last.end = call.at;
        }
        spans.push_back(
            {name, mutex, holder, signalled, spans.empty() ? 0 : spans.back().end, end});
    }
    return spans;
}

}  // namespace

Activity ActivityOf(GuardObject object) {
    return object.known() ? kWaitsAt[object.part] : Activity::kOther;
}

std::vector<GuardSpan> GuardStates(const std::vector<std::string>& guards,
                                   const std::vector<Section>& sections,
                                   const std::vector<Call>& calls, std::uint64_t end) {
    std::vector<Entering> entering;
    for (std::size_t n = 0; n < calls.size(); ++n) {
        const Call& closed = calls[n];
        if (closed.op != Op::kReset || !closed.object.is(kGateEvent)) {
            continue;
        }
        const std::string& guard = guards.at(static_cast<std::size_t>(closed.object.guard));
        Entering e{guard, closed.thread, closed.at, end};
        for (const Section& s : sections) {
            if (s.guard == guard && s.thread == closed.thread && s.write && s.begin >= closed.at) {
                e.end = s.begin;
                break;
            }
        }
        for (std::size_t later = n + 1; later < calls.size() && calls[later].at < e.end; ++later) {
            if (calls[later].op == Op::kSet && calls[later].object == closed.object) {
                e.end = calls[later].at;
                break;
            }
        }
        entering.push_back(e);
    }
    std::vector<GuardSpan> states;
    for (const std::string& guard : guards) {
        const std::vector<GuardSpan> spans = StatesOf(guard, sections, entering, end);
        states.insert(states.end(), spans.begin(), spans.end());
    }
    return states;
}

std::vector<ObjectSpan> ObjectStates(const std::vector<std::string>& guards,
                                     const std::vector<Call>& calls, std::uint64_t end) {
    std::vector<ObjectSpan> states;
    for (int guard = 0; guard < static_cast<int>(guards.size()); ++guard) {
        for (int row = 0; row < kPartCount; ++row) {
            for (int part = 0; part < kPartCount; ++part) {
                if (kGuardParts[part].row == row) {
                    const std::vector<ObjectSpan> spans =
                        StatesOf({guard, part}, kGuardParts[part].mutex, calls, end);
                    states.insert(states.end(), spans.begin(), spans.end());
                }
            }
        }
    }
    return states;
}

// An object's span from step b to e is its state after steps b to e - 1,
// so before steps b + 1 to e.
std::vector<Band> WhileTaken(const Band& wait, GuardObject object,
                             const std::vector<ObjectSpan>& objects) {
    std::vector<Band> pieces;
    for (const ObjectSpan& span : objects) {
        const std::uint64_t from = std::max(span.begin + (span.begin > 0), wait.begin);
        const std::uint64_t to = std::min(span.end + 1, wait.end);
        if (span.object != object || from >= to) {
            continue;
        }
        const bool taken = span.mutex ? span.holder >= 0 : !span.signalled;
        Band piece = wait;
        piece.activity = taken ? wait.activity : Activity::kRunning;
        piece.on = taken ? wait.on : "";
        if (!pieces.empty() && pieces.back().activity == piece.activity) {
            pieces.back().end = to;
            continue;
        }
        piece.begin = from;
        piece.end = to;
        pieces.push_back(piece);
    }
    if (pieces.empty()) {
        pieces.push_back(wait);
    }
    return pieces;
}

}  // namespace listpool::sim
