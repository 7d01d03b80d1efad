// A session's explorer page says, beside each of the guards' calls, what
// docs/GUARD.md says of it in the sequence the thread is in: the same call
// on the same object is told apart by sequence (a reader's countMutex on its
// way in and out) and within one (the writer's two gate resets).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "sim/explore/session_page.h"

namespace listpool::sim {
namespace {

TEST(SessionPageTest, SaysWhyOfEveryGuardCallFromItsSequence) {
    std::ifstream in(std::string(LISTPOOL_SOURCE_DIR) + "/docs/example.session");
    std::stringstream session;
    session << in.rdbuf();
    // Along the fixed schedule: each thread's next call, then its columns
    // (inside, why).
    std::map<std::string, std::set<std::string>> whys;  // "thread call" -> what is said
    for (const StateView& view : SessionViews(session.str(), {})) {
        for (std::size_t thread = 0; thread < 4; ++thread) {
            const std::string& call = view.texts[thread * 3];
            const std::string& why = view.texts[thread * 3 + 2];
            if (call.starts_with("pool ") || call.starts_with("list ")) {
                EXPECT_FALSE(why.empty()) << "thread " << thread << " at " << call;
                whys[std::to_string(thread) + " " + call].insert(why);
            }
        }
    }
    // The delete writes the pool; the print reads the list.
    const auto& resets = whys["0 pool gateEvent->ResetEvent()"];
    EXPECT_EQ(resets.size(), 2u);
    EXPECT_TRUE(std::any_of(resets.begin(), resets.end(), [](const std::string& why) {
        return why.find("again") != std::string::npos;
    }));
    EXPECT_EQ(whys["1 list countMutex->Lock()"].size(), 2u);
}

}  // namespace
}  // namespace listpool::sim
