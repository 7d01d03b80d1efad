// A guard text made runnable: its four sequences as flat code that a
// simulated thread runs through the same platform calls, one step per call,
// as the compiled guard makes them, on a guard's memory. TextGuard
// (text_guard.h) is a guard that runs it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

// One instruction of the flat code. A thread stopped in a sequence is
// stopped at an instruction: its index is the thread's whole place in the
// text, since the code keeps nothing in locals between two calls (but the
// values an unguarded read has read, which the place holds too).
struct Instruction {
    enum Kind {
        kCall,    // a call on an object: statement.kind says which
        kChange,  // ++, -- or = on a counter
        kBranch,  // to `target` when the condition is false
        kJump,    // to `target`
        kReturn,  // out of the sequence
    };
    Kind kind = kReturn;
    const Statement* statement =
        nullptr;  // kCall, kChange: the statement; kBranch: the if or while
    int target = 0;
    Where at;
};

// How the code marks a thread's place. A scene whose threads mark their
// own places between the guard's sequences (the guard scenes) lets each
// call mark it afresh with the instruction; in a session, where a thread's
// place is every call it made, the instruction is added to that.
enum class Places { kMark, kAdd };

class GuardCode {
  public:
    explicit GuardCode(GuardText text);
    GuardCode(const GuardCode&) = delete;
    GuardCode& operator=(const GuardCode&) = delete;

    const GuardText& text() const { return text_; }
    const std::vector<Instruction>& code() const { return code_; }
    // The first instruction of each sequence.
    int Entry(SequenceName sequence) const { return entries_[sequence]; }

  private:
    void Block(const std::vector<Statement>& block, std::vector<int>& breaks);
    int Emit(Instruction instruction);

    GuardText text_;
    std::vector<Instruction> code_;
    int entries_[4] = {};
};

// A counter's value moved by `by`, wrapping as the machine does where C++
// would leave it undefined; and the sentence that tells a race on a
// counter, which ends with kRaceMark, by which the verdicts know it for a
// misuse. The compiled mutants' counters (tests/sim/checked_counter.h) say
// and do the same.
std::int32_t Moved(std::int32_t value, int by);
std::string RaceSentence(const std::string& counter, const std::string& mutex, bool write);
inline constexpr const char* kRaceMark = " (a race)";

// A guard's objects and counters as one guard text's code sees them, in the
// text's order (the guard's own four and readerCount first).
struct GuardMemory {
    std::vector<CSyncObject*> objects;
    std::vector<std::int32_t*> counters;
    // The first misuse a thread made of the guard (a race on a counter),
    // or "": a run goes on past it, so that what it allows can be played.
    std::string* problem = nullptr;
    // Where each thread is stopped in the text, by thread id; -1 outside.
    std::vector<int>* at = nullptr;
};

// Runs one sequence on the calling simulated thread. Throws
// std::runtime_error when a loop goes round many times without a call.
void RunSequence(const GuardCode& code, SequenceName sequence, GuardMemory& memory, Places places);

}  // namespace listpool::sim::guards
