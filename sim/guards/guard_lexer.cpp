#include "sim/guards/guard_lexer.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace listpool::sim::guards {

namespace {

constexpr std::size_t kQuotedBytes = 32;

// Longest first, so that "->" is not read as "-" and ">".
constexpr std::array<std::string_view, 22> kPuncts = {
    "->", "::", "++", "--", "==", "!=", "<=", ">=", "&&", "||", "{",
    "}",  "(",  ")",  ";",  ",",  "=",  "<",  ">",  "!",  "*",  "-"};

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The bytes of the UTF-8 character starting at `rest`, or 1 when it is not
// one: a message quotes it whole or as a byte.
std::size_t CharacterLength(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest[0]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead >= 0xF8 || length > rest.size()) {
        return 1;
    }
    for (std::size_t n = 1; n < length; ++n) {
        if ((static_cast<unsigned char>(rest[n]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return length;
}

}  // namespace

std::variant<std::vector<Token>, TextError> Tokens(std::string_view text) {
    std::vector<Token> tokens;
    Where at{1, 1};
    std::size_t n = 0;
    // Moves past `count` bytes, keeping the line and column.
    auto advance = [&](std::size_t count) {
        for (std::size_t end = n + count; n < end; ++n) {
            if (text[n] == '\n') {
                ++at.line;
                at.column = 1;
            } else {
                ++at.column;
            }
        }
    };
    while (n < text.size()) {
        const char c = text[n];
        const std::string_view rest = text.substr(n);
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            advance(1);
        } else if (rest.starts_with("//")) {
            advance(std::min(rest.find('\n'), rest.size()));
        } else if (rest.starts_with("/*")) {
            const std::size_t close = rest.find("*/", 2);
            if (close == std::string_view::npos) {
                return TextError{at, "a comment opened here with /* is never closed with */"};
            }
            advance(close + 2);
        } else if (IsLetter(c) || IsDigit(c)) {
            std::size_t length = 1;
            while (length < rest.size() && (IsLetter(rest[length]) || IsDigit(rest[length]))) {
                ++length;
            }
            tokens.push_back(
                {IsDigit(c) ? Token::kNumber : Token::kName, rest.substr(0, length), at});
            advance(length);
        } else {
            Token token{Token::kOther, rest.substr(0, CharacterLength(rest)), at};
            for (std::string_view punct : kPuncts) {
                if (rest.starts_with(punct)) {
                    token = {Token::kPunct, rest.substr(0, punct.size()), at};
                    break;
                }
            }
            tokens.push_back(token);
            advance(token.text.size());
        }
    }
    tokens.push_back({Token::kEnd, {}, at});
    return tokens;
}

std::string Quote(const Token& token) {
    if (token.kind == Token::kEnd) {
        return "the end of the text";
    }
    std::string quoted = "`";
    for (std::size_t n = 0; n < token.text.size() && n < kQuotedBytes; ++n) {
        const auto byte = static_cast<unsigned char>(token.text[n]);
        if (byte >= 0x20 && byte < 0x7F && byte != '`') {
            quoted += static_cast<char>(byte);
        } else {
            std::array<char, 5> hex{};
            std::snprintf(hex.data(), hex.size(), "\\x%02X", byte);
            quoted += hex.data();
        }
    }
    if (token.text.size() > kQuotedBytes) {
        quoted += "...";
    }
    return quoted + "`";
}

}  // namespace listpool::sim::guards
