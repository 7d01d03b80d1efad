// guard-mutants --cxx FILE: writes every mutant of the real guard as C++,
// one struct each (Mutant0, Mutant1, ...), with what the check beside it
// (guard_mutants_check.cpp) needs to run them: a header it is compiled
// with, so that each mutant is checked compiled as well as interpreted.
#include <cstdio>
#include <fstream>
#include <string>
#include <variant>

#include "sim/explore/guard_source.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/guard_writer.h"
#include "sim/guards/mutants.h"

namespace listpool::sim::guards {
namespace {

std::string Header(const std::vector<Mutant>& mutants) {
    std::string out =
        "// Every mutant of store/read_write_guard.cpp's guard, as C++: made by\n"
        "// guard-mutants (tests/sim/guard_mutants.cpp) when the guard changes.\n"
        "#pragma once\n\n#include <cstdint>\n#include <functional>\n\n"
        "#include <string>\n\n"
        "#include \"checked_counter.h\"\n#include \"limited_check.h\"\n#include "
        "\"platform/sync.h\"\n\n"
        "namespace listpool::sim::guards::mutants {\n\n";
    for (std::size_t n = 0; n < mutants.size(); ++n) {
        out += "// " + mutants[n].description + "\n" +
               WriteCxx(mutants[n].text, "Mutant" + std::to_string(n), "CheckedCounter") + "\n";
    }
    out +=
        "// Each mutant's description and its check, in the order of Mutants().\n"
        "struct Compiled {\n    const char* description;\n"
        "    GuardCheck (*check)(const GuardCast& cast);\n};\n\n"
        "inline const Compiled kCompiled[] = {\n";
    for (std::size_t n = 0; n < mutants.size(); ++n) {
        out += "    {R\"m(" + mutants[n].description + ")m\"" +
               ", [](const GuardCast& cast) { return LimitedCheck<Mutant" + std::to_string(n) +
               ">(cast); }},\n";
    }
    return out + "};\n\n}  // namespace listpool::sim::guards::mutants\n";
}

}  // namespace
}  // namespace listpool::sim::guards

int main(int argc, char** argv) {
    using namespace listpool::sim::guards;
    if (argc != 3 || std::string(argv[1]) != "--cxx") {
        std::fprintf(stderr, "usage: guard-mutants --cxx FILE\n");
        return 2;
    }
    const auto read = ReadGuardText(
        listpool::sim::GuardSourceText(listpool::sim::ReadGuardSource(LISTPOOL_SOURCE_DIR)));
    if (const auto* error = std::get_if<TextError>(&read)) {
        std::fprintf(stderr, "the real guard does not read: %s\n", Describe(*error).c_str());
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out << Header(Mutants(std::get<GuardText>(read)));
    return out.good() ? 0 : 1;
}
