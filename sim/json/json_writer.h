// JSON text written as it is made. Every JSON the simulator gives out (the
// explorer pages' data, the Chrome trace, the lab's answers, the guard's
// code) goes through one writer, so that commas, nesting and escaping are
// right in one place rather than in each emitter's string sums.
//
// The text is compact, without spaces; Break() puts a newline where a reader
// of the file wants one, between records. A misuse (a member without a
// name, an unclosed container, a second value where one belongs) throws
// std::logic_error rather than writing JSON that no one can read.
#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <vector>

namespace listpool::sim {

class JsonWriter {
  public:
    // Opens an object or an array, which End() closes.
    JsonWriter& Object();
    JsonWriter& Array();
    JsonWriter& End();

    // The name of an open object's next member, whose value comes next.
    JsonWriter& Key(std::string_view name);

    // Text as a JSON string. Quotes and backslashes are escaped, control
    // characters and every byte beyond ASCII written \u00XX: the bytes need
    // not be UTF-8 (a thread may write anything), so each one stands for
    // itself, and the text stays ASCII whatever it holds.
    JsonWriter& String(std::string_view text);
    template <std::integral N>
    requires(!std::same_as<N, bool>) JsonWriter& Int(N n) { return Scalar(std::to_string(n)); }
    JsonWriter& Bool(bool value) { return Scalar(value ? "true" : "false"); }
    JsonWriter& Null() { return Scalar("null"); }
    // A value already written as JSON (by another writer), as it stands.
    JsonWriter& Raw(std::string_view json) { return Scalar(json); }

    // Arrays of integers (a thread set, a schedule's choices) and of texts.
    template <typename Numbers>
    JsonWriter& Ints(const Numbers& numbers) {
        Array();
        for (const auto n : numbers) {
            Int(n);
        }
        return End();
    }
    JsonWriter& Strings(const std::vector<std::string>& texts);

    // Whatever comes next (a value, a member, the end of the container)
    // begins on a new line, after the comma that comes before it. At the top
    // level it ends a record: another value may follow it, as in JSON lines.
    JsonWriter& Break();

    // The text written, once every container is closed; the writer starts
    // again empty.
    std::string Take();

  private:
    struct Open {
        bool object;
        bool any = false;    // a member or an element has been written
        bool named = false;  // an object's member has its name and awaits its value
    };
    // What comes before any value or name: the checks, the comma and the
    // pending newline.
    void Before(bool name);
    void Quote(std::string_view text);
    JsonWriter& Scalar(std::string_view json);

    std::string out_;
    std::vector<Open> open_;
    bool written_ = false;  // a whole value stands at the top level
    bool break_ = false;    // a newline is due before the next token
};

}  // namespace listpool::sim
