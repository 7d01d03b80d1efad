// The guard text's words: what the reader (guard_text.cpp) parses. Split
// from the parser so that it sees only whole words with their places.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sim/guards/guard_text.h"

namespace listpool::sim::guards {

struct Token {
    enum Kind {
        kName,    // a letter or _, then letters, digits and _
        kNumber,  // a digit, then letters, digits and _: checked by the parser
        kPunct,   // one of the operators and brackets the language has
        kOther,   // a byte (or a UTF-8 character) that none of those begins
        kEnd,     // after the last word
    };
    Kind kind = kEnd;
    std::string_view text;
    Where at;

    bool Is(std::string_view punct) const { return kind == kPunct && text == punct; }
    bool IsName(std::string_view name) const { return kind == kName && text == name; }
};

// The words of `text`, comments and layout dropped, ending in one kEnd.
// A /* comment */ that never closes is the one error: the lexer cannot say
// where the text would have gone on.
std::variant<std::vector<Token>, TextError> Tokens(std::string_view text);

// How a message shows a word: in backquotes, at most a few dozen
// characters, any byte that is not printable ASCII written as \xNN, so that
// the message is safe in a page and a terminal. kEnd is "the end of the
// text".
std::string Quote(const Token& token);

}  // namespace listpool::sim::guards
