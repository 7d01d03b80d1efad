// The schedules listpool-sim runs, as its command line names them, and the
// command that replays a run under one of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/sim.h"
#include "platform/sim/strategies.h"

namespace listpool::sim {

struct Schedule {
    enum class Kind { kFixed, kRandom, kPct, kReplay };

    Kind kind = Kind::kFixed;
    std::uint64_t seed = 0;    // kRandom, kPct
    PctParameters pct;         // kPct
    std::vector<int> choices;  // kReplay: then the fixed schedule
};

// A chooser that makes the schedule's runs.
class ScheduleChooser final : public Chooser {
  public:
    explicit ScheduleChooser(const Schedule& schedule);
    ScheduleChooser(const ScheduleChooser&) = delete;
    ScheduleChooser& operator=(const ScheduleChooser&) = delete;

    int Choose(const std::vector<int>& enabled, int current) override {
        return chooser_->Choose(enabled, current);
    }

  private:
    FixedChooser fixed_;  // what follows a replay's choices
    std::variant<FixedChooser, RandomChooser, PctChooser, ReplayChooser> strategy_;
    Chooser* chooser_ = nullptr;
};

// listpool-sim's options that name the schedule: "", "--random 7",
// "--pct 7", "--pct 7 --pct-drops 3 --pct-points 90" (the parameters other
// than the default), "--replay '1 1 3 0'".
std::string ScheduleArguments(const Schedule& schedule);

// Reads one of those options at argv[i], moving i past its values. false
// when argv[i] is none of them; `bad` when its value is not a number.
bool ParseScheduleArgument(int argc, char** argv, int& i, Schedule& schedule, bool& bad);

// The one shell command that replays a run of the session under the
// schedule, with `program` the simulator as the command is to name it (its
// caller knows where the build puts it, and from where the command runs).
std::string ListpoolSimCommand(const Schedule& schedule, std::string_view session,
                               std::string_view program);

}  // namespace listpool::sim
