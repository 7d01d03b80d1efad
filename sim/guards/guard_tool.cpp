#include "sim/guards/guard_tool.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <variant>

#include "platform/sim/strategies.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/verdicts.h"
#include "sim/search/choice_text.h"
#include "sim/search/state_search.h"

namespace listpool::sim::guards {

std::string CastArguments(const GuardCast& cast) {
    return "--readers " + std::to_string(cast.readers) + " --writers " +
           std::to_string(cast.writers) + " --rounds " + std::to_string(cast.readRounds) +
           (cast.readRounds == cast.writeRounds ? "" : "," + std::to_string(cast.writeRounds));
}

namespace {

// Prints each step of a run: who made which call, at which line.
class Steps final : public Observer {
  public:
    Steps(const GuardCast& cast, const TextGuard* const& guard, std::ostream& out)
        : cast_(cast), guard_(guard), out_(out) {}
    void OnNotice(const Notice& notice) override {
        if (notice.phase != Notice::kDone || notice.op == Op::kBegin) {
            return;
        }
        out_ << "step " << step_++ << ": " << GuardThreadName(cast_, notice.thread) << ": "
             << OpName(notice.op);
        if (guard_ != nullptr && notice.object != nullptr) {
            const int at = guard_->At(notice.thread);
            if (at >= 0) {
                out_ << " at line " << guard_->code().code()[static_cast<std::size_t>(at)].at.line;
            }
        }
        out_ << "\n";
    }

  private:
    GuardCast cast_;
    const TextGuard* const& guard_;
    std::ostream& out_;
    int step_ = 0;
};

int Replay(const GuardCode& code, const GuardToolArguments& arguments, std::ostream& out,
           std::ostream& err) {
    std::vector<int> choices;
    if (!ParseChoices(arguments.choices, choices)) {
        err << "listpool-sim: not a line of choices: " << arguments.choices << "\n";
        return 2;
    }
    const GuardCast cast = arguments.castGiven ? arguments.cast : kDefaultScenes[0];
    TextGuard* guard = nullptr;
    GuardScene<TextGuard> scene(cast, [&] { return guard = new TextGuard(code); });
    Steps steps(cast, guard, out);
    StopChooser stop;
    std::string wrong;
    // Stops where the scene first finds something wrong, as the search does.
    ReplayChooser chooser(choices, stop, [&](const std::vector<int>&, int thread) {
        wrong = scene.Check();
        return wrong.empty() ? thread : -1;
    });
    Options options;
    options.chooser = &chooser;
    options.observer = &steps;
    const Outcome outcome = scene.Play(options);
    if (wrong.empty()) {
        wrong = scene.Failure(outcome, outcome.ending == Ending::kStopped);
    }
    out << (wrong.empty() ? "nothing wrong on the way" : wrong) << "\n";
    return wrong.empty() ? 0 : 1;
}

}  // namespace

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool ReadGuardFile(const std::string& file, std::string& text, std::ostream& err) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err << "listpool-sim: cannot read " << file << "\n";
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return true;
}

int GuardTool(const GuardToolArguments& arguments, std::ostream& out, std::ostream& err) {
    std::string text;
    if (!ReadGuardFile(arguments.file, text, err)) {
        return 2;
    }
    auto read = ReadGuardText(text);
    if (const auto* error = std::get_if<TextError>(&read)) {
        err << arguments.file << ": " << Describe(*error) << "\n";
        return 2;
    }
    const GuardCode code(std::move(std::get<GuardText>(read)));
    if (arguments.replay) {
        return Replay(code, arguments, out, err);
    }
    std::vector<GuardCast> scenes(std::begin(kDefaultScenes), std::end(kDefaultScenes));
    if (arguments.castGiven) {
        scenes = {arguments.cast};
    }
    bool holds = true;
    for (const GuardCast& cast : scenes) {
        const GuardCheck check = CheckText(code, cast);
        out << SceneName(cast) << ": states " << Grouped(check.states) << ", transitions "
            << Grouped(check.transitions) << (check.complete ? "" : " (stopped at the state bound)")
            << "\n";
        holds = holds && check.Holds() && check.complete;
        for (const Verdict& v : check.verdicts) {
            out << "  " << v.name << ": " << (v.holds ? "holds" : "FAILS");
            if (!v.why.empty()) {
                out << " (" << v.why.substr(0, v.why.find('\n')) << ")";
            }
            out << "\n";
            if (!v.holds && (!v.schedule.empty() || !v.lap.empty())) {
                std::vector<int> run = v.schedule;
                run.insert(run.end(), v.lap.begin(), v.lap.end());
                out << "    schedule: " << ChoiceText(v.schedule)
                    << (v.lap.empty() ? "" : ", then again and again: " + ChoiceText(v.lap)) << "\n"
                    << "    replay: " << arguments.program << " --guard " << Quoted(arguments.file)
                    << " " << CastArguments(cast) << " --replay " << Quoted(ChoiceText(run))
                    << "\n";
            }
        }
    }
    return holds ? 0 : 1;
}

}  // namespace listpool::sim::guards
