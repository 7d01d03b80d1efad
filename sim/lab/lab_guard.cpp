#include "sim/lab/lab_guard.h"
#include "sim/guards/text_guard.h"

#include <stdexcept>
#include <variant>

#include "platform/sim/strategies.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/verdicts.h"
#include "sim/json/json_writer.h"
#include "sim/search/choice_text.h"

namespace listpool::sim {
namespace {

// The tagged guard scene, counting the steps the search looks at.
class Counted final : public SearchScene {
  public:
    Counted(SearchScene& scene, const std::function<void(std::uint64_t)>& progress)
        : scene_(scene), progress_(progress) {}
    Outcome Play(const Options& options) override { return scene_.Play(options); }
    std::uint64_t State() override {
        if (++steps_ % 4096 == 0) {
            progress_(steps_);
        }
        return scene_.State();
    }
    std::string Check() override { return scene_.Check(); }
    std::uint32_t Labels() override { return scene_.Labels(); }
    std::string Failure(const Outcome& outcome, bool stopped) override {
        return scene_.Failure(outcome, stopped);
    }
    std::optional<std::vector<Region>> RunState() override { return scene_.RunState(); }

  private:
    SearchScene& scene_;
    const std::function<void(std::uint64_t)>& progress_;
    std::uint64_t steps_ = 0;
};

std::string ErrorJson(const guards::TextError& error) {
    JsonWriter json;
    json.Object().Key("error").Object().Key("line").Int(error.at.line);
    json.Key("column").Int(error.at.column).Key("message").String(error.message);
    return json.End().End().Take();
}

// The sequence an instruction is in: the one whose entry is the last at or
// before it.
int SequenceOf(const guards::GuardCode& code, int instruction) {
    int found = -1;
    for (int s = 0; s < 4; ++s) {
        const int entry = code.Entry(static_cast<guards::SequenceName>(s));
        if (entry <= instruction &&
            (found < 0 || entry > code.Entry(static_cast<guards::SequenceName>(found)))) {
            found = s;
        }
    }
    return found;
}

}  // namespace

std::string LabCheckGuard(std::string_view text, const GuardCast& cast, std::uint64_t maxStates,
                          const std::function<void(std::uint64_t steps)>& progress) {
    auto read = guards::ReadGuardText(text);
    if (const auto* error = std::get_if<guards::TextError>(&read)) {
        return ErrorJson(*error);
    }
    const guards::GuardCode code(std::get<guards::GuardText>(std::move(read)));
    GuardScene<guards::TextGuard> scene(cast, [&code] { return new guards::TextGuard(code); });
    guards::TaggedScene tagged(scene);
    Counted counted(tagged, progress);
    SearchOptions options;
    options.maxStates = maxStates;
    const guards::GuardCheck check = guards::Verdicts(cast, SearchStates(counted, options));
    JsonWriter json;
    json.Object().Key("scene").String(guards::SceneName(cast)).Key("states").Int(check.states);
    json.Key("transitions").Int(check.transitions).Key("complete").Bool(check.complete);
    json.Key("holds").Bool(check.Holds()).Key("verdicts").Array();
    for (const guards::Verdict& v : check.verdicts) {
        json.Break().Object().Key("name").String(v.name).Key("holds").Bool(v.holds);
        json.Key("why").String(v.why).Key("schedule").String(ChoiceText(v.schedule));
        json.Key("lap").String(ChoiceText(v.lap)).End();
    }
    return json.End().End().Take();
}

std::string LabGuardSchedule(std::string_view text, const GuardCast& cast,
                             std::string_view choices) {
    auto read = guards::ReadGuardText(text);
    if (const auto* error = std::get_if<guards::TextError>(&read)) {
        return ErrorJson(*error);
    }
    std::vector<int> schedule;
    if (!ParseChoices(choices, schedule)) {
        throw std::runtime_error("the schedule is not a list of thread numbers");
    }
    const guards::GuardCode code(std::get<guards::GuardText>(std::move(read)));
    const guards::TextGuard* guard = nullptr;
    GuardScene<guards::TextGuard> scene(cast, [&] {
        auto* made = new guards::TextGuard(code);
        guard = made;
        return made;
    });
    // Each thread's instruction at the last step seen, read inside the run,
    // and the last it was stopped at in a sequence: a thread out of them
    // after an arrival is inside, and is marked where it came in from.
    const auto threads = static_cast<std::size_t>(1 + cast.readers + cast.writers);
    std::vector<int> at(threads, -1), last(threads, -1);
    StopChooser stop;
    ReplayChooser replay(schedule, stop, [&](const std::vector<int>&, int thread) {
        if (guard == nullptr) {
            return thread;
        }
        for (std::size_t t = 1; t < threads; ++t) {
            at[t] = guard->At(static_cast<int>(t));
            if (at[t] >= 0) {
                last[t] = at[t];
            }
        }
        return scene.Check().empty() ? thread : -1;
    });
    Options options;
    options.chooser = &replay;
    options.maxSteps = 1'000'000;
    scene.Play(options);
    JsonWriter json;
    json.Object().Key("threads").Array();
    for (std::size_t t = 1; t < threads; ++t) {
        const int place = at[t] >= 0 ? at[t] : last[t];
        const int sequence = place < 0 ? -1 : SequenceOf(code, place);
        const bool inside =
            at[t] < 0 && (sequence == guards::kReaderArrives || sequence == guards::kWriterArrives);
        if (at[t] >= 0 || inside) {
            json.Array().Int(t).String(GuardThreadName(cast, static_cast<int>(t)));
            json.Int(code.code()[static_cast<std::size_t>(place)].at.line);
            json.String(guards::kSequenceFunctions[sequence]).Bool(inside).End();
        }
    }
    return json.End().End().Take();
}

LabSessionGuard::LabSessionGuard(std::string_view text) {
    if (text.empty()) {
        return;
    }
    code_ = std::make_unique<guards::GuardCode>(guards::ReadAccepted(text));
    inUse_.emplace(code_.get());
}

}  // namespace listpool::sim
