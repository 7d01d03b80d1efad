#include "sim/guards/guard_equal.h"

#include <algorithm>

namespace listpool::sim::guards {

namespace {

bool SameOperand(const Operand& a, const Operand& b) {
    return a.kind == b.kind &&
           (a.kind == Operand::kNumber ? a.number == b.number : a.counter == b.counter);
}

bool SameCondition(const Condition& a, const Condition& b) {
    if (a.kind != b.kind) {
        return false;
    }
    if (a.kind == Condition::kCompare) {
        return a.compare == b.compare && SameOperand(a.left, b.left) &&
               SameOperand(a.right, b.right);
    }
    return std::equal(a.operands.begin(), a.operands.end(), b.operands.begin(), b.operands.end(),
                      SameCondition);
}

bool SameBlock(const std::vector<Statement>& a, const std::vector<Statement>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameStatement);
}

}  // namespace

bool SameStatement(const Statement& a, const Statement& b) {
    if (a.kind != b.kind || a.object != b.object || a.counter != b.counter) {
        return false;
    }
    switch (a.kind) {
        case Statement::kAssign:
            return SameOperand(a.value, b.value);
        case Statement::kIf:
        case Statement::kWhile:
            return SameCondition(a.condition, b.condition) && SameBlock(a.body, b.body) &&
                   SameBlock(a.orElse, b.orElse);
        case Statement::kForEver:
            return SameBlock(a.body, b.body);
        default:
            return true;
    }
}

bool SameGuard(const GuardText& a, const GuardText& b) {
    const auto sameObject = [](const Object& x, const Object& y) {
        return x.name == y.name && x.mutex == y.mutex && (x.mutex || x.startsSet == y.startsSet);
    };
    const auto sameCounter = [](const Counter& x, const Counter& y) {
        return x.name == y.name && x.guardedBy == y.guardedBy && x.initial == y.initial;
    };
    const auto sameSequence = [](const Sequence& x, const Sequence& y) {
        return SameBlock(x.body, y.body);
    };
    return std::equal(a.objects.begin(), a.objects.end(), b.objects.begin(), b.objects.end(),
                      sameObject) &&
           std::equal(a.counters.begin(), a.counters.end(), b.counters.begin(), b.counters.end(),
                      sameCounter) &&
           std::equal(a.sequences.begin(), a.sequences.end(), b.sequences.begin(),
                      b.sequences.end(), sameSequence);
}

}  // namespace listpool::sim::guards
