// The lab's levels: their lessons are sections of docs/GUARD.md, their
// pars agree with the distances the hints give, and a fixing level starts
// from a guard that fails a check and that the real guard mends.
#include "sim/explore/levels.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "sim/guards/text_guard.h"
#include "sim/guards/verdicts.h"

namespace listpool::sim {
namespace {

// Every anchor of GUARD.md: its <a id> marks and its headings' slugs.
std::set<std::string> GuardMdAnchors() {
    std::ifstream in(std::string(LISTPOOL_SOURCE_DIR) + "/docs/GUARD.md");
    std::stringstream text;
    text << in.rdbuf();
    std::set<std::string> anchors;
    const std::string all = text.str(), mark = "<a id=\"";
    for (std::size_t at = all.find(mark); at != std::string::npos; at = all.find(mark, at + 1)) {
        const std::size_t from = at + mark.size();
        anchors.insert(all.substr(from, all.find('"', from) - from));
    }
    std::istringstream lines(all);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("#")) {
            std::string slug;
            for (const char c : line.substr(line.find(' ') + 1)) {
                if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
                    slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                } else if (c == ' ' || c == '-') {
                    slug += '-';
                }
            }
            anchors.insert(slug);
        }
    }
    return anchors;
}

TEST(Levels, EachLessonIsASectionOfGuardMdAndEachNameIsFoundOnce) {
    const std::set<std::string> anchors = GuardMdAnchors();
    std::set<std::string> names;
    ASSERT_GE(Levels().size(), 12U);
    for (const Level& level : Levels()) {
        EXPECT_TRUE(anchors.contains(level.lesson)) << level.name << ": " << level.lesson;
        EXPECT_TRUE(names.insert(level.name).second) << level.name;
        EXPECT_EQ(FindLevel(level.name), &level);
    }
    EXPECT_EQ(FindLevel("no-such-level"), nullptr);
}

// The par a level's list gives is the hint's distance at the start: two
// searches for the goal, one forward and one backward, that must meet.
TEST(Levels, EachParIsTheHintsDistanceFromTheStart) {
    const std::string list = LevelsJson();
    for (const Level& level : Levels()) {
        if (level.goal.kind == LevelGoal::kFix) {
            EXPECT_THROW(LevelPage(level), std::runtime_error) << level.name;
            continue;
        }
        // The entry's line, and its "par" in it.
        const std::size_t entry = list.find("{\"name\":\"" + std::string(level.name) + "\"");
        ASSERT_NE(entry, std::string::npos) << level.name;
        const std::string line = list.substr(entry, list.find('\n', entry) - entry);
        const std::size_t at = line.find("\"par\":");
        ASSERT_NE(at, std::string::npos) << level.name;
        const int par = std::stoi(line.substr(at + 6));
        const std::string distances = LevelDistances(level);
        const std::string first = distances.substr(1, distances.find(',') - 1);
        if (level.goal.kind == LevelGoal::kLap) {
            // The hint counts to a state of the lap; the par goes round it too.
            EXPECT_LT(std::stoi(first), par) << level.name;
        } else {
            EXPECT_EQ(std::stoi(first), par) << level.name;
        }
    }
}

// On the workshop's scenes, and for a level that asks it on its own scene
// too, where the weak-fairness verdicts are excused.
TEST(Levels, AFixingLevelStartsBrokenAndTheRealGuardMendsIt) {
    const auto holds = [](const std::string& text, const Level& level) {
        const guards::GuardCode code(guards::ReadAccepted(text));
        for (const GuardCast& cast : guards::kDefaultScenes) {
            if (!guards::CheckText(code, cast).Holds()) {
                return false;
            }
        }
        if (!level.goal.ownScene) {
            return true;
        }
        for (const guards::Verdict& verdict : guards::CheckText(code, level.cast).verdicts) {
            if (!verdict.holds && verdict.name.find("(weak fairness)") == std::string::npos) {
                return false;
            }
        }
        return true;
    };
    const std::string real = LevelGuardText(Levels().front());
    int fixing = 0;
    for (const Level& level : Levels()) {
        if (level.goal.kind == LevelGoal::kFix) {
            ++fixing;
            EXPECT_FALSE(holds(LevelGuardText(level), level)) << level.name;
            EXPECT_TRUE(holds(real, level)) << level.name;
        }
    }
    EXPECT_GE(fixing, 3);
}

}  // namespace
}  // namespace listpool::sim
