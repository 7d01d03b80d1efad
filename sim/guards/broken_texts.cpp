#include "sim/guards/broken_texts.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

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

}  // namespace listpool::sim::guards
