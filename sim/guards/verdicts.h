// What a guard must do, checked over every schedule of a guard scene
// (guard_scene.h): each property in words, whether it holds, and a
// shortest schedule that breaks it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/guards/guard_code.h"
#include "sim/guards/guard_scene.h"
#include "sim/search/state_search.h"

namespace listpool::sim::guards {

struct Verdict {
    std::string name;  // "exclusion", "no deadlock", ...: kVerdictNames
    bool holds = true;
    // When it fails, what broke, in words; when it holds on a scene where it
    // cannot fail (every run ends, for threads that come back for ever), why.
    std::string why;
    // When it fails, the choices of a shortest schedule to the failure; for
    // a run that goes on for ever, the choices that reach its cycle and
    // then one lap of it, which can be taken again and again.
    std::vector<int> schedule;
    std::vector<int> lap;
};

// The properties, in the order a check gives them.
inline constexpr const char* kVerdictNames[] = {
    "exclusion",
    "no deadlock",
    "no misuse",
    "every run ends",
    "writers get in (weak fairness)",
    "readers pass the gate (weak fairness)",
    "writers get in (strong fairness)",
    "readers pass the gate (strong fairness)",
};

struct GuardCheck {
    GuardCast cast;
    std::uint64_t states = 0;
    std::uint64_t transitions = 0;
    bool complete = true;  // the search met no limit of its own
    std::vector<Verdict> verdicts;

    bool Holds() const;
};

// The verdict (an index of kVerdictNames) that a failure the search met
// breaks, by its report: exclusion, no deadlock, no misuse or every run ends.
std::size_t VerdictBroken(const std::string& what);

// The verdicts of a search of a guard scene. A state the scene found wrong
// ends the schedules through it, so a verdict after it is over the rest.
GuardCheck Verdicts(const GuardCast& cast, const SearchResult& result);

// The scene's failures told apart: a run's is tagged by how it ended, so
// that each verdict finds its own.
class TaggedScene final : public SearchScene {
  public:
    explicit TaggedScene(SearchScene& scene) : scene_(scene) {}
    Outcome Play(const Options& options) override { return scene_.Play(options); }
    std::uint64_t State() override { return scene_.State(); }
    std::string Check() override { return scene_.Check(); }
    std::uint32_t Labels() override { return scene_.Labels(); }
    std::string Failure(const Outcome& outcome, bool stopped) override;
    std::optional<std::vector<Region>> RunState() override { return scene_.RunState(); }

  private:
    SearchScene& scene_;
};

// Checks a guard on a scene: any guard with ReadWriteGuard's members.
template <typename Guard>
GuardCheck CheckGuard(const GuardCast& cast, std::function<Guard*()> make = {}) {
    GuardScene<Guard> scene(cast, std::move(make));
    TaggedScene tagged(scene);
    return Verdicts(cast, SearchStates(tagged));
}

// Checks a guard text on a scene.
GuardCheck CheckText(const GuardCode& code, const GuardCast& cast);

// The two scenes a text is checked on unless told otherwise: two readers
// and two writers of two rounds each, and readers that come back for ever
// beside writers of two rounds; a fault may show in one only.
inline constexpr GuardCast kDefaultScenes[] = {{2, 2, 2, 2}, {2, 2, 0, 2}};

// "2 readers of 2 rounds and 2 writers of 2 rounds" / "2 readers for ever
// and 2 writers of 2 rounds".
std::string SceneName(const GuardCast& cast);

}  // namespace listpool::sim::guards
