#include "sim/runs/schedule.h"

#include <cerrno>
#include <cstdlib>

#include "sim/runs/session.h"
#include "sim/search/choice_text.h"

namespace listpool::sim {
namespace {

bool ParseNumber(const char* text, std::uint64_t& number) {
    char* end = nullptr;
    errno = 0;
    number = std::strtoull(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0;
}

}  // namespace

ScheduleChooser::ScheduleChooser(const Schedule& schedule) {
    switch (schedule.kind) {
        case Schedule::Kind::kRandom:
            strategy_.emplace<RandomChooser>(schedule.seed);
            break;
        case Schedule::Kind::kPct:
            strategy_.emplace<PctChooser>(schedule.seed, schedule.pct);
            break;
        case Schedule::Kind::kReplay:
            strategy_.emplace<ReplayChooser>(schedule.choices, fixed_);
            break;
        default:
            break;
    }
    chooser_ = std::visit([](Chooser& strategy) { return &strategy; }, strategy_);
}

std::string ScheduleArguments(const Schedule& schedule) {
    switch (schedule.kind) {
        case Schedule::Kind::kRandom:
            return "--random " + std::to_string(schedule.seed);
        case Schedule::Kind::kPct: {
            std::string arguments = "--pct " + std::to_string(schedule.seed);
            const PctParameters defaults;
            if (schedule.pct.drops != defaults.drops) {
                arguments += " --pct-drops " + std::to_string(schedule.pct.drops);
            }
            if (schedule.pct.points != defaults.points) {
                arguments += " --pct-points " + std::to_string(schedule.pct.points);
            }
            return arguments;
        }
        case Schedule::Kind::kReplay:
            // No choice at all is the fixed schedule.
            return schedule.choices.empty() ? ""
                                            : "--replay '" + ChoiceText(schedule.choices) + "'";
        default:
            return "";
    }
}

bool ParseScheduleArgument(int argc, char** argv, int& i, Schedule& schedule, bool& bad) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
        return false;
    }
    const char* value = argv[i + 1];
    std::uint64_t number = 0;
    if (arg == "--random" || arg == "--pct") {
        schedule.kind = arg == "--random" ? Schedule::Kind::kRandom : Schedule::Kind::kPct;
        bad = bad || !ParseNumber(value, schedule.seed);
    } else if (arg == "--pct-drops") {
        bad = bad || !ParseNumber(value, number) || number > 64;
        schedule.pct.drops = static_cast<int>(number);
    } else if (arg == "--pct-points") {
        bad = bad || !ParseNumber(value, schedule.pct.points);
    } else if (arg == "--replay") {
        schedule.kind = Schedule::Kind::kReplay;
        bad = bad || !ParseChoices(value, schedule.choices);
    } else {
        return false;
    }
    ++i;
    return true;
}

std::string ListpoolSimCommand(const Schedule& schedule, std::string_view session,
                               std::string_view program) {
    // $'...' keeps the session's bytes, newlines included, on one line.
    std::string quoted = Quoted(session);
    std::string command = "printf %s $'";
    for (std::size_t n = 1; n + 1 < quoted.size(); ++n) {
        command += quoted[n] == '\'' ? "\\'" : std::string(1, quoted[n]);
    }
    command += "' | ";
    command += program;
    const std::string arguments = ScheduleArguments(schedule);
    return arguments.empty() ? command : command + " " + arguments;
}

}  // namespace listpool::sim
