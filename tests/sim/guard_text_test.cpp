// The guard language's reader: the real guard reads, into the tree its
// file has; everything else it cannot take is refused at its place with a
// sentence; and no bytes at all make it crash or recurse without bound.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <variant>

#include "sim/explore/guard_source.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/guard_writer.h"

namespace listpool::sim::guards {
namespace {

using Text = std::variant<GuardText, TextError>;

const std::string kOthers =
    "void ReaderLeaves() {}\nvoid WriterArrives() {}\nvoid WriterLeaves() {}\n";

// A text whose ReaderArrives holds `statement` at line 2, column 5.
std::string InReaderArrives(const std::string& statement) {
    return "void ReaderArrives() {\n    " + statement + "\n}\n" + kOthers;
}

std::string Repeated(const std::string& piece, int times) {
    std::string text;
    for (int n = 0; n < times; ++n) {
        text += piece;
    }
    return text;
}

// A message is shown in a page and a terminal: one short line of
// printable ASCII whatever the text held.
void ExpectShowable(const TextError& error) {
    EXPECT_LT(error.message.size(), 400u) << error.message;
    for (char c : error.message) {
        ASSERT_TRUE(c >= 0x20 && c < 0x7F) << Describe(error);
    }
}

TEST(GuardTextTest, RealGuardReadsIntoItsFilesTree) {
    const std::string source = GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    const Text read = ReadGuardText(source);
    ASSERT_TRUE(std::holds_alternative<GuardText>(read)) << Describe(std::get<TextError>(read));
    const GuardText& guard = std::get<GuardText>(read);
    ASSERT_EQ(guard.objects.size(), 4u);
    EXPECT_EQ(guard.objects[3].name, "gateEvent");
    EXPECT_FALSE(guard.objects[3].mutex);
    ASSERT_EQ(guard.counters.size(), 1u);

    // Each statement's place is where the file writes it.
    const std::vector<std::string> file =
        FileLines(LISTPOOL_SOURCE_DIR "/store/read_write_guard.cpp");
    std::function<void(const std::vector<Statement>&)> check = [&](const auto& block) {
        for (const Statement& statement : block) {
            std::string head = WriteStatementLine(guard, statement);
            head = head.substr(0, head.find(" ... }"));
            ASSERT_LE(statement.at.line, static_cast<int>(file.size()));
            EXPECT_EQ(file[statement.at.line - 1].substr(statement.at.column - 1), head);
            check(statement.body);
            check(statement.orElse);
        }
    };
    for (const Sequence& sequence : guard.sequences) {
        check(sequence.body);
    }

    // The shape the guard's documentation describes.
    const auto& leaves = guard.sequences[kReaderLeaves].body;
    ASSERT_EQ(leaves.size(), 3u);
    EXPECT_EQ(leaves[1].kind, Statement::kIf);
    EXPECT_EQ(leaves[1].condition.left.kind, Operand::kPreDecrement);
    EXPECT_EQ(leaves[1].condition.right.number, 0);
    const auto& arrives = guard.sequences[kWriterArrives].body;
    ASSERT_EQ(arrives.size(), 4u);
    EXPECT_EQ(arrives[3].kind, Statement::kForEver);
    ASSERT_EQ(arrives[3].body.size(), 4u);
    EXPECT_EQ(arrives[3].body[2].body[0].kind, Statement::kReturn);
    EXPECT_EQ(guard.sequences[kReaderArrives].body.size(), 5u);
    EXPECT_EQ(guard.sequences[kWriterLeaves].body.size(), 3u);
}

TEST(GuardTextTest, TheRestOfTheLanguageReads) {
    const Text read = ReadGuardText(
        "/* a turnstile */ CMutex* turnstile ACQUIRED_AFTER(writerMutex) = new CMutex();\n"
        "CEvent* doorEvent = new CEvent(false); CEvent* openEvent;\n"
        "int waiting GUARDED_BY(turnstile) = -2147483648;\n"
        "void ReaderArrives() { while (waiting > 0 && !(readerCount++ >= 3 || waiting == "
        "readerCount)) doorEvent->Lock(); waiting = readerCount; }\n"
        "void ReadWriteGuard::WriterLeaves() { if (waiting-- != 1) { --waiting; } else if "
        "(waiting < -1) openEvent->SetEvent(); else { waiting++; } }\n" +
        kOthers.substr(0, kOthers.rfind("void")));
    ASSERT_TRUE(std::holds_alternative<GuardText>(read)) << Describe(std::get<TextError>(read));
    const GuardText& guard = std::get<GuardText>(read);
    ASSERT_EQ(guard.objects.size(), 7u);
    EXPECT_FALSE(guard.objects[5].startsSet);
    EXPECT_TRUE(guard.objects[6].startsSet);
    ASSERT_EQ(guard.counters.size(), 2u);
    EXPECT_EQ(guard.counters[1].guardedBy, 4);
    EXPECT_EQ(guard.counters[1].initial, INT32_MIN);
    const Statement& loop = guard.sequences[kReaderArrives].body[0];
    ASSERT_EQ(loop.condition.kind, Condition::kAnd);
    const Condition& negated = loop.condition.operands[1];
    ASSERT_EQ(negated.kind, Condition::kNot);
    EXPECT_EQ(negated.operands[0].kind, Condition::kOr);
    EXPECT_EQ(negated.operands[0].operands[0].left.kind, Operand::kPostIncrement);
    EXPECT_EQ(loop.body.size(), 1u);
    const Statement& choice = guard.sequences[kWriterLeaves].body[0];
    ASSERT_EQ(choice.orElse.size(), 1u);
    EXPECT_EQ(choice.orElse[0].kind, Statement::kIf);
    EXPECT_EQ(choice.orElse[0].orElse[0].kind, Statement::kIncrement);
}

struct Refused {
    std::string text;
    int line, column;
    std::string word;  // a part of the message
};

TEST(GuardTextTest, RefusesWhatTheLanguageHasNotAtItsPlace) {
    const std::string rest = "void ReaderArrives() {}\n" + kOthers;
    const Refused cases[] = {
        {InReaderArrives("delete countMutex;"), 2, 5, "is not a statement here"},
        {InReaderArrives("gateEvent->Unlock();"), 2, 16, "is an event"},
        {InReaderArrives("countMutex->SetEvent();"), 2, 17, "is a mutex"},
        {InReaderArrives("turnstile->Lock();"), 2, 5, "not one of the guard's objects"},
        {InReaderArrives("++waiting;"), 2, 7, "counters"},
        {InReaderArrives("readerCount->Lock();"), 2, 16, "is a counter"},
        {InReaderArrives("readerCount = gateEvent;"), 2, 19, "not a counter"},
        {InReaderArrives("gateEvent->Lock()"), 3, 1, "follows the call"},
        {InReaderArrives("break;"), 2, 5, "inside a while"},
        {InReaderArrives("if (readerCount == 2147483648) {}"), 2, 24, "does not fit"},
        {InReaderArrives("readerCount = -2147483649;"), 2, 20, "does not fit"},
        {InReaderArrives("readerCount = 010;"), 2, 19, "decimal"},
        {InReaderArrives("if (readerCount == 1 == 2) {}"), 2, 26, "one comparison"},
        {InReaderArrives("if (1 == 2) {}"), 2, 9, "two numbers"},
        {InReaderArrives("if (++readerCount == readerCount) {}"), 2, 9, "undefined"},
        {InReaderArrives("if (!readerCount == 0) {}"), 2, 10, "brackets"},
        {InReaderArrives("while (readerCount) {}"), 2, 23, "compares"},
        {InReaderArrives(";"), 2, 5, "lone"},
        {InReaderArrives("return 1;"), 2, 12, "returns nothing"},
        {InReaderArrives("for (int i = 0;;) {}"), 2, 10, "for (;;)"},
        {InReaderArrives("{} else {}"), 2, 8, "`else` stands only"},
        {InReaderArrives("/* never closed"), 2, 5, "never closed"},
        {InReaderArrives(Repeated("if (readerCount == 0) ", 9) + "return;"), 2, 203, "8 deep"},
        {InReaderArrives(Repeated("++readerCount; ", 65)), 2, 965, "65th"},
        {InReaderArrives("if (" + Repeated("(", 17) + "readerCount == 0" + Repeated(")", 17) +
                         ") {}"),
         2, 25, "16 deep"},
        {"CMutex* countMutex;\n" + rest, 1, 9, "guard's own"},
        {"CMutex* a;\nCEvent* a;\n" + rest, 2, 9, "first at line 1"},
        {"CMutex* m;CMutex* n; CMutex* o; CEvent* p; CEvent* q;\n" + rest, 1, 52, "at most 4"},
        {"int a GUARDED_BY(countMutex) = 0; int b GUARDED_BY(countMutex) = 0;\n"
         "int c GUARDED_BY(countMutex) = 0;\n" +
             rest,
         2, 5, "at most 2"},
        {"std::int32_t w GUARDED_BY(gateEvent) = 0;\n" + rest, 1, 27, "is an event"},
        {"std::int32_t w = 0;\n" + rest, 1, 16, "GUARDED_BY"},
        {"CEvent* e = new CMutex;\n" + rest, 1, 13, "new CEvent"},
        {"CMutex* if;\n" + rest, 1, 9, "word of C++"},
        {"#include <x>\n" + rest, 1, 1, "cannot stand here"},
        {"void Foo() {}\n" + rest, 1, 6, "not one of the guard's sequences"},
        {rest + "void ReaderLeaves() {}\n", 5, 6, "first at line 2"},
        {"void ReaderArrives() {}\nvoid ReaderLeaves() {}\nvoid WriterArrives() {}\n", 4, 1,
         "no WriterLeaves"},
        {"void ReaderArrives() {\n    gateEvent->Lock();\n", 3, 1, "ends inside a function"},
        {rest + std::string(kMaxTextBytes, ' '), 1, 1, "at most 20000"},
    };
    for (const Refused& refused : cases) {
        const Text read = ReadGuardText(refused.text);
        ASSERT_TRUE(std::holds_alternative<TextError>(read)) << refused.text;
        const TextError& error = std::get<TextError>(read);
        EXPECT_EQ(error.at.line, refused.line) << Describe(error);
        EXPECT_EQ(error.at.column, refused.column) << Describe(error);
        EXPECT_NE(error.message.find(refused.word), std::string::npos) << Describe(error);
        ExpectShowable(error);
    }
    EXPECT_EQ(Describe(std::get<TextError>(ReadGuardText(InReaderArrives("delete x;")))),
              "line 2, column 5: `delete` is not a statement here; a statement is a call on one "
              "of the guard's objects (X->Lock(); X->Unlock(); X->SetEvent(); X->ResetEvent();), "
              "++, -- or = on a counter, if, while, for (;;), break; or return;");
}

TEST(GuardTextTest, HostileBytesAreRefusedWithAShowableMessage) {
    const std::string real = GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    const std::string hostile[] = {
        InReaderArrives(std::string("\0\x01", 2)),
        InReaderArrives("\xFF\xFE\xC3"),
        InReaderArrives("\xE2\x80\xAE" + std::string(100, 'a')),  // a right-to-left mark
        InReaderArrives("`" + std::string(5000, 'x') + "`;"),
        std::string(1 << 20, '('),
        InReaderArrives("if (" + Repeated("(", 9000) + ") {}"),
        InReaderArrives("if (" + Repeated("!", 9000) + ") {}"),
        InReaderArrives("if (" + Repeated("readerCount == 0 || ", 900) + "readerCount == 0) {}"),
        InReaderArrives(Repeated("{", 9000)),
        InReaderArrives(Repeated("for (;;) ", 2000)),
    };
    for (const std::string& text : hostile) {
        const Text read = ReadGuardText(text);
        ASSERT_TRUE(std::holds_alternative<TextError>(read)) << text.substr(0, 80);
        ExpectShowable(std::get<TextError>(read));
    }
    // The real guard with bytes changed at random: a tree or a showable
    // error, every time.
    std::mt19937 random(35);
    for (int round = 0; round < 3000; ++round) {
        std::string text = real;
        for (int change = 0; change < 1 + round % 4; ++change) {
            text[random() % text.size()] = static_cast<char>(random() % 256);
        }
        const Text read = ReadGuardText(text);
        if (const auto* error = std::get_if<TextError>(&read)) {
            ExpectShowable(*error);
        }
    }
}

}  // namespace
}  // namespace listpool::sim::guards
