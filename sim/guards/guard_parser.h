// The reader's parser, shared by its three files: guard_text.cpp reads the
// text's top level and its functions, guard_declarations.cpp its
// declarations, guard_statements.cpp the functions' bodies.
// Only ReadGuardText uses it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/guards/guard_lexer.h"
#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

// What a name of the text stands for.
struct NameUse {
    enum Kind { kMutex, kEvent, kCounter };
    Kind kind = kMutex;
    int index = 0;  // in GuardText::objects or GuardText::counters
};

// Thrown inside the parser at the first error, caught by ReadGuardText.
struct Refusal {
    TextError error;
};

class GuardParser {
  public:
    // `tokens` ends in a kEnd, as Tokens gives them.
    explicit GuardParser(std::vector<Token> tokens);

    // Throws Refusal.
    GuardText Read();

  private:
    // guard_text.cpp: the text's top level.
    void ReadFunction();

    // guard_declarations.cpp: objects and counters.
    void FindDeclarations();
    void ReadObject(bool mutex);
    void ReadCounter();
    std::string NewName(const Token& name, const char* what);
    std::int32_t ReadNumber();

    // guard_statements.cpp: the bodies.
    std::vector<Statement> ReadBlock(int depth, bool inLoop);
    std::vector<Statement> ReadBody(int depth, bool inLoop);
    void ReadStatement(int depth, bool inLoop, std::vector<Statement>& into);
    void ReadCall(Statement& statement, const Token& name, const NameUse& use);
    void ReadCounterStatement(Statement& statement, const Token& name, const NameUse& use);
    Condition ReadCondition(int depth);
    Condition ReadAnd(int depth);
    Condition ReadUnary(int depth);
    Condition ReadComparison();
    Operand ReadOperand();
    void CheckDepth(const Condition& condition) const;

    // Shared.
    const Token& Peek(std::size_t ahead = 0) const;
    const Token& Next();
    void Expect(std::string_view punct, const char* after);
    [[noreturn]] void Fail(const Where& at, std::string message) const;
    const NameUse* Find(std::string_view name) const;
    int CounterNamed(const Token& name);

    std::vector<Token> tokens_;
    std::size_t next_ = 0;
    GuardText text_;
    std::map<std::string, NameUse, std::less<>> names_;   // every name the text declares
    std::map<std::string, Where, std::less<>> declared_;  // those read so far
    int statements_ = 0;                                  // in the sequence being read
};

// The sentence that says what a statement may be.
inline constexpr const char* kStatementsAre =
    "a statement is a call on one of the guard's objects (X->Lock(); X->Unlock(); "
    "X->SetEvent(); X->ResetEvent();), ++, -- or = on a counter, if, while, for (;;), "
    "break; or return;";

}  // namespace listpool::sim::guards
