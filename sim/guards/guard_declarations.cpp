// A guard text's declarations: its further objects and counters.
#include <algorithm>
#include <array>
#include <limits>

#include "sim/guards/guard_parser.h"

namespace listpool::sim::guards {

namespace {

// C++'s own words and the ones the generated guard (guard_writer.h) uses:
// a name of the text must be none of them, or its C++ would not compile.
constexpr std::array<std::string_view, 101> kReserved = {
    "alignas",       "alignof",     "and",
    "and_eq",        "asm",         "auto",
    "bitand",        "bitor",       "bool",
    "break",         "case",        "catch",
    "char",          "char8_t",     "char16_t",
    "char32_t",      "class",       "compl",
    "concept",       "const",       "consteval",
    "constexpr",     "constinit",   "const_cast",
    "continue",      "co_await",    "co_return",
    "co_yield",      "decltype",    "default",
    "delete",        "do",          "double",
    "dynamic_cast",  "else",        "enum",
    "explicit",      "export",      "extern",
    "false",         "float",       "for",
    "friend",        "goto",        "if",
    "inline",        "int",         "long",
    "mutable",       "namespace",   "new",
    "noexcept",      "not",         "not_eq",
    "nullptr",       "operator",    "or",
    "or_eq",         "private",     "protected",
    "public",        "register",    "reinterpret_cast",
    "requires",      "return",      "short",
    "signed",        "sizeof",      "static",
    "static_assert", "static_cast", "struct",
    "switch",        "template",    "this",
    "thread_local",  "throw",       "true",
    "try",           "typedef",     "typeid",
    "typename",      "union",       "unsigned",
    "using",         "virtual",     "void",
    "volatile",      "wchar_t",     "while",
    "xor",           "xor_eq",      "std",
    "CMutex",        "CEvent",      "ReadWriteGuard",
    "BeginRead",     "EndRead",     "BeginWrite",
    "EndWrite",      "GUARDED_BY"};

}  // namespace

// Names first, so that a function may use an object declared after it, as
// a member function may in C++. Only what ReadObject and ReadCounter will
// read in the same order is noted; they refuse anything else.
void GuardParser::FindDeclarations() {
    int depth = 0;
    int objects = 4;
    int counters = 1;
    for (std::size_t n = 0; tokens_[n].kind != Token::kEnd; ++n) {
        const Token& token = tokens_[n];
        depth += token.Is("{") ? 1 : token.Is("}") ? -1 : 0;
        if (depth != 0 || token.kind != Token::kName) {
            continue;
        }
        const bool mutex = token.text == "CMutex";
        std::size_t at = n + 1;
        if ((mutex || token.text == "CEvent") && tokens_[at].Is("*")) {
            ++at;
        } else if (token.text == "std" && tokens_[at].Is("::") &&
                   tokens_[at + 1].IsName("int32_t")) {
            at += 2;
        } else if (token.text != "int") {
            continue;
        }
        const Token& name = tokens_[at];
        if (name.kind == Token::kName && !names_.contains(name.text)) {
            const bool counter = token.text == "std" || token.text == "int";
            names_[std::string(name.text)] =
                counter ? NameUse{NameUse::kCounter, counters++}
                        : NameUse{mutex ? NameUse::kMutex : NameUse::kEvent, objects++};
        }
    }
}

void GuardParser::ReadObject(bool mutex) {
    const char* type = mutex ? "CMutex" : "CEvent";
    Next();
    Expect("*", mutex ? "CMutex (a mutex is declared as CMutex* name;)"
                      : "CEvent (an event is declared as CEvent* name;)");
    const Token& nameToken = Peek();
    Object object{NewName(nameToken, mutex ? "a mutex" : "an event"), mutex, true, nameToken.at};
    if (static_cast<int>(text_.objects.size()) - 4 >= kMaxMoreObjects) {
        Fail(nameToken.at,
             "a guard text declares at most 4 mutexes or events beyond the "
             "guard's own; " +
                 Quote(nameToken) + " would be one more");
    }
    while (mutex && (Peek().IsName("ACQUIRED_AFTER") || Peek().IsName("ACQUIRED_BEFORE"))) {
        Next();
        Expect("(", "ACQUIRED_AFTER or ACQUIRED_BEFORE");
        do {
            const Token& other = Next();
            const NameUse* use = Find(other.text);
            if (other.kind != Token::kName || use == nullptr || use->kind != NameUse::kMutex) {
                Fail(other.at, Quote(other) +
                                   " is not a mutex of the guard; ACQUIRED_AFTER and "
                                   "ACQUIRED_BEFORE name mutexes");
            }
        } while (Peek().Is(",") && (Next(), true));
        Expect(")", "the mutexes it names");
    }
    if (Peek().Is("=")) {
        Next();
        if (!Peek().IsName("new") || !Peek(1).IsName(type)) {
            Fail(Peek().at, Quote(Peek()) + " cannot stand here; " + object.name +
                                " is made with new " + type);
        }
        Next();
        Next();
        if (Peek().Is("(")) {
            Next();
            if (!mutex && (Peek().IsName("true") || Peek().IsName("false"))) {
                object.startsSet = Next().text == "true";
            }
            Expect(")",
                   mutex ? "new CMutex( (a mutex is made free, with nothing between the brackets)"
                         : "new CEvent( (an event is made set with true, reset with false)");
        }
    }
    Expect(";", "the declaration");
    text_.objects.push_back(std::move(object));
}

void GuardParser::ReadCounter() {
    if (Next().text == "std") {
        Expect("::", "std");
        if (!Peek().IsName("int32_t")) {
            Fail(Peek().at, Quote(Peek()) +
                                " is not a counter's type; a counter is a "
                                "std::int32_t or an int");
        }
        Next();
    }
    const Token& nameToken = Peek();
    Counter counter{NewName(nameToken, "a counter"), 0, 0, nameToken.at};
    if (static_cast<int>(text_.counters.size()) - 1 >= kMaxMoreCounters) {
        Fail(nameToken.at, "a guard text declares at most 2 counters beyond readerCount; " +
                               Quote(nameToken) + " would be one more");
    }
    if (!Peek().IsName("GUARDED_BY")) {
        Fail(Peek().at, Quote(Peek()) +
                            " cannot stand here; a counter names the mutex that "
                            "guards it: std::int32_t " +
                            counter.name + " GUARDED_BY(countMutex) = 0;");
    }
    Next();
    Expect("(", "GUARDED_BY");
    const Token& guard = Next();
    const NameUse* use = Find(guard.text);
    if (guard.kind != Token::kName || use == nullptr || use->kind != NameUse::kMutex) {
        Fail(guard.at, Quote(guard) + (use != nullptr && use->kind == NameUse::kEvent
                                           ? " is an event; a counter is guarded by a mutex"
                                           : " is not a mutex of the guard; GUARDED_BY names "
                                             "the mutex that guards the counter"));
    }
    counter.guardedBy = use->index;
    Expect(")", "the counter's mutex");
    Expect("=", "GUARDED_BY(...) (a counter starts with a number: = 0;)");
    counter.initial = ReadNumber();
    Expect(";", "the declaration");
    text_.counters.push_back(std::move(counter));
}

std::string GuardParser::NewName(const Token& name, const char* what) {
    if (name.kind != Token::kName) {
        Fail(name.at, Quote(name) + " cannot name " + what +
                          "; a name is a letter or _, then "
                          "letters, digits and _");
    }
    if (std::find(kReserved.begin(), kReserved.end(), name.text) != kReserved.end()) {
        Fail(name.at, Quote(name) + " is a word of C++ or of the guard and cannot name " + what);
    }
    if (const auto found = declared_.find(name.text); found != declared_.end()) {
        Fail(name.at,
             Quote(name) + (found->second.line == 0 ? " is one of the guard's own already"
                                                    : " is declared twice; it was first at line " +
                                                          std::to_string(found->second.line)));
    }
    declared_[std::string(name.text)] = name.at;
    Next();
    return std::string(name.text);
}

std::int32_t GuardParser::ReadNumber() {
    const bool negative = Peek().Is("-");
    if (negative) {
        Next();
    }
    const Token& digits = Next();
    const bool decimal = digits.kind == Token::kNumber &&
                         std::all_of(digits.text.begin(), digits.text.end(),
                                     [](char c) { return c >= '0' && c <= '9'; }) &&
                         (digits.text == "0" || digits.text[0] != '0');
    if (!decimal) {
        Fail(digits.at, Quote(digits) +
                            " is not a number here; a number is written in decimal, "
                            "without leading zeros, as -5, 0 or 42");
    }
    std::int64_t value = 0;
    for (char c : digits.text) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            break;
        }
    }
    value = negative ? -value : value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        Fail(digits.at, Quote(digits) +
                            " does not fit a counter; a number lies between "
                            "-2147483648 and 2147483647");
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace listpool::sim::guards
