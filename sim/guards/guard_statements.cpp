// The bodies of a guard text's functions: statements and conditions.
#include <algorithm>

#include "sim/guards/guard_parser.h"

namespace listpool::sim::guards {

namespace {

constexpr std::pair<std::string_view, Condition::Compare> kCompares[] = {
    {"==", Condition::kEqual},  {"!=", Condition::kNotEqual},
    {"<", Condition::kLess},    {"<=", Condition::kLessOrEqual},
    {">", Condition::kGreater}, {">=", Condition::kGreaterOrEqual}};

int Depth(const Condition& condition) {
    int deepest = 0;
    for (const Condition& operand : condition.operands) {
        deepest = std::max(deepest, Depth(operand));
    }
    return deepest + 1;
}

}  // namespace

// After the `{`, up to and with the `}`.
std::vector<Statement> GuardParser::ReadBlock(int depth, bool inLoop) {
    std::vector<Statement> block;
    while (!Peek().Is("}")) {
        ReadStatement(depth, inLoop, block);
    }
    Next();
    return block;
}

// An if's, a while's or a for's body: a block, or one statement.
std::vector<Statement> GuardParser::ReadBody(int depth, bool inLoop) {
    if (depth > kMaxNesting) {
        Fail(Peek().at,
             "blocks nest more than 8 deep here; a guard text nests at most 8 "
             "levels of if, while and for");
    }
    if (Peek().Is("{")) {
        Next();
        return ReadBlock(depth, inLoop);
    }
    std::vector<Statement> body;
    ReadStatement(depth, inLoop, body);
    return body;
}

void GuardParser::ReadStatement(int depth, bool inLoop, std::vector<Statement>& into) {
    const Token& first = Next();
    if (first.Is("{")) {  // a block of its own: its statements run where it stands
        if (depth + 1 > kMaxNesting) {
            Fail(first.at,
                 "blocks nest more than 8 deep here; a guard text nests at most 8 "
                 "levels of blocks");
        }
        for (Statement& statement : ReadBlock(depth + 1, inLoop)) {
            into.push_back(std::move(statement));
        }
        return;
    }
    Statement statement;
    statement.at = first.at;
    if (++statements_ > kMaxStatementsPerSequence) {
        Fail(first.at,
             "this is the 65th statement of the sequence; a sequence holds at most "
             "64, counting those inside if, while and for");
    }
    if (first.kind == Token::kEnd) {
        Fail(first.at, "the text ends inside a function; a `}` is missing");
    } else if (first.IsName("if") || first.IsName("while")) {
        const bool loop = first.IsName("while");
        statement.kind = loop ? Statement::kWhile : Statement::kIf;
        Expect("(", loop ? "while" : "if");
        statement.condition = ReadCondition(0);
        Expect(")", "the condition");
        statement.body = ReadBody(depth + 1, inLoop || loop);
        if (!loop && Peek().IsName("else")) {
            Next();
            statement.orElse = ReadBody(depth + 1, inLoop);
        }
    } else if (first.IsName("for")) {
        statement.kind = Statement::kForEver;
        Expect("(", "for");
        for (const char* after : {"for ( (the one for loop here is for (;;))",
                                  "for (; (the one for loop here is for (;;))"}) {
            Expect(";", after);
        }
        Expect(")", "for (;; (the one for loop here is for (;;))");
        statement.body = ReadBody(depth + 1, true);
    } else if (first.IsName("break") || first.IsName("return")) {
        statement.kind = first.IsName("break") ? Statement::kBreak : Statement::kReturn;
        if (statement.kind == Statement::kBreak && !inLoop) {
            Fail(first.at, "break; stands only inside a while or a for (;;) loop");
        }
        Expect(";", statement.kind == Statement::kBreak ? "break"
                                                        : "return (a sequence "
                                                          "returns nothing)");
    } else if (first.Is("++") || first.Is("--")) {
        statement.kind = first.Is("++") ? Statement::kIncrement : Statement::kDecrement;
        statement.counter = CounterNamed(Next());
        Expect(";", "the counter");
    } else if (const NameUse* use = first.kind == Token::kName ? Find(first.text) : nullptr) {
        if (use->kind == NameUse::kCounter) {
            ReadCounterStatement(statement, first, *use);
        } else {
            ReadCall(statement, first, *use);
        }
    } else if (first.kind == Token::kName && Peek().Is("->")) {
        Fail(first.at, Quote(first) +
                           " is not one of the guard's objects: countMutex, "
                           "writerMutex, noReadersEvent, gateEvent and those the text "
                           "declares");
    } else if (first.kind == Token::kName &&
               (Peek().Is("=") || Peek().Is("++") || Peek().Is("--"))) {
        Fail(first.at, Quote(first) +
                           " is not one of the guard's counters: readerCount and "
                           "those the text declares");
    } else if (first.Is(";")) {
        Fail(first.at, "a lone `;` does nothing here; an empty body is written {}");
    } else if (first.IsName("else")) {
        Fail(first.at, "`else` stands only after an if's body");
    } else {
        Fail(first.at, Quote(first) + " is not a statement here; " + kStatementsAre);
    }
    into.push_back(std::move(statement));
}

void GuardParser::ReadCall(Statement& statement, const Token& name, const NameUse& use) {
    const bool mutex = use.kind == NameUse::kMutex;
    const std::string what = std::string(name.text) + (mutex ? " is a mutex: a mutex has "
                                                               "Lock() and Unlock()"
                                                             : " is an event: an event has "
                                                               "Lock(), SetEvent() and "
                                                               "ResetEvent()");
    Expect("->",
           (std::string(name.text) + " (a call is written " + std::string(name.text) + "->Lock();)")
               .c_str());
    const Token& call = Next();
    statement.object = use.index;
    if (call.IsName("Lock")) {
        statement.kind = Statement::kLock;
    } else if (mutex && call.IsName("Unlock")) {
        statement.kind = Statement::kUnlock;
    } else if (!mutex && (call.IsName("SetEvent") || call.IsName("ResetEvent"))) {
        statement.kind = call.IsName("SetEvent") ? Statement::kSetEvent : Statement::kResetEvent;
    } else {
        Fail(call.at, Quote(call) + " is not a call here; " + what);
    }
    Expect("(", "the call's name");
    Expect(")", "( (the calls take nothing)");
    Expect(";", "the call");
}

void GuardParser::ReadCounterStatement(Statement& statement, const Token& name,
                                       const NameUse& use) {
    statement.counter = use.index;
    const Token& op = Next();
    if (op.Is("++") || op.Is("--")) {
        statement.kind = op.Is("++") ? Statement::kIncrement : Statement::kDecrement;
    } else if (op.Is("=")) {
        statement.kind = Statement::kAssign;
        statement.value = ReadOperand();
        if (statement.value.kind != Operand::kNumber && statement.value.kind != Operand::kCounter) {
            Fail(statement.value.at,
                 "an assignment's value is a number or a counter, "
                 "without ++ or --");
        }
    } else {
        Fail(op.at, Quote(op) + " cannot stand here; " + std::string(name.text) +
                        " is a counter: a counter takes ++, -- and =");
    }
    Expect(";", "the counter's change");
}

// || binds loosest, then &&, then !, as in C++.
Condition GuardParser::ReadCondition(int depth) {
    Condition condition = ReadAnd(depth);
    while (Peek().Is("||")) {
        Next();
        Condition either{Condition::kOr, Condition::kEqual, {}, {}, {}, condition.at};
        either.operands.push_back(std::move(condition));
        either.operands.push_back(ReadAnd(depth));
        CheckDepth(either);
        condition = std::move(either);
    }
    return condition;
}

Condition GuardParser::ReadAnd(int depth) {
    Condition condition = ReadUnary(depth);
    while (Peek().Is("&&")) {
        Next();
        Condition both{Condition::kAnd, Condition::kEqual, {}, {}, {}, condition.at};
        both.operands.push_back(std::move(condition));
        both.operands.push_back(ReadUnary(depth));
        CheckDepth(both);
        condition = std::move(both);
    }
    return condition;
}

Condition GuardParser::ReadUnary(int depth) {
    const Token& first = Peek();
    if (depth >= kMaxConditionDepth) {
        Fail(first.at,
             "the condition nests more than 16 deep here; a condition's brackets "
             "and operators nest at most 16 levels");
    }
    if (first.Is("!")) {
        Next();
        if (!Peek().Is("(") && !Peek().Is("!")) {
            Fail(Peek().at, "! applies to a condition in brackets here: !(n == 0)");
        }
        Condition negation{Condition::kNot, Condition::kEqual, {}, {}, {}, first.at};
        negation.operands.push_back(ReadUnary(depth + 1));
        CheckDepth(negation);
        return negation;
    }
    if (first.Is("(")) {
        Next();
        Condition inner = ReadCondition(depth + 1);
        Expect(")", "the condition in brackets");
        return inner;
    }
    return ReadComparison();
}

Condition GuardParser::ReadComparison() {
    Condition comparison;
    comparison.at = Peek().at;
    comparison.left = ReadOperand();
    const Token& op = Next();
    const auto* found = std::find_if(std::begin(kCompares), std::end(kCompares),
                                     [&](const auto& compare) { return op.Is(compare.first); });
    if (found == std::end(kCompares)) {
        Fail(op.at, Quote(op) +
                        " cannot stand here; a condition compares a counter with a "
                        "number or a counter: == != < <= > >=");
    }
    comparison.compare = found->second;
    comparison.right = ReadOperand();
    const Operand& left = comparison.left;
    const Operand& right = comparison.right;
    if (left.kind == Operand::kNumber && right.kind == Operand::kNumber) {
        Fail(comparison.at,
             "this compares two numbers; a condition compares a counter with a "
             "number or a counter");
    }
    const bool changes = left.kind > Operand::kCounter || right.kind > Operand::kCounter;
    if (changes && left.kind != Operand::kNumber && left.counter == right.counter) {
        Fail(comparison.at, "this changes and reads " + text_.counters[left.counter].name +
                                " in one comparison, which C++ leaves undefined");
    }
    for (const auto& compare : kCompares) {
        if (Peek().Is(compare.first)) {
            Fail(Peek().at, Quote(Peek()) +
                                " cannot stand here; a condition makes one "
                                "comparison at a time: join them with && or ||");
        }
    }
    return comparison;
}

Operand GuardParser::ReadOperand() {
    Operand operand;
    const Token& first = Peek();
    operand.at = first.at;
    if (first.Is("++") || first.Is("--")) {
        Next();
        operand.kind = first.Is("++") ? Operand::kPreIncrement : Operand::kPreDecrement;
        operand.counter = CounterNamed(Next());
    } else if (first.kind == Token::kName) {
        operand.counter = CounterNamed(Next());
        operand.kind = Operand::kCounter;
        if (Peek().Is("++") || Peek().Is("--")) {
            operand.kind = Next().Is("++") ? Operand::kPostIncrement : Operand::kPostDecrement;
        }
    } else {
        operand.number = ReadNumber();
    }
    return operand;
}

void GuardParser::CheckDepth(const Condition& condition) const {
    if (Depth(condition) > kMaxConditionDepth) {
        Fail(condition.at,
             "the condition nests more than 16 deep here; a condition's brackets "
             "and operators nest at most 16 levels");
    }
}

int GuardParser::CounterNamed(const Token& name) {
    const NameUse* use = name.kind == Token::kName ? Find(name.text) : nullptr;
    if (use == nullptr || use->kind != NameUse::kCounter) {
        Fail(name.at, Quote(name) +
                          (use != nullptr ? " is an object, not a counter; "
                                          : " is not "
                                            "one of the "
                                            "guard's "
                                            "counters; ") +
                          "the counters are readerCount and those the text declares");
    }
    return use->index;
}

}  // namespace listpool::sim::guards
