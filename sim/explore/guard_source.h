// The guard's four sequences as its source file has them, for the code an
// explorer page sets beside its state: read from the source tree when the
// page is made, so that the page shows the code that ran.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace listpool::sim {

// One of the four sequences: its function, whole, from the line that opens
// it to its closing brace.
struct SourceSequence {
    std::string name;               // "ReaderArrives", as docs/GUARD.md names it
    int line = 0;                   // the number of its first line in the file
    std::vector<std::string> text;  // its lines
    std::vector<bool> struck;       // the lines a broken guard leaves out
};

struct GuardSource {
    std::string file;  // "store/read_write_guard.cpp"
    std::vector<SourceSequence> sequences;
    std::string leftOutBy;  // where the broken version comes from, or ""
};

// The lines of the function in `file` that opens with the line (less its
// indent) `opening` (a function or a class), up to the brace that closes
// it at the same indent;
// empty when there is none.
std::vector<std::string> FunctionLines(const std::vector<std::string>& file,
                                       const std::string& opening);

// A file's lines; throws std::runtime_error when it cannot be read.
std::vector<std::string> FileLines(const std::string& path);

// ReaderArrives, ReaderLeaves, WriterArrives and WriterLeaves of
// store/read_write_guard.cpp in the source tree at `root`; throws
// std::runtime_error when one is missing.
GuardSource ReadGuardSource(const std::string& root);

// Strikes the lines of `sequence` that `broken` (a broken guard's version
// of it, a function from FunctionLines) leaves out, found from the longest
// run of statements the two share; a comment is struck with the statement
// after it. `from` says where the broken version is.
void StrikeLeftOut(GuardSource& source, const std::string& sequence,
                   const std::vector<std::string>& broken, const std::string& from);

// The four sequences as a guard text (sim/guards/guard_text.h), each at
// its own line, so that a line of the text is the file's line of the same
// number.
std::string GuardSourceText(const GuardSource& source);

// A guard text shown as a source of one sequence, `name`, from line 1.
GuardSource TextSource(std::string_view text, const std::string& name);

// The source as JSON, for a page's data.
std::string GuardSourceJson(const GuardSource& source);

}  // namespace listpool::sim
