#include "sim/guards/text_guard.h"

#include <stdexcept>
#include <variant>

#include "platform/sim/hash.h"
#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

GuardText ReadAccepted(std::string_view text) {
    auto read = ReadGuardText(text);
    if (const auto* error = std::get_if<TextError>(&read)) {
        throw std::runtime_error("the guard text is refused: " + Describe(*error));
    }
    return std::get<GuardText>(std::move(read));
}

GuardMemory MakeMemory(const GuardCode& code, const std::array<CSyncObject*, 4>& own,
                       std::int32_t& readerCount, std::vector<std::int32_t>& more,
                       std::string& problem, std::vector<int>& at) {
    const auto& counters = code.text().counters;
    GuardMemory memory{{own.begin(), own.end()}, {&readerCount}, &problem, &at};
    more.clear();
    for (std::size_t n = 1; n < counters.size(); ++n) {
        more.push_back(counters[n].initial);
    }
    for (std::int32_t& counter : more) {
        memory.counters.push_back(&counter);
    }
    const auto& objects = code.text().objects;
    for (std::size_t n = memory.objects.size(); n < objects.size(); ++n) {
        if (objects[n].mutex) {
            memory.objects.push_back(new CMutex);
        } else {
            auto* event = new CEvent;
            memory.objects.push_back(event);
            if (!objects[n].startsSet) {
                event->ResetEvent();
            }
        }
    }
    return memory;
}

std::uint64_t FoldCounters(std::uint64_t hash, const GuardMemory& memory, std::size_t from) {
    for (std::size_t n = from; n < memory.counters.size(); ++n) {
        hash = Fold(hash, static_cast<std::uint32_t>(*memory.counters[n]));
    }
    return hash;
}

TextGuard::TextGuard(const GuardCode& code) : code_(code) {}

void TextGuard::Run(SequenceName sequence) {
    RunSequence(code_, sequence, memory_, Places::kMark);
}

std::vector<std::int32_t> TextGuard::Counters() const {
    std::vector<std::int32_t> values;
    for (const std::int32_t* counter : memory_.counters) {
        values.push_back(*counter);
    }
    return values;
}

std::uint64_t TextGuard::MemoryHash() const {
    return FoldCounters(problem_.empty() ? 0 : 1, memory_, 0);
}

int TextGuard::At(int thread) const {
    const auto n = static_cast<std::size_t>(thread);
    return n < at_.size() ? at_[n] : -1;
}

}  // namespace listpool::sim::guards
