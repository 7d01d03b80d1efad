#include "sim/guards/guard_code.h"

#include <stdexcept>

#include "platform/sim.h"
#include "platform/sim/hash.h"

namespace listpool::sim::guards {
namespace {

// A loop that goes round this often without a call would go round for ever:
// it reads nothing another thread can change.
constexpr int kMostIdleRounds = 1000;

// Tells a place in a text from the places a scene marks (small labels).
constexpr std::uint64_t kTextPlace = 0x67756172645f7478ULL;

std::string Line(Where at) {
    return "line " + std::to_string(at.line);
}

// One thread's run of one sequence.
class Runner {
  public:
    Runner(const GuardCode& code, GuardMemory& memory, Places places)
        : code_(code), memory_(memory), places_(places), thread_(CurrentThread()) {}

    void Run(int pc) {
        int idle = 0;
        for (;;) {
            const Instruction& in = code_.code()[static_cast<std::size_t>(pc)];
            pc_ = pc;
            accesses_ = 0;
            read_ = 0;
            switch (in.kind) {
                case Instruction::kCall:
                    last_ = 1 + static_cast<std::uint64_t>(Call(*in.statement));
                    idle = 0;
                    ++pc;
                    break;
                case Instruction::kChange:
                    Change(*in.statement);
                    ++pc;
                    break;
                case Instruction::kBranch:
                    pc = Holds(in.statement->condition) ? pc + 1 : in.target;
                    break;
                case Instruction::kJump:
                    if (in.target <= pc && ++idle > kMostIdleRounds) {
                        throw std::runtime_error(Line(in.at) +
                                                 ": the loop goes round without waiting");
                    }
                    pc = in.target;
                    break;
                case Instruction::kReturn:
                    Stand(-1);
                    return;
            }
        }
    }

  private:
    void Stand(int pc) {
        std::vector<int>& at = *memory_.at;
        const auto n = static_cast<std::size_t>(thread_);
        if (n >= at.size()) {
            at.resize(n + 1, -1);
        }
        at[n] = pc;
    }

    // Before each step: the thread's place is the instruction, what it has
    // read there unguarded, and the call it made last in the sequence. The
    // instruction alone would do, but with the last call the places are
    // those of the compiled guard, whose place is its last call, so that
    // the real guard's text gives its graph state for state.
    void Place(std::uint64_t step) {
        Stand(pc_);
        const std::uint64_t label =
            Fold(Fold(Fold(Fold(kTextPlace, static_cast<std::uint64_t>(pc_)), step), read_), last_);
        places_ == Places::kMark ? MarkPlace(label) : AddToPlace(label);
    }

    // Makes the call; yields it as the simulator names it. What the text
    // holds is the text's to get right, and the run checks it, not the
    // analysis.
    Op Call(const Statement& statement) NO_THREAD_SAFETY_ANALYSIS {
        Place(0);
        CSyncObject* object = memory_.objects[static_cast<std::size_t>(statement.object)];
        const bool mutex = code_.text().objects[static_cast<std::size_t>(statement.object)].mutex;
        switch (statement.kind) {
            case Statement::kLock:
                if (mutex) {
                    static_cast<CMutex*>(object)->Lock();
                    return Op::kLock;
                }
                static_cast<CEvent*>(object)->Lock();
                return Op::kEventLock;
            case Statement::kUnlock:
                static_cast<CMutex*>(object)->Unlock();
                return Op::kUnlock;
            case Statement::kSetEvent:
                static_cast<CEvent*>(object)->SetEvent();
                return Op::kSet;
            default:
                static_cast<CEvent*>(object)->ResetEvent();
                return Op::kReset;
        }
    }

    // A counter read or written without the mutex that guards it is a race:
    // said once, and each access a step of its own.
    void Touch(int counter, bool write, Where at) {
        const Counter& c = code_.text().counters[static_cast<std::size_t>(counter)];
        const CSyncObject* mutex = memory_.objects[static_cast<std::size_t>(c.guardedBy)];
        if (OwnerOf(mutex) == thread_) {
            return;
        }
        if (memory_.problem->empty()) {
            *memory_.problem =
                Line(at) + ": " +
                RaceSentence(c.name,
                             code_.text().objects[static_cast<std::size_t>(c.guardedBy)].name,
                             write);
        }
        Place(++accesses_);
        Access(memory_.counters[static_cast<std::size_t>(counter)]);
    }

    std::int32_t Read(int counter, Where at) {
        Touch(counter, false, at);
        const std::int32_t value = *memory_.counters[static_cast<std::size_t>(counter)];
        read_ = Fold(read_, static_cast<std::uint32_t>(value));
        return value;
    }

    void Write(int counter, std::int32_t value, Where at) {
        Touch(counter, true, at);
        *memory_.counters[static_cast<std::size_t>(counter)] = value;
    }

    std::int32_t Value(const Operand& operand) {
        switch (operand.kind) {
            case Operand::kNumber:
                return operand.number;
            case Operand::kCounter:
                return Read(operand.counter, operand.at);
            case Operand::kPreIncrement:
            case Operand::kPreDecrement: {
                const std::int32_t value = Moved(Read(operand.counter, operand.at),
                                                 operand.kind == Operand::kPreIncrement ? 1 : -1);
                Write(operand.counter, value, operand.at);
                return value;
            }
            default: {
                const std::int32_t value = Read(operand.counter, operand.at);
                Write(operand.counter,
                      Moved(value, operand.kind == Operand::kPostIncrement ? 1 : -1), operand.at);
                return value;
            }
        }
    }

    bool Holds(const Condition& condition) {
        switch (condition.kind) {
            case Condition::kAnd:
                return Holds(condition.operands[0]) && Holds(condition.operands[1]);
            case Condition::kOr:
                return Holds(condition.operands[0]) || Holds(condition.operands[1]);
            case Condition::kNot:
                return !Holds(condition.operands[0]);
            case Condition::kCompare:
                break;
        }
        const std::int32_t left = Value(condition.left);
        const std::int32_t right = Value(condition.right);
        switch (condition.compare) {
            case Condition::kEqual:
                return left == right;
            case Condition::kNotEqual:
                return left != right;
            case Condition::kLess:
                return left < right;
            case Condition::kLessOrEqual:
                return left <= right;
            case Condition::kGreater:
                return left > right;
            default:
                return left >= right;
        }
    }

    void Change(const Statement& statement) {
        if (statement.kind == Statement::kAssign) {
            Write(statement.counter, Value(statement.value), statement.at);
        } else {
            Write(statement.counter,
                  Moved(Read(statement.counter, statement.at),
                        statement.kind == Statement::kIncrement ? 1 : -1),
                  statement.at);
        }
    }

    const GuardCode& code_;
    GuardMemory& memory_;
    const Places places_;
    const int thread_;
    int pc_ = 0;
    std::uint64_t accesses_ = 0;  // unguarded, in this instruction
    std::uint64_t read_ = 0;      // the values read unguarded in it
    std::uint64_t last_ = 0;      // the last call made, 0 before the first
};

}  // namespace

std::int32_t Moved(std::int32_t value, int by) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) +
                                     static_cast<std::uint32_t>(by));
}

std::string RaceSentence(const std::string& counter, const std::string& mutex, bool write) {
    return counter + " is " + (write ? "written" : "read") + " without " + mutex +
           ", which guards it" + kRaceMark;
}

GuardCode::GuardCode(GuardText text) : text_(std::move(text)) {
    for (int s = 0; s < 4; ++s) {
        entries_[s] = static_cast<int>(code_.size());
        std::vector<int> breaks;  // none: break is refused outside a loop
        Block(text_.sequences[static_cast<std::size_t>(s)].body, breaks);
        Emit({Instruction::kReturn, nullptr, 0, text_.sequences[static_cast<std::size_t>(s)].at});
    }
}

int GuardCode::Emit(Instruction instruction) {
    code_.push_back(instruction);
    return static_cast<int>(code_.size()) - 1;
}

void GuardCode::Block(const std::vector<Statement>& block, std::vector<int>& breaks) {
    const auto here = [this] { return static_cast<int>(code_.size()); };
    for (const Statement& s : block) {
        switch (s.kind) {
            case Statement::kLock:
            case Statement::kUnlock:
            case Statement::kSetEvent:
            case Statement::kResetEvent:
                Emit({Instruction::kCall, &s, 0, s.at});
                break;
            case Statement::kIncrement:
            case Statement::kDecrement:
            case Statement::kAssign:
                Emit({Instruction::kChange, &s, 0, s.at});
                break;
            case Statement::kIf: {
                const int branch = Emit({Instruction::kBranch, &s, 0, s.at});
                Block(s.body, breaks);
                if (s.orElse.empty()) {
                    code_[static_cast<std::size_t>(branch)].target = here();
                } else {
                    const int jump = Emit({Instruction::kJump, nullptr, 0, s.at});
                    code_[static_cast<std::size_t>(branch)].target = here();
                    Block(s.orElse, breaks);
                    code_[static_cast<std::size_t>(jump)].target = here();
                }
                break;
            }
            case Statement::kWhile:
            case Statement::kForEver: {
                const int top = here();
                const int branch =
                    s.kind == Statement::kWhile ? Emit({Instruction::kBranch, &s, 0, s.at}) : -1;
                std::vector<int> inner;
                Block(s.body, inner);
                Emit({Instruction::kJump, nullptr, top, s.at});
                if (branch >= 0) {
                    code_[static_cast<std::size_t>(branch)].target = here();
                }
                for (const int b : inner) {
                    code_[static_cast<std::size_t>(b)].target = here();
                }
                break;
            }
            case Statement::kBreak:
                breaks.push_back(Emit({Instruction::kJump, nullptr, 0, s.at}));
                break;
            case Statement::kReturn:
                Emit({Instruction::kReturn, nullptr, 0, s.at});
                break;
        }
    }
}

void RunSequence(const GuardCode& code, SequenceName sequence, GuardMemory& memory, Places places) {
    Runner(code, memory, places).Run(code.Entry(sequence));
}

}  // namespace listpool::sim::guards
