#include "sim/guards/guard_writer.h"

#include <limits>

namespace listpool::sim::guards {

namespace {

constexpr const char* kCompareText[] = {"==", "!=", "<", "<=", ">", ">="};

// Writes statements and conditions; the text and the C++ differ only in
// how the least number is written.
class Writer {
  public:
    Writer(const GuardText& text, bool cxx) : text_(text), cxx_(cxx) {}

    std::string Number(std::int32_t number) const {
        // -2147483648 is the negation of a number too big for an int.
        if (cxx_ && number == std::numeric_limits<std::int32_t>::min()) {
            return "(-2147483647 - 1)";
        }
        return std::to_string(number);
    }

    std::string OperandText(const Operand& operand) const {
        const std::string& name =
            operand.kind == Operand::kNumber ? "" : text_.counters[operand.counter].name;
        switch (operand.kind) {
            case Operand::kNumber:
                return Number(operand.number);
            case Operand::kCounter:
                return name;
            case Operand::kPreIncrement:
                return "++" + name;
            case Operand::kPreDecrement:
                return "--" + name;
            case Operand::kPostIncrement:
                return name + "++";
            case Operand::kPostDecrement:
                return name + "--";
        }
        return name;
    }

    std::string ConditionText(const Condition& condition) const {
        const auto& operands = condition.operands;
        switch (condition.kind) {
            case Condition::kCompare:
                return OperandText(condition.left) + " " + kCompareText[condition.compare] + " " +
                       OperandText(condition.right);
            case Condition::kNot:
                return "!(" + ConditionText(operands[0]) + ")";
            case Condition::kAnd:
                return Side(operands[0], false) + " && " + Side(operands[1], true);
            case Condition::kOr:
                return ConditionText(operands[0]) + " || " + Side(operands[1], false);
        }
        return "";
    }

    // One side of && or ||, in brackets where C++ would otherwise group it
    // another way: an || inside an &&, or an && or an || on the right of the
    // same operator.
    std::string Side(const Condition& side, bool bracketAnd) const {
        const bool bracket =
            side.kind == Condition::kOr || (bracketAnd && side.kind == Condition::kAnd);
        return bracket ? "(" + ConditionText(side) + ")" : ConditionText(side);
    }

    // The statement's line, without its body: "if (c) {" for a block.
    std::string Head(const Statement& statement) const {
        const std::string object =
            statement.object >= 0 ? text_.objects[statement.object].name : "";
        const std::string counter =
            statement.counter >= 0 ? text_.counters[statement.counter].name : "";
        switch (statement.kind) {
            case Statement::kLock:
                return object + "->Lock();";
            case Statement::kUnlock:
                return object + "->Unlock();";
            case Statement::kSetEvent:
                return object + "->SetEvent();";
            case Statement::kResetEvent:
                return object + "->ResetEvent();";
            case Statement::kIncrement:
                return "++" + counter + ";";
            case Statement::kDecrement:
                return "--" + counter + ";";
            case Statement::kAssign:
                return counter + " = " + OperandText(statement.value) + ";";
            case Statement::kIf:
                return "if (" + ConditionText(statement.condition) + ") {";
            case Statement::kWhile:
                return "while (" + ConditionText(statement.condition) + ") {";
            case Statement::kForEver:
                return "for (;;) {";
            case Statement::kBreak:
                return "break;";
            case Statement::kReturn:
                return "return;";
        }
        return "";
    }

    void Block(const std::vector<Statement>& block, const std::string& indent,
               std::string& out) const {
        for (const Statement& statement : block) {
            out += indent + Head(statement);
            if (statement.kind == Statement::kIf || statement.kind == Statement::kWhile ||
                statement.kind == Statement::kForEver) {
                out += "\n";
                Block(statement.body, indent + "    ", out);
                out += indent + "}";
                // An else holding one if is written else if, as C++ reads it.
                const Statement* orElse = &statement;
                while (orElse->orElse.size() == 1 && orElse->orElse[0].kind == Statement::kIf) {
                    orElse = &orElse->orElse[0];
                    out += " else " + Head(*orElse) + "\n";
                    Block(orElse->body, indent + "    ", out);
                    out += indent + "}";
                }
                if (!orElse->orElse.empty()) {
                    out += " else {\n";
                    Block(orElse->orElse, indent + "    ", out);
                    out += indent + "}";
                }
            }
            out += "\n";
        }
    }

  private:
    const GuardText& text_;
    bool cxx_;
};

std::string Declaration(const Object& object) {
    const std::string type = object.mutex ? "CMutex" : "CEvent";
    return type + "* " + object.name + " = new " + type +
           (object.mutex || object.startsSet ? ";" : "(false);");
}

}  // namespace

std::string WriteText(const GuardText& text) {
    std::string out;
    for (std::size_t n = 4; n < text.objects.size(); ++n) {
        out += Declaration(text.objects[n]) + "\n";
    }
    const Writer writer(text, false);
    for (std::size_t n = 1; n < text.counters.size(); ++n) {
        const Counter& counter = text.counters[n];
        out += "std::int32_t " + counter.name + " GUARDED_BY(" +
               text.objects[counter.guardedBy].name + ") = " + writer.Number(counter.initial) +
               ";\n";
    }
    for (int n = 0; n < 4; ++n) {
        out += out.empty() ? "" : "\n";
        out += "void ReadWriteGuard::" + std::string(kSequenceFunctions[n]) + "() {\n";
        writer.Block(text.sequences[n].body, "    ", out);
        out += "}\n";
    }
    return out;
}

std::string WriteStatementLine(const GuardText& text, const Statement& statement) {
    const Writer writer(text, false);
    std::string line = writer.Head(statement);
    if (line.ends_with("{")) {
        line += " ... }";
        if (!statement.orElse.empty()) {
            line += " else { ... }";
        }
    }
    return line;
}

std::string WriteCxx(const GuardText& text, std::string_view name) {
    const Writer writer(text, true);
    const std::string type(name);
    std::string out = "struct " + type + " {\n    " + type + "() {\n";
    for (const Object& object : text.objects) {
        if (!object.mutex && !object.startsSet) {
            out += "        " + object.name + "->ResetEvent();\n";
        }
    }
    out += "    }\n";
    constexpr const char* kEntries[] = {"BeginRead", "EndRead", "BeginWrite", "EndWrite"};
    for (int n = 0; n < 4; ++n) {
        out += "    void " + std::string(kEntries[n]) + "() {\n";
        writer.Block(text.sequences[n].body, "        ", out);
        out += "    }\n";
    }
    for (const Counter& counter : text.counters) {
        out += "    std::int32_t " + counter.name + " = " + writer.Number(counter.initial) + ";\n";
    }
    for (const Object& object : text.objects) {
        out += "    " + std::string(object.mutex ? "CMutex* " : "CEvent* ") + object.name +
               " = new " + (object.mutex ? "CMutex;\n" : "CEvent;\n");
    }
    return out + "};\n";
}

}  // namespace listpool::sim::guards
