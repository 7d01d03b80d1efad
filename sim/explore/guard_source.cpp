#include "sim/explore/guard_source.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "sim/json/json_writer.h"

namespace listpool::sim {

namespace {

std::string Trimmed(const std::string& line) {
    const std::size_t first = line.find_first_not_of(' ');
    return first == std::string::npos ? "" : line.substr(first);
}

bool IsComment(const std::string& line) {
    return Trimmed(line).starts_with("//");
}

// The statements of a function's body (its lines between the braces, less
// comments and blank lines), trimmed, with each one's line.
std::vector<std::pair<std::string, std::size_t>> Statements(const std::vector<std::string>& f) {
    std::vector<std::pair<std::string, std::size_t>> statements;
    for (std::size_t n = 1; n + 1 < f.size(); ++n) {
        if (!IsComment(f[n]) && !Trimmed(f[n]).empty()) {
            statements.emplace_back(Trimmed(f[n]), n);
        }
    }
    return statements;
}

}  // namespace

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FunctionLines(const std::vector<std::string>& file,
                                       const std::string& opening) {
    for (std::size_t n = 0; n < file.size(); ++n) {
        if (Trimmed(file[n]) != opening) {
            continue;
        }
        const std::size_t indent = file[n].size() - opening.size();
        std::vector<std::string> lines;
        for (std::size_t k = n; k < file.size(); ++k) {
            std::size_t cut = 0;  // its indent, as far as it goes
            while (cut < indent && cut < file[k].size() && file[k][cut] == ' ') {
                ++cut;
            }
            lines.push_back(file[k].substr(cut));
            if (k > n && (lines.back() == "}" || lines.back() == "};") &&
                file[k].size() == indent + lines.back().size()) {
                return lines;
            }
        }
    }
    return {};
}

std::string GuardSourceText(const GuardSource& source) {
    std::vector<std::string> lines;
    for (const SourceSequence& sequence : source.sequences) {
        if (lines.size() + 1 < static_cast<std::size_t>(sequence.line)) {
            lines.resize(static_cast<std::size_t>(sequence.line) - 1);
        }
        lines.insert(lines.end(), sequence.text.begin(), sequence.text.end());
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

GuardSource TextSource(std::string_view text, const std::string& name) {
    GuardSource source{name, {{name, 1, {}, {}}}, ""};
    SourceSequence& all = source.sequences[0];
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        all.text.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    all.struck.assign(all.text.size(), false);
    return source;
}

GuardSource ReadGuardSource(const std::string& root) {
    GuardSource source{"store/read_write_guard.cpp", {}, ""};
    const std::vector<std::string> file = FileLines(root + "/" + source.file);
    for (const char* name : {"ReaderArrives", "ReaderLeaves", "WriterArrives", "WriterLeaves"}) {
        const std::string opening = "void ReadWriteGuard::" + std::string(name) + "() {";
        SourceSequence sequence{name, 0, FunctionLines(file, opening), {}};
        for (std::size_t n = 0; n < file.size() && sequence.line == 0; ++n) {
            sequence.line = file[n] == opening ? static_cast<int>(n + 1) : 0;
        }
        if (sequence.text.empty()) {
            throw std::runtime_error(source.file + " no longer has " + opening);
        }
        sequence.struck.assign(sequence.text.size(), false);
        source.sequences.push_back(std::move(sequence));
    }
    return source;
}

void StrikeLeftOut(GuardSource& source, const std::string& sequence,
                   const std::vector<std::string>& broken, const std::string& from) {
    for (SourceSequence& s : source.sequences) {
        if (s.name != sequence) {
            continue;
        }
        const auto real = Statements(s.text), other = Statements(broken);
        // The longest common run, by the usual table of its lengths.
        std::vector<std::vector<std::size_t>> longest(real.size() + 1,
                                                      std::vector<std::size_t>(other.size() + 1));
        for (std::size_t i = real.size(); i-- > 0;) {
            for (std::size_t j = other.size(); j-- > 0;) {
                longest[i][j] = real[i].first == other[j].first
                                    ? longest[i + 1][j + 1] + 1
                                    : std::max(longest[i + 1][j], longest[i][j + 1]);
            }
        }
        for (std::size_t i = 0, j = 0; i < real.size();) {
            if (j < other.size() && real[i].first == other[j].first) {
                ++i, ++j;
            } else if (j < other.size() && longest[i][j + 1] > longest[i + 1][j]) {
                ++j;
            } else {
                s.struck[real[i++].second] = true;
            }
        }
        for (std::size_t n = s.text.size(); n-- > 1;) {
            if (IsComment(s.text[n - 1]) && s.struck[n]) {
                s.struck[n - 1] = true;
            }
        }
        source.leftOutBy = from;
        return;
    }
    throw std::runtime_error("the guard has no sequence " + sequence);
}

std::string GuardSourceJson(const GuardSource& source) {
    JsonWriter json;
    json.Object().Key("file").String(source.file).Key("leftOutBy").String(source.leftOutBy);
    json.Key("sequences").Array();
    for (const SourceSequence& s : source.sequences) {
        std::vector<std::size_t> struck;
        for (std::size_t n = 0; n < s.struck.size(); ++n) {
            if (s.struck[n]) {
                struck.push_back(n);
            }
        }
        json.Object().Key("name").String(s.name).Key("line").Int(s.line);
        json.Key("text").Strings(s.text).Key("struck").Ints(struck).End();
    }
    return json.End().End().Take();
}

}  // namespace listpool::sim
