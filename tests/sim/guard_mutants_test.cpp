// A guard text written back out and its mutants: the text reads back to
// the same tree, in the real guard's own layout, and each mutant is the
// one change its description names.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <variant>

#include "sim/explore/guard_source.h"
#include "sim/guards/guard_equal.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/guard_writer.h"
#include "sim/guards/mutants.h"

namespace listpool::sim::guards {
namespace {

GuardText Read(const std::string& text) {
    std::variant<GuardText, TextError> read = ReadGuardText(text);
    if (auto* error = std::get_if<TextError>(&read)) {
        ADD_FAILURE() << Describe(*error) << "\n" << text;
        return {};
    }
    return std::get<GuardText>(std::move(read));
}

// The lines of `text` that hold code: no comment, no blank line.
std::vector<std::string> CodeLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos && line.compare(first, 2, "//") != 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

const char* const kEveryKind =
    "CMutex* turnstile = new CMutex;\n"
    "CEvent* doorEvent = new CEvent(false);\n"
    "CEvent* openEvent;\n"
    "int waiting GUARDED_BY(turnstile) = -2147483648;\n"
    "void ReaderArrives() { while (waiting > 0 && !(readerCount++ >= 3 || waiting == "
    "readerCount)) doorEvent->Lock(); waiting = readerCount; waiting = -7; }\n"
    "void ReaderLeaves() { if ((waiting == 1 || waiting == 2) && (waiting == 3 && waiting < 4)) "
    "{} if (waiting == 1 || (waiting == 2 || waiting == 3)) {} if (!(!(--waiting <= 0))) {} }\n"
    "void WriterArrives() { for (;;) { if (waiting-- != 1) { --waiting; break; } else if "
    "(waiting < -1) openEvent->SetEvent(); else { waiting++; openEvent->ResetEvent(); } } }\n"
    "void WriterLeaves() { turnstile->Lock(); turnstile->Unlock(); return; }\n";

TEST(GuardWriterTest, TextReadsBackToTheSameGuard) {
    const std::string real = GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    const GuardText guard = Read(real);
    // In the file's own layout: the same lines, comments aside.
    EXPECT_EQ(CodeLines(WriteText(guard)), CodeLines(real));

    std::vector<GuardText> texts = {guard, Read(kEveryKind)};
    for (const Mutant& mutant : Mutants(guard)) {
        texts.push_back(mutant.text);
    }
    for (const GuardText& text : texts) {
        const std::string written = WriteText(text);
        EXPECT_TRUE(SameGuard(Read(written), text)) << written;
    }
    // Sameness sees each part: a changed guard is another.
    GuardText changed = texts[1];
    changed.counters[1].initial = 0;
    EXPECT_FALSE(SameGuard(changed, texts[1]));
    changed = texts[1];
    changed.sequences[kReaderLeaves].body[2].condition.operands[0].kind = Condition::kAnd;
    EXPECT_FALSE(SameGuard(changed, texts[1]));
}

TEST(GuardWriterTest, CxxIsTheGuardsStruct) {
    const std::string cxx = WriteCxx(Read(kEveryKind), "Mutant7");
    EXPECT_TRUE(
        cxx.starts_with("struct Mutant7 {\n    Mutant7() {\n"
                        "        doorEvent->ResetEvent();\n    }\n"
                        "    void BeginRead() {\n"
                        "        while (waiting > 0 && !(readerCount++ >= 3 || "
                        "waiting == readerCount)) {\n"))
        << cxx;
    for (const char* member : {"    std::int32_t readerCount = 0;\n"
                               "    std::int32_t waiting = (-2147483647 - 1);\n"
                               "    CMutex* countMutex = new CMutex;\n"
                               "    CMutex* writerMutex = new CMutex;\n"
                               "    CEvent* noReadersEvent = new CEvent;\n"
                               "    CEvent* gateEvent = new CEvent;\n"
                               "    CMutex* turnstile = new CMutex;\n"
                               "    CEvent* doorEvent = new CEvent;\n"
                               "    CEvent* openEvent = new CEvent;\n};\n",
                               "    void EndWrite() {\n        turnstile->Lock();\n"}) {
        EXPECT_NE(cxx.find(member), std::string::npos) << member << "\n" << cxx;
    }
}

TEST(GuardWriterTest, EveryMutantIsTheChangeItsDescriptionNames) {
    const std::string real = GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    const GuardText guard = Read(real);
    const std::vector<std::string> file =
        FileLines(LISTPOOL_SOURCE_DIR "/store/read_write_guard.cpp");
    const std::vector<Mutant> mutants = Mutants(guard);
    std::vector<std::string> original = CodeLines(WriteText(guard));
    std::sort(original.begin(), original.end());
    std::set<std::string> descriptions;
    int deletions = 0;
    for (const Mutant& mutant : mutants) {
        EXPECT_TRUE(descriptions.insert(mutant.description).second) << mutant.description;
        EXPECT_FALSE(SameGuard(mutant.text, guard)) << mutant.description;
        std::vector<std::string> lines = CodeLines(WriteText(mutant.text));
        std::sort(lines.begin(), lines.end());
        int line = 0;
        char quoted[200] = {};
        if (std::sscanf(mutant.description.c_str(), "deletes line %d `%199[^`]`", &line, quoted) ==
            2) {
            ++deletions;
            // The line quoted is the file's, and the text lost it.
            const std::string head =
                std::string(quoted).substr(0, std::string(quoted).find(" ..."));
            ASSERT_LE(line, static_cast<int>(file.size()));
            EXPECT_NE(file[line - 1].find(head), std::string::npos) << mutant.description;
            EXPECT_LT(lines.size(), original.size()) << mutant.description;
        } else {
            // A swap keeps every line.
            EXPECT_TRUE(mutant.description.starts_with("swaps lines ")) << mutant.description;
            EXPECT_EQ(lines, original) << mutant.description;
        }
    }
    // A deletion for every statement: every code line but the functions'
    // first and the closing braces.
    const auto statements = std::count_if(original.begin(), original.end(), [](const auto& l) {
        return !l.starts_with("void") && l.find_first_not_of(' ') != l.find('}');
    });
    EXPECT_EQ(deletions, statements);
    EXPECT_GT(mutants.size(), static_cast<std::size_t>(deletions));
    std::printf("the real guard has %zu mutants, %d of them deletions\n", mutants.size(),
                deletions);
}

}  // namespace
}  // namespace listpool::sim::guards
