#include "sim/explore/levels.h"

#include <algorithm>
#include <deque>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "sim/explore/explore_page.h"
#include "sim/explore/guard_source.h"
#include "sim/explore/text_page.h"
#include "sim/guards/broken_texts.h"
#include "sim/guards/guard_tool.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/verdicts.h"
#include "sim/json/json_writer.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {
namespace {

// Every level's scene is small: its search ends long before this.
constexpr std::uint64_t kMaxStates = 400'000;
constexpr int kExclusion = 0, kDeadlock = 1, kEnds = 3, kWritersWeak = 4, kReadersWeak = 5;

LevelGoal Inside(int readers, int writers, const char* waits = "") {
    return {LevelGoal::kState, readers, writers, waits, -1};
}
LevelGoal Breaks(int property) {
    return {LevelGoal::kProperty, 0, 0, "", property};
}
LevelGoal Lap(int property) {
    return {LevelGoal::kLap, 0, 0, "", property};
}
constexpr LevelGoal kFix{LevelGoal::kFix, 0, 0, "", -1};
constexpr LevelGoal kFixFair{LevelGoal::kFix, 0, 0, "", -1, true};

const char* const kReal = "The real guard";
const char* const kBroken = "Broken guards";
const char* const kFixing = "Fix it";

}  // namespace

const std::vector<Level>& Levels() {
    static const std::vector<Level> levels = {
        {"readers-together",
         kReal,
         "Side by side",
         "",
         {2, 0, 1, 1},
         Inside(2, 0),
         "Let both readers in at once.",
         "Nothing broke: readers only read, so any number of them may be inside together.",
         "what-it-promises",
         "What it promises",
         "Each reader counts itself in under countMutex and gives it back: the next reader "
         "passes the open gate and does the same."},
        {"gate-closed",
         kReal,
         "The gate",
         "",
         {1, 1, 1, 1},
         Inside(0, 0, "gateEvent"),
         "Make the reader wait at the gate.",
         "Nothing broke: a writer that arrives closes the gate first, so a reader that comes "
         "after it waits until the writer has been in and out.",
         "writer-arrives-1",
         "A writer arrives, step 1: closing the gate",
         "WriterArrives begins with gateEvent->ResetEvent(), before it waits for anything."},
        {"writer-waits",
         kReal,
         "Readers first",
         "",
         {1, 1, 1, 1},
         Inside(1, 0, "noReadersEvent"),
         "Make the writer wait for the reader inside to leave.",
         "Nothing broke: the reader inside reset noReadersEvent when it counted itself in, so "
         "the writer waits there until the last reader out sets it.",
         "writer-arrives-4",
         "A writer arrives, step 4: waiting for the readers",
         "The writer waits at noReadersEvent, then checks readerCount under countMutex."},
        {"one-writer",
         kReal,
         "One at a time",
         "",
         {0, 2, 1, 1},
         Inside(0, 1, "writerMutex"),
         "Make one writer wait for writerMutex while the other writes.",
         "Nothing broke: writerMutex lets in one writer at a time, and the second waits with "
         "the gate already closed.",
         "writer-arrives-2",
         "A writer arrives, step 2: one writer at a time",
         "The second writer waits at writerMutex->Lock()."},
        {"counted-out",
         kReal,
         "Past the gate",
         "",
         {1, 1, 1, 1},
         Inside(0, 1, "countMutex"),
         "While the writer writes, make the reader wait for countMutex.",
         "Nothing broke: a writer inside holds countMutex for its whole write, so a reader that "
         "passed the gate before it closed stops at countMutex.",
         "reader-arrives-2",
         "A reader arrives, step 2: countMutex",
         "The writer keeps countMutex from its check of readerCount until WriterLeaves."},
        {"writers-for-ever",
         kReal,
         "Taking turns",
         "",
         {0, 2, 0, 0},
         Lap(kWritersWeak),
         "Keep one writer out for ever: play a lap in which the other goes in and out again "
         "and again.",
         "A weakly fair scheduler owes a step only to a thread that can go on all along; a "
         "writer waiting for a mutex the other keeps re-taking can go on only now and then.",
         "the-verdicts",
         "The verdicts: weak and strong fairness",
         "The real guard is no different: writerMutex gives no turns. Under strong fairness the "
         "waiting writer gets in."},
        {"readers-kept-out",
         kReal,
         "Writers first",
         "",
         {1, 2, 1, 0},
         Lap(kReadersWeak),
         "Keep the reader at the gate for ever while the writers take turns.",
         "The guard prefers writers: while one writer or another is coming in, the gate stays "
         "closed, and a steady stream of writers keeps readers out.",
         "what-it-promises",
         "What it promises",
         "Each writer resets the gate as it arrives; the gate opens only when a writer leaves."},
        {"without-recheck",
         kBroken,
         "No second look",
         "without-recheck",
         {1, 1, 1, 1},
         Breaks(kExclusion),
         "Get the writer inside beside the reader.",
         "Exclusion broke: the writer trusted noReadersEvent, but the reader had counted itself "
         "in and not yet reset the event when the writer looked.",
         "without-the-writers-re-check-of-readercount",
         "Without the writer's re-check of readerCount",
         "The real guard checks readerCount under countMutex and, finding 1, gives the mutex "
         "back and waits again."},
        {"writers-together",
         kBroken,
         "Letting go",
         "writer-lets-go",
         {0, 2, 1, 1},
         Inside(0, 2),
         "Get both writers inside at once.",
         "Exclusion broke: the writer gave writerMutex and countMutex back as soon as it was "
         "in, so nothing kept the second writer out.",
         "how-it-works",
         "How it works",
         "A writer of the real guard holds countMutex and writerMutex until it leaves."},
        {"count-before-gate",
         kBroken,
         "Stuck",
         "count-before-gate",
         {1, 1, 1, 1},
         Breaks(kDeadlock),
         "Bring the threads to a stop: a state where none can go on.",
         "Deadlock: the reader holds countMutex while it waits at the gate the writer closed, "
         "and the writer waits for countMutex.",
         "reader-arrives-1",
         "A reader arrives, step 1: the gate",
         "A reader of the real guard passes the gate before it takes countMutex, so it never "
         "holds it while it waits."},
        {"without-reader-reset",
         kBroken,
         "Round and round",
         "without-reader-reset",
         {1, 1, 1, 1},
         Lap(kEnds),
         "Make the writer go round its loop for ever.",
         "The run never ends: the reader inside never reset noReadersEvent, so the writer's "
         "wait at it never waits, and its re-check sends it round again.",
         "reader-arrives-4",
         "A reader arrives, step 4: noReadersEvent",
         "A reader of the real guard resets noReadersEvent as it counts itself in."},
        {"without-second-reset",
         kBroken,
         "The open gate",
         "without-second-reset",
         {1, 2, 0, 1},
         Lap(kWritersWeak),
         "Keep a writer out for ever while the reader comes and goes.",
         "A writer never gets in: the writer before it opened the gate on its way out, and the "
         "reader coming through it again and again keeps noReadersEvent reset nearly all the "
         "time.",
         "without-the-second-reset-of-the-gate",
         "Without the second reset of the gate",
         "The real guard's writer resets the gate again once it holds writerMutex."},
        {"fix-recheck",
         kFixing,
         "Fix the missing look",
         "without-recheck",
         {},
         kFix,
         "Mend this guard until every check holds.",
         "Every check holds: the writer looks at readerCount under countMutex before it is in.",
         "without-the-writers-re-check-of-readercount",
         "Without the writer's re-check of readerCount",
         "The real guard's writer loops until it finds readerCount at 0 under countMutex."},
        {"fix-second-reset",
         kFixing,
         "Close the gate again",
         "without-second-reset",
         {},
         kFix,
         "Mend this guard until every check holds.",
         "Every check holds: the writer closes the gate again once it holds writerMutex.",
         "without-the-second-reset-of-the-gate",
         "Without the second reset of the gate",
         "The real guard resets gateEvent both before and after writerMutex->Lock()."},
        {"fair-to-both",
         kFixing,
         "Fair to both",
         "writers-first",
         {1, 2, 0, 0},
         kFixFair,
         "Mend this guard so that, with a reader and two writers coming back for ever, neither "
         "can be kept out under strong fairness.",
         "Every check holds that can: under strong fairness the reader gets past the gate and "
         "each writer in. Weak fairness cannot promise it with these mutexes: a writer waiting "
         "for writerMutex, which the other keeps re-taking, can go on only now and then, and a "
         "weakly fair scheduler owes it nothing.",
         "the-verdicts",
         "The verdicts: weak and strong fairness",
         "The real guard's last writer out opens the gate every time, so a reader at it can go "
         "on again and again."},
    };
    return levels;
}

const Level* FindLevel(std::string_view name) {
    for (const Level& level : Levels()) {
        if (name == level.name) {
            return &level;
        }
    }
    return nullptr;
}

std::string LevelGuardText(const Level& level) {
    if (*level.guard == '\0') {
        return GuardSourceText(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    }
    const std::string file = std::string("sim/guards/texts/") + level.guard + ".guard";
    return guards::BrokenGuardText({level.guard, level.title, file.c_str()});
}

namespace {

// The goal's states, by the level's kind, and the shortest way there.
struct GoalStates {
    std::vector<std::uint32_t> states;
    std::vector<std::pair<std::uint32_t, int>> ends;  // failed runs' last steps
    std::vector<int> choices;
    std::uint64_t par = 0;
    bool reached = false;
};

// The nodes a walk along choices passes from `from`, as the page follows
// them, and its steps.
std::pair<std::vector<std::uint32_t>, std::uint64_t> Walk(const StateGraph& graph,
                                                          std::uint32_t from,
                                                          const std::vector<int>& choices) {
    std::vector<std::uint32_t> nodes{from};
    std::size_t k = 0;
    for (std::uint32_t node = from; node != StateGraph::kEnd;) {
        const auto& at = graph.nodes.at(node);
        int thread = -1;
        if (at.enabled.Count() > 1) {
            if (k == choices.size()) {
                break;
            }
            thread = choices[k++];
        } else {
            at.enabled.ForEach([&thread](int t) { thread = t; });
        }
        const auto step = std::find_if(at.steps.begin(), at.steps.end(),
                                       [thread](const auto& s) { return s.thread == thread; });
        if (step == at.steps.end()) {
            break;
        }
        node = step->to;
        if (node != StateGraph::kEnd) {
            nodes.push_back(node);
        }
    }
    return {nodes, nodes.size() - 1};
}

std::uint32_t Mask(const ThreadSet& set) {
    std::uint32_t mask = 0;
    set.ForEach([&mask](int t) { mask |= t < 32 ? 1u << t : 0; });
    return mask;
}

// Whether thread t waits in `view`: started, not ended, not inside.
bool Waiting(const StateView& view, int t) {
    const std::string& call = view.texts.at(static_cast<std::size_t>(t) * 3);
    return call != "ended" && call != "not started" &&
           view.texts[static_cast<std::size_t>(t) * 3 + 2].empty();
}

// A lap: the state it starts from, reached by a shortest run, and the
// threads of its steps.
struct FoundLap {
    std::uint64_t length = 0;  // the run's steps and the lap's
    std::uint32_t from = 0;
    std::vector<int> threads;
};

// The fewest steps from node 0 to a state and round a lap back to it that
// breaks the level's property, as the page judges a lap: for "every run
// ends" any lap; for a fairness property one in which a waiting writer (or
// reader) never steps while every thread that can go on in all the lap's
// states steps in it. Searched breadth first from each state over (state,
// threads that stepped, threads enabled all along), within `found`, a lap
// already known.
FoundLap ShortestLap(const Level& level, const StateGraph& graph, const Distances& distances,
                     const std::vector<StateView>& views, FoundLap found) {
    const int threads = 1 + level.cast.readers + level.cast.writers;
    const bool any = level.goal.property == kEnds;
    struct At {
        std::uint32_t node, stepped, always;
        std::size_t parent;
        int thread;
    };
    for (std::uint32_t from = 0; from < graph.nodes.size(); ++from) {
        const std::uint64_t before = distances.steps[from];
        if (before == Distances::kUnreached || before >= found.length) {
            continue;
        }
        for (int kept = any ? -1 : 1; kept < (any ? 0 : threads); ++kept) {
            if (kept >= 0 &&
                ((kept > level.cast.readers) != (level.goal.property == kWritersWeak) ||
                 !Waiting(views[from], kept))) {
                continue;
            }
            std::vector<At> met{{from, 0, Mask(graph.nodes[from].enabled), 0, -1}};
            std::unordered_set<std::uint64_t> seen;
            std::size_t layer = 0;
            for (std::uint64_t length = 1; before + length < found.length && layer < met.size();
                 ++length) {
                const std::size_t end = met.size();
                for (std::size_t a = layer; a < end && before + length < found.length; ++a) {
                    for (const auto& step : graph.nodes[met[a].node].steps) {
                        if (step.thread == kept || step.to == StateGraph::kEnd) {
                            continue;
                        }
                        const At to{step.to, met[a].stepped | 1u << step.thread,
                                    met[a].always & Mask(graph.nodes[step.to].enabled), a,
                                    step.thread};
                        if (to.node == from && (any || (to.always & ~to.stepped) == 0)) {
                            found = {before + length, from, {step.thread}};
                            for (std::size_t b = a; b != 0; b = met[b].parent) {
                                found.threads.insert(found.threads.begin(), met[b].thread);
                            }
                            break;
                        }
                        if (seen.insert(std::uint64_t{to.node} << 32 | to.stepped << 16 | to.always)
                                .second) {
                            met.push_back(to);
                        }
                    }
                }
                layer = end;
            }
        }
    }
    return found;
}

bool InState(const LevelGoal& goal, const StateView& view, int threads) {
    int readers = 0, writers = 0;
    bool waits = *goal.waits == '\0';
    const std::string lock = std::string(goal.waits) + "->Lock()";
    for (int t = 0; t < threads; ++t) {
        const std::string& inside = view.texts.at(static_cast<std::size_t>(t) * 3 + 2);
        readers += inside == "reading" ? 1 : 0;
        writers += inside == "writing" ? 1 : 0;
        waits = waits ||
                (view.texts[static_cast<std::size_t>(t) * 3] == lock && !view.enabled.Contains(t));
    }
    return waits && readers >= goal.readers && writers >= goal.writers;
}

GoalStates FindGoal(const Level& level, const StateGraph& graph, const Distances& distances,
                    const std::vector<StateView>& views,
                    const std::vector<PageProperty>& properties) {
    GoalStates goal;
    const LevelGoal& kind = level.goal;
    const int threads = 1 + level.cast.readers + level.cast.writers;
    if (kind.kind == LevelGoal::kState) {
        for (std::uint32_t n = 0; n < views.size(); ++n) {
            if (InState(kind, views[n], threads)) {
                goal.states.push_back(n);
            }
        }
    } else if (kind.kind == LevelGoal::kProperty) {
        for (const std::size_t f :
             properties.at(static_cast<std::size_t>(kind.property)).failures) {
            const auto& failure = graph.failures[f];
            if (failure.thread < 0) {
                goal.states.push_back(failure.node);
            } else {
                goal.ends.emplace_back(failure.node, failure.thread);
            }
        }
    } else {
        const FairCycle& cycle = properties.at(static_cast<std::size_t>(kind.property)).cycle;
        if (cycle.found) {
            const auto [before, steps] = Walk(graph, 0, cycle.prefix);
            const auto [round, lap] = Walk(graph, before.back(), cycle.lap);
            goal.states = round;
            goal.choices = cycle.prefix;
            goal.choices.insert(goal.choices.end(), cycle.lap.begin(), cycle.lap.end());
            FoundLap known{steps + lap, before.back(), {}};
            const FoundLap shortest = ShortestLap(level, graph, distances, views, known);
            if (!shortest.threads.empty()) {
                // The lap's choices: its threads where more than one could go.
                goal.choices = ChoicesTo(graph, distances, shortest.from);
                goal.states = {shortest.from};
                std::uint32_t node = shortest.from;
                for (const int thread : shortest.threads) {
                    if (graph.nodes[node].enabled.Count() > 1) {
                        goal.choices.push_back(thread);
                    }
                    for (const auto& step : graph.nodes[node].steps) {
                        if (step.thread == thread) {
                            node = step.to;
                        }
                    }
                    goal.states.push_back(node);
                }
            }
            goal.par = shortest.length;
            goal.reached = true;
        }
        return goal;
    }
    for (const std::uint32_t n : goal.states) {
        if (distances.steps[n] != Distances::kUnreached &&
            (!goal.reached || distances.steps[n] < goal.par)) {
            goal.par = distances.steps[n];
            goal.choices = ChoicesTo(graph, distances, n);
            goal.reached = true;
        }
    }
    for (const auto& [node, thread] : goal.ends) {
        const StateGraph::Failure end{node, thread, {}};
        if (!goal.reached || StepsToFailure(distances, end) < goal.par) {
            goal.par = StepsToFailure(distances, end);
            goal.choices = ChoicesToFailure(graph, distances, end);
            goal.reached = true;
        }
    }
    return goal;
}

const char* KindName(LevelGoal::Kind kind) {
    static const char* const kNames[] = {"state", "property", "lap", "fix"};
    return kNames[kind];
}

void LevelWords(JsonWriter& json, const Level& level) {
    json.Object().Key("name").String(level.name).Key("chapter").String(level.chapter);
    json.Key("title").String(level.title).Key("goal").String(level.sentence);
    json.Key("kind").String(KindName(level.goal.kind)).Key("broke").String(level.broke);
    json.Key("lesson").String(level.lesson).Key("lessonTitle").String(level.lessonTitle);
    json.Key("real").String(level.real);
    if (level.goal.kind == LevelGoal::kState) {
        json.Key("inside").Ints(std::vector<int>{level.goal.readers, level.goal.writers});
        json.Key("waits").String(level.goal.waits);
    }
    if (level.goal.ownScene) {
        json.Key("scene").Ints(std::vector<int>{level.cast.readers, level.cast.writers,
                                                level.cast.readRounds, level.cast.writeRounds});
        json.Key("excused").Strings(
            {guards::kVerdictNames[kWritersWeak], guards::kVerdictNames[kReadersWeak]});
    }
    json.Key("guard").String(level.guard).Key("readers").Int(level.cast.readers);
    json.Key("writers")
        .Int(level.cast.writers)
        .Key("rounds")
        .Ints(std::vector<int>{level.cast.readRounds, level.cast.writeRounds});
}

// A level's scene searched, with its goal found; `page` when given is told
// the goal as its data's "goal".
template <typename Then>
auto OnLevel(const Level& level, Then then) {
    if (level.goal.kind == LevelGoal::kFix) {
        throw std::runtime_error(std::string("level ") + level.name + " is played in the workshop");
    }
    return then(LevelGuardText(level));
}

}  // namespace

std::string LevelPage(const Level& level) {
    return OnLevel(level, [&level](const std::string& text) {
        GoalOfPage goal = [&level](const StateGraph& graph, const Distances& distances,
                                   const std::vector<StateView>& views,
                                   const std::vector<PageProperty>& properties) {
            const GoalStates found = FindGoal(level, graph, distances, views, properties);
            JsonWriter json;
            json.Object().Key("level");
            LevelWords(json, level);
            json.End().Key("states").Array();
            for (const std::uint32_t n : found.states) {
                json.Int(n);
            }
            json.End().Key("ends").Array();
            for (const auto& [node, thread] : found.ends) {
                json.Array().Int(node).Int(thread).End();
            }
            json.End().Key("property").Int(level.goal.property).Key("reached").Bool(found.reached);
            json.Key("par").Int(found.par).Key("choices").Ints(found.choices).End();
            return json.Take();
        };
        const GuardSource real = ReadGuardSource(LISTPOOL_SOURCE_DIR);
        const guards::GuardCode code(guards::ReadAccepted(text));
        if (*level.guard == '\0') {
            return PageHtml(TextPageData(code, level.cast, level.title, GuardSourceJson(real),
                                         kMaxStates, goal));
        }
        const guards::GuardCode realCode(guards::ReadAccepted(GuardSourceText(real)));
        return PageHtml(
            TextPageData(code, level.cast, level.title,
                         GuardSourceJson(TextSource(text, "this level's guard")), kMaxStates, goal),
            TextPageData(realCode, level.cast, "The real guard", GuardSourceJson(real),
                         kMaxStates));
    });
}

std::string LevelsJson() {
    JsonWriter json;
    json.Array();
    for (const Level& level : Levels()) {
        if (&level != &Levels().front()) {
            json.Break();
        }
        LevelWords(json, level);
        if (level.goal.kind == LevelGoal::kFix) {
            json.Key("par").Null().End();
            continue;
        }
        OnLevel(level, [&](const std::string& text) {
            std::uint64_t par = 0;
            TextPageData(guards::GuardCode(guards::ReadAccepted(text)), level.cast, level.title,
                         "null", kMaxStates,
                         [&](const StateGraph& graph, const Distances& distances,
                             const std::vector<StateView>& views,
                             const std::vector<PageProperty>& properties) {
                             const GoalStates found =
                                 FindGoal(level, graph, distances, views, properties);
                             if (!found.reached) {
                                 throw std::runtime_error(std::string("level ") + level.name +
                                                          ": its goal cannot be reached");
                             }
                             par = found.par;
                             return std::string("null");
                         });
            json.Key("par").Int(par).End();
            return 0;
        });
    }
    return json.End().Take();
}

std::string LevelDistances(const Level& level) {
    return OnLevel(level, [&level](const std::string& text) {
        std::string out;
        TextPageData(
            guards::GuardCode(guards::ReadAccepted(text)), level.cast, level.title, "null",
            kMaxStates,
            [&](const StateGraph& graph, const Distances& distances,
                const std::vector<StateView>& views, const std::vector<PageProperty>& properties) {
                const GoalStates found = FindGoal(level, graph, distances, views, properties);
                // Backwards from the goal, one step at a time.
                std::vector<std::vector<std::uint32_t>> into(graph.nodes.size());
                for (std::uint32_t n = 0; n < graph.nodes.size(); ++n) {
                    for (const auto& step : graph.nodes[n].steps) {
                        if (step.to != StateGraph::kEnd) {
                            into[step.to].push_back(n);
                        }
                    }
                }
                std::vector<std::int64_t> far(graph.nodes.size(), -1);
                std::deque<std::uint32_t> next;
                for (const std::uint32_t n : found.states) {
                    far[n] = 0;
                    next.push_back(n);
                }
                for (const auto& end : found.ends) {
                    if (far[end.first] < 0) {
                        far[end.first] = 1;
                        next.push_back(end.first);
                    }
                }
                std::stable_sort(next.begin(), next.end(),
                                 [&far](auto a, auto b) { return far[a] < far[b]; });
                while (!next.empty()) {
                    const std::uint32_t n = next.front();
                    next.pop_front();
                    for (const std::uint32_t from : into[n]) {
                        if (far[from] < 0) {
                            far[from] = far[n] + 1;
                            next.push_back(from);
                        }
                    }
                }
                JsonWriter json;
                json.Array();
                for (const std::int64_t d : far) {
                    json.Int(d);
                }
                out = json.End().Take();
                return std::string("null");
            });
        return out;
    });
}

}  // namespace listpool::sim
