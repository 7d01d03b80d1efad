#include "sim/search/choice_text.h"

#include <charconv>

namespace listpool::sim {

std::string ChoiceText(const std::vector<int>& choices) {
    std::string text;
    for (const int thread : choices) {
        text += (text.empty() ? "" : " ") + std::to_string(thread);
    }
    return text;
}

bool ParseChoices(std::string_view text, std::vector<int>& choices) {
    choices.clear();
    const char* at = text.data();
    const char* const end = text.data() + text.size();
    for (;;) {
        while (at != end && (*at == ' ' || *at == '\t' || *at == '\n')) {
            ++at;
        }
        if (at == end) {
            return true;
        }
        int thread = 0;
        const auto [rest, error] = std::from_chars(at, end, thread);
        if (error != std::errc() || thread < 0) {
            return false;
        }
        choices.push_back(thread);
        at = rest;
    }
}

}  // namespace listpool::sim
