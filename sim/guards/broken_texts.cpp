#include "sim/guards/broken_texts.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <variant>

#include "platform/sim/arena.h"

namespace listpool::sim::guards {

const BrokenGuard* FindBrokenGuard(std::string_view name) {
    for (const BrokenGuard& guard : kBrokenGuards) {
        if (name == guard.name) {
            return &guard;
        }
    }
    return nullptr;
}

std::string BrokenGuardText(const BrokenGuard& guard) {
    const std::string path = std::string(LISTPOOL_SOURCE_DIR) + "/" + guard.file;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return text.str();
}

const GuardCode& BrokenCode(int broken) {
    static const GuardCode* codes[std::size(kBrokenGuards)] = {};
    const auto n = static_cast<std::size_t>(broken);
    if (codes[n] == nullptr) {
        // It may be asked for first inside a run, whose memory goes with it.
        const arena::Use outliving(arena::Target::kSystem);
        auto read = ReadGuardText(BrokenGuardText(kBrokenGuards[n]));
        if (const auto* error = std::get_if<TextError>(&read)) {
            throw std::runtime_error(std::string(kBrokenGuards[n].file) + ": " + Describe(*error));
        }
        codes[n] = new GuardCode(std::move(std::get<GuardText>(read)));
    }
    return *codes[n];
}

}  // namespace listpool::sim::guards
