#include "sim/guards/guard_text.h"

#include <algorithm>
#include <array>
#include <limits>

#include "sim/guards/guard_parser.h"

namespace listpool::sim::guards {

namespace {

const char* const kTopLevelIs =
    "the text holds declarations (CMutex* name; CEvent* name = new CEvent(false); "
    "std::int32_t name GUARDED_BY(mutex) = 0;) and the four functions (void ReaderArrives() "
    "{ ... }, ReaderLeaves, WriterArrives, WriterLeaves)";

}  // namespace

GuardParser::GuardParser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {
    const char* own[] = {"countMutex", "writerMutex", "noReadersEvent", "gateEvent"};
    for (int n = 0; n < 4; ++n) {
        text_.objects.push_back({own[n], n < 2, true, {}});
        names_[own[n]] = {n < 2 ? NameUse::kMutex : NameUse::kEvent, n};
        declared_[own[n]] = {};
    }
    text_.counters.push_back({"readerCount", 0, 0, {}});
    names_["readerCount"] = {NameUse::kCounter, 0};
    declared_["readerCount"] = {};
}

GuardText GuardParser::Read() {
    FindDeclarations();
    while (Peek().kind != Token::kEnd) {
        const Token& first = Peek();
        if (first.IsName("CMutex") || first.IsName("CEvent")) {
            ReadObject(first.IsName("CMutex"));
        } else if (first.IsName("std") || first.IsName("int")) {
            ReadCounter();
        } else if (first.IsName("void")) {
            ReadFunction();
        } else {
            Fail(first.at, Quote(first) + " cannot stand here; " + kTopLevelIs);
        }
    }
    for (int n = 0; n < 4; ++n) {
        if (text_.sequences[n].at.line == 0) {
            Fail(Peek().at, std::string("the text has no ") + kSequenceFunctions[n] +
                                "(); a guard text defines all four of ReaderArrives, "
                                "ReaderLeaves, WriterArrives and WriterLeaves");
        }
    }
    return std::move(text_);
}

void GuardParser::ReadFunction() {
    const Where at = Next().at;
    if (Peek().IsName("ReadWriteGuard")) {
        Next();
        Expect("::", "ReadWriteGuard");
    }
    const Token& name = Next();
    const auto* found =
        std::find(std::begin(kSequenceFunctions), std::end(kSequenceFunctions), name.text);
    if (name.kind != Token::kName || found == std::end(kSequenceFunctions)) {
        Fail(name.at, Quote(name) +
                          " is not one of the guard's sequences; a function is "
                          "ReaderArrives, ReaderLeaves, WriterArrives or WriterLeaves");
    }
    Sequence& sequence = text_.sequences[found - std::begin(kSequenceFunctions)];
    if (sequence.at.line != 0) {
        Fail(name.at, std::string(name.text) + " is defined twice; it was first at line " +
                          std::to_string(sequence.at.line));
    }
    Expect("(", "the function's name");
    Expect(")", "( (a sequence takes nothing)");
    if (!Peek().Is("{")) {
        Fail(Peek().at, Quote(Peek()) +
                            " cannot stand here; the function's body follows in "
                            "braces: { ... }");
    }
    Next();
    statements_ = 0;
    sequence.at = at;
    sequence.body = ReadBlock(0, false);
}

const Token& GuardParser::Peek(std::size_t ahead) const {
    return tokens_[std::min(next_ + ahead, tokens_.size() - 1)];
}

const Token& GuardParser::Next() {
    const Token& token = Peek();
    next_ = std::min(next_ + 1, tokens_.size() - 1);
    return token;
}

void GuardParser::Expect(std::string_view punct, const char* after) {
    if (!Peek().Is(punct)) {
        Fail(Peek().at,
             Quote(Peek()) + " cannot stand here; `" + std::string(punct) + "` follows " + after);
    }
    Next();
}

void GuardParser::Fail(const Where& at, std::string message) const {
    throw Refusal{{at, std::move(message)}};
}

const NameUse* GuardParser::Find(std::string_view name) const {
    const auto found = names_.find(name);
    return found == names_.end() ? nullptr : &found->second;
}

std::variant<GuardText, TextError> ReadGuardText(std::string_view text) {
    if (text.size() > kMaxTextBytes) {
        return TextError{{1, 1},
                         "the text is " + std::to_string(text.size()) +
                             " bytes long; a guard text is at most 20000"};
    }
    auto tokens = Tokens(text);
    if (auto* error = std::get_if<TextError>(&tokens)) {
        return *error;
    }
    try {
        return GuardParser(std::get<std::vector<Token>>(std::move(tokens))).Read();
    } catch (const Refusal& refusal) {
        return refusal.error;
    }
}

std::string Describe(const TextError& error) {
    return "line " + std::to_string(error.at.line) + ", column " + std::to_string(error.at.column) +
           ": " + error.message;
}

}  // namespace listpool::sim::guards
