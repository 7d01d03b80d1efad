// The real guard as a guard text: the four sequences of
// store/read_write_guard.cpp as the file has them, each at its own line,
// so that a line of the text is the file's line of the same number.
#pragma once

#include <string>
#include <vector>

#include "sim/explore/guard_source.h"

namespace listpool::sim {

inline std::string RealGuardText(const std::string& root) {
    std::vector<std::string> lines;
    for (const SourceSequence& sequence : ReadGuardSource(root).sequences) {
        if (lines.size() + 1 < static_cast<std::size_t>(sequence.line)) {
            lines.resize(sequence.line - 1);
        }
        lines.insert(lines.end(), sequence.text.begin(), sequence.text.end());
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace listpool::sim
