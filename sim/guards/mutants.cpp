#include "sim/guards/mutants.h"

#include <functional>
#include <utility>

#include "sim/guards/guard_equal.h"
#include "sim/guards/guard_writer.h"

namespace listpool::sim::guards {

namespace {

using Block = std::vector<Statement>;

// Calls `visit` with every block of `text` in the text's order, a block
// before those inside it.
void EachBlock(GuardText& text, const std::function<void(Block&)>& visit) {
    const std::function<void(Block&)> walk = [&](Block& block) {
        visit(block);
        for (Statement& statement : block) {
            walk(statement.body);
            walk(statement.orElse);
        }
    };
    for (Sequence& sequence : text.sequences) {
        walk(sequence.body);
    }
}

std::string Quoted(const GuardText& text, const Statement& statement) {
    return "`" + WriteStatementLine(text, statement) + "`";
}

}  // namespace

std::vector<Mutant> Mutants(const GuardText& text) {
    // The blocks are numbered in a walk of a copy; each mutant changes the
    // block of the same number in its own copy.
    std::vector<Mutant> mutants;
    GuardText walked = text;
    const auto mutate = [&](int number, const std::function<void(Block&)>& change) {
        Mutant mutant{text, ""};
        int at = 0;
        EachBlock(mutant.text, [&](Block& block) {
            if (at++ == number) {
                change(block);
            }
        });
        return mutant;
    };
    int number = 0;
    EachBlock(walked, [&](Block& block) {
        for (std::size_t n = 0; n < block.size(); ++n) {
            Mutant mutant = mutate(number, [&](Block& b) { b.erase(b.begin() + n); });
            mutant.description =
                "deletes line " + std::to_string(block[n].at.line) + " " + Quoted(text, block[n]);
            mutants.push_back(std::move(mutant));
        }
        for (std::size_t n = 0; n + 1 < block.size(); ++n) {
            if (SameStatement(block[n], block[n + 1])) {
                continue;
            }
            Mutant mutant = mutate(number, [&](Block& b) { std::swap(b[n], b[n + 1]); });
            mutant.description = "swaps lines " + std::to_string(block[n].at.line) + " and " +
                                 std::to_string(block[n + 1].at.line) + " (" +
                                 Quoted(text, block[n]) + " and " + Quoted(text, block[n + 1]) +
                                 ")";
            mutants.push_back(std::move(mutant));
        }
        ++number;
    });
    return mutants;
}

}  // namespace listpool::sim::guards
