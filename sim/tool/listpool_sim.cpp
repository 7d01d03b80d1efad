// listpool-sim: runs listpool in virtual time on a session and prints every
// write, stamped with its virtual time and thread.
//
//   listpool-sim [--random SEED | --pct SEED [--pct-drops N] [--pct-points N]
//                 | --replay CHOICES] [--svg FILE] [--trace FILE] [SESSION]
//   listpool-sim --every-schedule [SESSION]
//   listpool-sim --explore PAGE SESSION
//   listpool-sim --views SESSION
//   listpool-sim --guard FILE [--readers N --writers N --rounds N[,N]] [--replay CHOICES]
//   listpool-sim --guard FILE [--readers N --writers N --rounds N[,N]] --explore PAGE
//   listpool-sim --guard FILE [any of the above] SESSION
//
// SESSION is a file (standard input when none is given): the lines a user
// types; a line "@<ms> text" is typed only at that virtual time. --svg writes
// the session's timeline as a picture, --trace as Chrome trace event JSON.
// --pct-drops and --pct-points set how many times PCT drops a priority and
// over how many choice points (2 and 400 unless given).
// --replay runs the schedule whose choices (the thread that goes at each
// point where several could) a failure or a search printed.
// --every-schedule explores every schedule of the session and prints how
// many states and schedules there were and each distinct outcome, with the
// command that replays one run of it. --explore writes the session's
// explorer page (sim/explore/session_page.h); --views prints, for each line of
// choices on standard input, every state as that page shows it.
// --guard checks a guard text (sim/guards/guard_tool.h) on the two default
// scenes of readers and writers, or the one given (--rounds 0: for ever;
// READ,WRITE for each), or replays one schedule of it, or writes its
// explorer page beside the real guard's (sim/explore/text_page.h), on the
// scene given or readers for ever beside writers of two rounds; with a SESSION, the
// session runs, or is searched, over that guard instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <variant>

#include "sim/drawing/svg_timeline.h"
#include "sim/explore/session_page.h"
#include "sim/explore/text_page.h"
#include "sim/guards/guard_tool.h"
#include "sim/guards/session_guard.h"
#include "sim/guards/verdicts.h"
#include "sim/runs/schedule.h"
#include "sim/runs/session.h"
#include "sim/runs/session_search.h"
#include "sim/runs/simulated_program.h"
#include "sim/search/choice_text.h"
#include "sim/timeline/timeline.h"
#include "sim/trace/chrome_trace.h"

namespace {

// The commands it prints name it as it is run from a checkout, where the
// default build puts it.
const char* const kPrintedName = "build/sim/listpool-sim";

int Usage() {
    std::cerr << "usage: listpool-sim [--random SEED | --pct SEED [--pct-drops N] [--pct-points N] "
                 "| --replay CHOICES]\n"
                 "                    [--svg FILE] [--trace FILE] [SESSION]\n"
                 "       listpool-sim --every-schedule [SESSION]\n"
                 "       listpool-sim --explore PAGE SESSION | --views SESSION\n"
                 "       listpool-sim --guard FILE [--readers N --writers N --rounds N[,N]] "
                 "[--replay CHOICES | --explore PAGE]\n"
                 "       listpool-sim --guard FILE [any of the above] SESSION\n";
    return 2;
}

bool WriteFile(const char* name, const std::string& text) {
    std::ofstream out(name, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "listpool-sim: cannot write " << name << "\n";
    }
    return static_cast<bool>(out);
}

// --readers N, --writers N, --rounds N or READ,WRITE: at most what a
// search covers in seconds.
bool ParseCount(const std::string& arg, const std::string& value, listpool::sim::GuardCast& cast) {
    const auto number = [](const std::string& digits, int most, int& n) {
        if (digits.empty() || digits.size() > 2 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        n = std::stoi(digits);
        return n <= most;
    };
    if (arg == "--rounds") {
        const auto comma = value.find(',');
        const std::string read = value.substr(0, comma);
        const std::string write = comma == std::string::npos ? read : value.substr(comma + 1);
        return number(read, 9, cast.readRounds) && number(write, 9, cast.writeRounds);
    }
    return number(value, 6, arg == "--readers" ? cast.readers : cast.writers);
}

}  // namespace

namespace {

// --guard FILE --explore PAGE: the text's explorer page beside the real
// guard, on the scene given or the explorer's (readers for ever).
int ExploreGuard(const listpool::sim::guards::GuardToolArguments& guard, const char* page,
                 bool alone) {
    using namespace listpool::sim;
    std::string text;
    if (!alone || !guards::ReadGuardFile(guard.file, text, std::cerr)) {
        return alone ? 2 : Usage();
    }
    try {
        return WriteFile(page,
                         TextPage(text, guard.castGiven ? guard.cast : guards::kDefaultScenes[1]))
                   ? 0
                   : 2;
    } catch (const std::exception& error) {
        std::cerr << guard.file << ": " << error.what() << "\n";
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace listpool::sim;
    Schedule schedule;
    bool bad = false;
    const char* file = nullptr;
    const char* svg = nullptr;
    const char* trace = nullptr;
    bool every = false;
    bool views = false;
    const char* explore = nullptr;
    guards::GuardToolArguments guard;
    guard.program = kPrintedName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--guard" && i + 1 < argc) {
            guard.file = argv[++i];
        } else if ((arg == "--readers" || arg == "--writers" || arg == "--rounds") &&
                   i + 1 < argc) {
            if (!ParseCount(arg, argv[++i], guard.cast)) {
                return Usage();
            }
            guard.castGiven = true;
        } else if (ParseScheduleArgument(argc, argv, i, schedule, bad)) {
            if (bad) {
                return Usage();
            }
        } else if (arg == "--every-schedule") {
            every = true;
        } else if (arg == "--explore" && i + 1 < argc) {
            explore = argv[++i];
        } else if (arg == "--views") {
            views = true;
        } else if ((arg == "--svg" || arg == "--trace") && i + 1 < argc) {
            (arg == "--svg" ? svg : trace) = argv[++i];
        } else if (!arg.starts_with("--") && file == nullptr) {
            file = argv[i];
        } else {
            return Usage();
        }
    }
    if (guard.castGiven && (guard.file.empty() || file != nullptr)) {
        return Usage();
    }
    if (!guard.file.empty() && file == nullptr && explore != nullptr) {
        const bool alone = !every && svg == nullptr && trace == nullptr && !views &&
                           schedule.kind == Schedule::Kind::kFixed;
        return ExploreGuard(guard, explore, alone);
    }
    if (!guard.file.empty() && file == nullptr) {
        if (every || svg != nullptr || trace != nullptr || explore != nullptr || views ||
            (schedule.kind != Schedule::Kind::kFixed && schedule.kind != Schedule::Kind::kReplay)) {
            return Usage();
        }
        guard.replay = schedule.kind == Schedule::Kind::kReplay;
        guard.choices = ChoiceText(schedule.choices);
        return guards::GuardTool(guard, std::cout, std::cerr);
    }
    // A session over a guard text: the text is read, and in use, first.
    std::optional<guards::GuardCode> code;
    std::optional<guards::TextInSessions> use;
    // The commands it prints run the session over the same guard.
    std::string printed = kPrintedName;
    std::string source;  // the guard text's
    if (!guard.file.empty()) {
        printed += " --guard " + guards::Quoted(guard.file);
        if (!guards::ReadGuardFile(guard.file, source, std::cerr)) {
            return 2;
        }
        auto read = guards::ReadGuardText(source);
        if (const auto* error = std::get_if<guards::TextError>(&read)) {
            std::cerr << guard.file << ": " << guards::Describe(*error) << "\n";
            return 2;
        }
        code.emplace(std::move(std::get<guards::GuardText>(read)));
        use.emplace(&*code);
    }
    std::stringstream text;
    if (file != nullptr) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << "listpool-sim: cannot read " << file << "\n";
            return 2;
        }
        text << in.rdbuf();
    } else {
        text << std::cin.rdbuf();
    }
    if (explore != nullptr || views) {
        if (file == nullptr || every || svg != nullptr || trace != nullptr ||
            schedule.kind != Schedule::Kind::kFixed) {
            return Usage();
        }
        if (explore != nullptr) {
            try {
                return WriteFile(explore, SessionPage(text.str(), file, printed, source)) ? 0 : 2;
            } catch (const std::exception& error) {
                std::cerr << "listpool-sim: " << error.what() << "\n";
                return 1;
            }
        }
        for (std::string line; std::getline(std::cin, line);) {
            std::vector<int> choices;
            if (!ParseChoices(line, choices)) {
                std::cerr << "listpool-sim: not a line of choices: " << line << "\n";
                return 2;
            }
            std::cout << ViewLines(SessionViews(text.str(), choices)) << "end\n";
        }
        return 0;
    }
    if (every) {
        if (svg != nullptr || trace != nullptr || schedule.kind != Schedule::Kind::kFixed) {
            return Usage();
        }
        // The environment may ask for replaying instead of restoring (to
        // compare the two) and for the states met as the search goes.
        SearchOptions options;
        options.restore = std::getenv("LISTPOOL_SEARCH_REPLAY") == nullptr;
        options.progress = std::getenv("LISTPOOL_SEARCH_PROGRESS") != nullptr;
        const EverySchedule found = SearchEverySchedule(text.str(), options);
        std::cout << EveryScheduleReport(found, text.str(), printed);
        return found.result.failure.empty() && found.result.complete ? 0 : 1;
    }
    ScheduleChooser chooser(schedule);
    Options options;
    options.chooser = &chooser;
    const Recorded recorded = RecordListpool(options, text.str());
    const ProgramRun& run = recorded.result;
    std::cout << Transcript(run.outcome);
    SvgOptions look;
    if (file != nullptr) {
        look.title = std::string(file).substr(std::string(file).find_last_of('/') + 1);
    }
    if ((svg != nullptr && !WriteFile(svg, DrawSvg(recorded.timeline, look))) ||
        (trace != nullptr && !WriteFile(trace, ChromeTrace(recorded.timeline)))) {
        return 2;
    }
    if (!run.violation.empty()) {
        std::cout << "VIOLATION " << run.violation;
    }
    if (!run.ok()) {
        std::cout << "replay: " << ListpoolSimCommand(schedule, text.str(), printed) << "\n";
        return 1;
    }
    return 0;
}
