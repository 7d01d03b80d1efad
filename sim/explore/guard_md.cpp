#include "sim/explore/guard_md.h"

#include <cctype>
#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

namespace listpool::sim {

const char* const kPlaces[] = {"out",
                               "in ReaderArrives",
                               "inside, reading",
                               "in ReaderLeaves",
                               "in WriterArrives",
                               "inside, writing",
                               "in WriterLeaves"};

namespace {

// Its numbered items, without their markup, by sequence ("ReaderArrives",
// ...), each led by its name and number ("ReaderArrives, step 2: ").
std::map<std::string, std::vector<std::string>> gItems;
std::string gInside;  // what it says a thread does inside

std::string Plain(std::string text) {
    std::string plain;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 3, "<a ") == 0) {  // an anchor the page links to
            at = text.find("</a>", at) + 3;
        } else if (text.compare(at, 3, " ([") == 0 || text.compare(at, 2, "](") == 0) {
            at = text.find(')', at);  // a link's target, or a link in brackets
            at += at + 1 < text.size() && text[at + 1] == ')' ? 1 : 0;
        } else if (text[at] != '`' && text[at] != '[' && text[at] != '*') {
            plain += text[at];
        }
    }
    return plain;
}

}  // namespace

void ReadGuardMd() {
    if (!gItems.empty()) {
        return;
    }
    std::ifstream in(std::string(LISTPOOL_SOURCE_DIR) + "/docs/GUARD.md");
    const std::map<std::string, std::string> headings = {{"**A reader arrives**", "ReaderArrives"},
                                                         {"**A reader leaves**", "ReaderLeaves"},
                                                         {"**A writer arrives**", "WriterArrives"},
                                                         {"**A writer leaves**", "WriterLeaves"}};
    std::string sequence, text;
    for (std::string line; std::getline(in, line);) {
        text += line + " ";
        for (const auto& [heading, name] : headings) {
            sequence = line.starts_with(heading) ? name : sequence;
        }
        if (!sequence.empty() && line.size() > 3 && std::isdigit(line[0]) && line[1] == '.') {
            gItems[sequence].push_back(line.substr(3));
        } else if (!sequence.empty() && line.starts_with("   ") && !gItems[sequence].empty()) {
            gItems[sequence].back() += " " + line.substr(3);
        } else if (line.starts_with("## ")) {
            sequence.clear();
        }
    }
    for (auto& [sequence, items] : gItems) {
        for (std::size_t n = 0; n < items.size(); ++n) {
            items[n] = sequence + ", step " + std::to_string(n + 1) + ": " + Plain(items[n]);
        }
    }
    const std::size_t inside = text.find("Inside, a thread");
    if (gItems.size() != 4 || inside == std::string::npos) {
        throw std::runtime_error("docs/GUARD.md no longer walks through the four sequences");
    }
    gInside = text.substr(inside, text.find('.', inside) + 1 - inside);
}

std::string WhatGuardMdSays(Sequence in, Op op, const std::string& name, bool holdsWriterMutex) {
    if (in == kReading || in == kWriting) {
        return op == Op::kSleep ? gInside : "";
    }
    if (*kSequenceNames[in] == '\0' || name.empty()) {
        return "";
    }
    static const std::map<Op, std::string> kCalls = {{Op::kLock, "->Lock()"},
                                                     {Op::kEventLock, "->Lock()"},
                                                     {Op::kUnlock, "->Unlock()"},
                                                     {Op::kSet, "->SetEvent()"},
                                                     {Op::kReset, "->ResetEvent()"}};
    const auto call = kCalls.find(op);
    const std::vector<std::string>& items = gItems.at(kSequenceNames[in]);
    std::vector<std::string> matching;
    for (const std::string& item : items) {
        if (call != kCalls.end() && item.find(name + call->second) != std::string::npos) {
            matching.push_back(item);
        }
    }
    if (matching.empty()) {  // the writer giving countMutex back, in its loop
        for (const std::string& item : items) {
            matching.push_back(item.find(name) != std::string::npos ? item : "");
        }
        while (!matching.empty() && matching.back().empty()) {
            matching.pop_back();
        }
    }
    // The writer resets the gate twice: before and after taking writerMutex.
    return matching.empty() ? "" : holdsWriterMutex ? matching.back() : matching.front();
}

}  // namespace listpool::sim
