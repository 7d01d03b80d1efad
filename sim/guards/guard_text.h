// A guard text: a reader-writer guard's four sequences written by a learner
// in the small part of C++ that store/read_write_guard.cpp is written in,
// read into a tree that the interpreter (guard_code.h) runs and the mutants'
// generator writes back out as C++.
//
// A text holds, in any order, declarations of the guard's further objects
// and counters, and the four functions:
//
//   CMutex* turnstile;                               // a mutex, made free
//   CEvent* doorEvent = new CEvent(false);           // an event, made reset
//   CEvent* openEvent;                               // ... or set, as CEvent makes it
//   std::int32_t waiting GUARDED_BY(countMutex) = 0; // a counter and its mutex
//   void ReadWriteGuard::ReaderArrives() { ... }     // or void ReaderArrives() { ... }
//
// The guard's own four objects and readerCount are declared already, as
// ReadWriteGuard declares them. A block { ... } standing as a statement is
// read into the block around it; a lone `;`, a `!` not before a bracket or
// another `!`, and a comparison that changes a counter and reads it too
// (undefined in C++) are refused, as is a number with a leading zero (C++
// would read it as octal). Anything the language does not have is
// refused at its line and column with a sentence that says what may stand
// there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace listpool::sim::guards {

// A place in the text: lines and columns from 1, columns in bytes.
struct Where {
    int line = 0;
    int column = 0;
};

// The untrusted text's bounds: a text past them is refused.
inline constexpr std::size_t kMaxTextBytes = 20'000;
inline constexpr int kMaxStatementsPerSequence = 64;  // counting nested ones
inline constexpr int kMaxNesting = 8;                 // blocks inside blocks
inline constexpr int kMaxConditionDepth = 16;         // a condition's operators and brackets
inline constexpr int kMaxMoreObjects = 4;             // beyond the guard's four
inline constexpr int kMaxMoreCounters = 2;            // beyond readerCount

struct Object {
    std::string name;
    bool mutex = true;      // a CMutex; else a CEvent
    bool startsSet = true;  // an event only
    Where at;               // its declaration; line 0 for the guard's own
};

struct Counter {
    std::string name;
    int guardedBy = 0;  // the index in GuardText::objects of its mutex
    std::int32_t initial = 0;
    Where at;
};

// What a condition compares: a number, a counter, or a counter changed by
// ++ or -- before (prefix) or after (postfix) it is read.
struct Operand {
    enum Kind { kNumber, kCounter, kPreIncrement, kPreDecrement, kPostIncrement, kPostDecrement };
    Kind kind = kNumber;
    std::int32_t number = 0;  // kNumber
    int counter = -1;         // the others: an index in GuardText::counters
    Where at;
};

struct Condition {
    enum Kind { kCompare, kAnd, kOr, kNot };
    enum Compare { kEqual, kNotEqual, kLess, kLessOrEqual, kGreater, kGreaterOrEqual };
    Kind kind = kCompare;
    Compare compare = kEqual;  // kCompare
    Operand left, right;       // kCompare
    // kAnd and kOr: both sides, evaluated left first and only as C++ does;
    // kNot: the one.
    std::vector<Condition> operands;
    Where at;
};

struct Statement {
    enum Kind {
        kLock,        // X->Lock(); on a mutex or an event
        kUnlock,      // X->Unlock(); a mutex
        kSetEvent,    // X->SetEvent();
        kResetEvent,  // X->ResetEvent();
        kIncrement,   // ++n; (or n++;)
        kDecrement,   // --n; (or n--;)
        kAssign,      // n = k; (a number or a counter)
        kIf,          // if (c) { body } else { orElse }; else if as C++ nests it
        kWhile,       // while (c) { body }
        kForEver,     // for (;;) { body }
        kBreak,       // the innermost loop's
        kReturn,
    };
    Kind kind = kReturn;
    int object = -1;      // the calls: an index in GuardText::objects
    int counter = -1;     // the counters' statements
    Operand value;        // kAssign
    Condition condition;  // kIf, kWhile
    std::vector<Statement> body, orElse;
    Where at;  // where the statement begins
};

// The four sequences, in this order: what ReadWriteGuard's entries call.
enum SequenceName { kReaderArrives, kReaderLeaves, kWriterArrives, kWriterLeaves };
inline constexpr const char* kSequenceFunctions[] = {"ReaderArrives", "ReaderLeaves",
                                                     "WriterArrives", "WriterLeaves"};

struct Sequence {
    std::vector<Statement> body;
    Where at;  // where its function begins
};

struct GuardText {
    // The guard's four first, as ReadWriteGuard declares them (countMutex,
    // writerMutex, noReadersEvent, gateEvent), then the text's own.
    std::vector<Object> objects;
    // readerCount (guarded by countMutex) first, then the text's own.
    std::vector<Counter> counters;
    std::array<Sequence, 4> sequences;
};

struct TextError {
    Where at;
    std::string message;  // a sentence: what was found, and what may stand there
};

// Reads a guard text. Never throws for any bytes of `text`: what it cannot
// take is a TextError.
std::variant<GuardText, TextError> ReadGuardText(std::string_view text);

// "line 3, column 5: ..." for an error.
std::string Describe(const TextError& error);

}  // namespace listpool::sim::guards
