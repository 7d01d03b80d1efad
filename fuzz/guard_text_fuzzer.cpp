// Fuzz target for the guard texts' reader: any bytes give a tree or an
// error whose message is short printable ASCII; a tree written out reads
// back to the same guard, as does each of its first mutants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "sim/guards/guard_equal.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/guard_writer.h"
#include "sim/guards/mutants.h"

namespace listpool::sim::guards {
namespace {

void Check(std::string_view bytes) {
    const auto read = ReadGuardText(bytes);
    if (const auto* error = std::get_if<TextError>(&read)) {
        bool showable = error->message.size() < 400 && error->at.line >= 1;
        for (char c : error->message) {
            showable = showable && c >= 0x20 && c < 0x7F;
        }
        if (!showable) {
            std::abort();
        }
        return;
    }
    const GuardText& text = std::get<GuardText>(read);
    const auto again = ReadGuardText(WriteText(text));
    if (!std::holds_alternative<GuardText>(again) || !SameGuard(std::get<GuardText>(again), text)) {
        std::abort();
    }
    int checked = 0;
    for (const Mutant& mutant : Mutants(text)) {
        const auto back = ReadGuardText(WriteText(mutant.text));
        if (!std::holds_alternative<GuardText>(back) ||
            !SameGuard(std::get<GuardText>(back), mutant.text)) {
            std::abort();
        }
        if (++checked == 8) {
            break;
        }
    }
}

}  // namespace
}  // namespace listpool::sim::guards

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    listpool::sim::guards::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
