// Choices as text: the one printer and the one parser of a schedule's
// forced choices, the thread that goes at each choice point.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace listpool::sim {

// The choices as the numbers LISTPOOL_GUARD_REPLAY and --replay take:
// "1 1 3 0".
std::string ChoiceText(const std::vector<int>& choices);
// The choices that text names, or false when it holds anything but
// numbers apart by white space.
bool ParseChoices(std::string_view text, std::vector<int>& choices);

}  // namespace listpool::sim
