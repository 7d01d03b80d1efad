// A page on which its reader is the scheduler: one static HTML file that
// holds a scene's whole state graph, as the state search met it, and what
// the program holds in every state, read from the simulator. It opens from
// a file, offline: the graph and the script are inside it.
//
// The page offers the threads that can go on at each state, shows the state
// after each step, and for each property the shortest schedule that breaks
// it (sim/search/shortest_path.h). Its address's fragment holds the scene and the
// choices as --replay and LISTPOOL_GUARD_REPLAY take them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sim.h"
#include "sim/search/fair_cycle.h"
#include "sim/search/shortest_path.h"
#include "sim/search/state_search.h"
#include "sim/search/thread_set.h"

namespace listpool::sim {

// A row of the state: a mutex (shown as its holder), an event (set or
// reset), what a file holds so far, or a value the scene reads.
struct PageRow {
    enum Kind { kValue, kMutex, kEvent, kFile };
    std::string name;  // kFile: the file's ("stdout", "PrintThread.0")
    Kind kind = kValue;
    // kMutex, kEvent: the object, looked up inside the run.
    std::function<const void*()> object;
};

// What breaks or keeps a property: the failures of the graph it covers, or
// a fair cycle (prefix and lap) in which it fails.
struct PageProperty {
    std::string name;   // "exclusion"
    std::string holds;  // what holds when nothing breaks it
    std::string what;   // what is wrong, when something does
    // The failures (graph.failures' indexes) that break it.
    std::vector<std::size_t> failures;
    FairCycle cycle;
};

// One state as the page shows it: who can go on, and each text.
struct StateView {
    ThreadSet enabled;
    std::vector<std::string> texts;  // every thread's next call and columns, then every row
    int taken = -1;                  // the thread that stepped from it, or -1
};

// A level's goal (sim/explore/levels.h), made from the search's graph, its
// distances from node 0, every state's view and the page's properties: the
// data's "goal", as JSON.
using GoalOfPage =
    std::function<std::string(const StateGraph&, const Distances&, const std::vector<StateView>&,
                              const std::vector<PageProperty>&)>;

// What a scene shows on its page.
struct PageScene {
    std::string title;
    std::string name;  // the scene, as the fragment names it
    // The command that replays a schedule, "{}" where its choices go.
    std::string command;
    std::vector<std::string> threads;  // every thread's name, by id
    // Each thread's columns after its next call ("place", "why").
    std::vector<std::string> threadColumns;
    std::vector<PageRow> rows;
    // Inside a run, while every thread is stopped: each thread's columns,
    // thread by thread, then the text of every kValue row. `owner` tells
    // who holds a mutex (-1 for nobody).
    std::function<std::vector<std::string>(const std::function<int(const void*)>& owner)> read;
    // Names an object for the next calls, or "" (then "a mutex", "an event").
    std::function<std::string(const void*)> nameObject;
    // Runs the scene, given options with a chooser and an observer.
    SearchScene* scene = nullptr;
    // Told every event of every run, when given, before the page looks.
    Observer* observer = nullptr;
    // The guard's code to show beside the state, as GuardSourceJson makes
    // it (sim/explore/guard_source.h), or "" for none.
    std::string code;
    // When the page is a level's, its goal; else empty.
    GoalOfPage goal;
};

// Replays `choices` (one per point where more than one thread can go on)
// and reads every state on the way, the one after the last choice
// included.
std::vector<StateView> ReplayViews(PageScene& page, const std::vector<int>& choices);

// Every state of the graph, read by runs that walk it from node 0 (deepest
// states first, by `distances`, so that each run reads many). Fails (throws
// std::runtime_error) when a run does not go as the graph says.
std::vector<StateView> ReadEveryState(PageScene& page, const StateGraph& graph,
                                      const Distances& distances);

// The page's data, as JSON: the graph of the search, every state's view,
// the properties with their shortest schedules, and the search's figures.
std::string PageData(PageScene& page, const SearchResult& result,
                     const std::vector<PageProperty>& properties);

// The page: its script and look around `data`, and, when given, `peer`: the
// data of the scene to set beside it on the same choices.
std::string PageHtml(const std::string& data, const std::string& peer = {});

// The views as JSON lines, one per state: {"enabled":[..],"taken":..,"texts":[..]}.
std::string ViewLines(const std::vector<StateView>& views);

}  // namespace listpool::sim
