#include "sim/json/json_writer.h"

#include <stdexcept>

namespace listpool::sim {

void JsonWriter::Before(bool name) {
    if (open_.empty()) {
        if (name) {
            throw std::logic_error("JSON: a member's name outside an object");
        }
        if (written_ && !break_) {
            throw std::logic_error("JSON: a second value where one belongs");
        }
    } else if (Open& open = open_.back(); open.object && open.named) {
        if (name) {
            throw std::logic_error("JSON: a member's name where its value belongs");
        }
        open.named = false;  // the comma came before the name
    } else {
        if (name != open.object) {
            throw std::logic_error(open.object ? "JSON: an object's member without a name"
                                               : "JSON: a member's name inside an array");
        }
        if (open.any) {
            out_ += ',';
        }
        open.any = true;
    }
    if (break_) {
        out_ += '\n';
        break_ = false;
    }
}

void JsonWriter::Quote(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out_ += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out_ += '\\';
            out_ += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            out_ += "\\u00";
            out_ += kHex[byte >> 4];
            out_ += kHex[byte & 15];
        } else {
            out_ += c;
        }
    }
    out_ += '"';
}

JsonWriter& JsonWriter::Scalar(std::string_view json) {
    Before(false);
    out_ += json;
    written_ = written_ || open_.empty();
    return *this;
}

JsonWriter& JsonWriter::Object() {
    Before(false);
    out_ += '{';
    open_.push_back({true});
    return *this;
}

JsonWriter& JsonWriter::Array() {
    Before(false);
    out_ += '[';
    open_.push_back({false});
    return *this;
}

JsonWriter& JsonWriter::End() {
    if (open_.empty()) {
        throw std::logic_error("JSON: an end with nothing open");
    }
    if (open_.back().named) {
        throw std::logic_error("JSON: a member's name without its value");
    }
    if (break_) {
        out_ += '\n';
        break_ = false;
    }
    out_ += open_.back().object ? '}' : ']';
    open_.pop_back();
    written_ = written_ || open_.empty();
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    Before(true);
    Quote(name);
    out_ += ':';
    open_.back().named = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    Before(false);
    Quote(text);
    written_ = written_ || open_.empty();
    return *this;
}

JsonWriter& JsonWriter::Strings(const std::vector<std::string>& texts) {
    Array();
    for (const std::string& text : texts) {
        String(text);
    }
    return End();
}

JsonWriter& JsonWriter::Break() {
    break_ = true;
    return *this;
}

std::string JsonWriter::Take() {
    if (!open_.empty()) {
        throw std::logic_error("JSON: taken with a container open");
    }
    if (break_) {
        out_ += '\n';
    }
    std::string text = std::move(out_);
    *this = JsonWriter();
    return text;
}

}  // namespace listpool::sim
