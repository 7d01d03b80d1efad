// guard-pages: the explorer pages of the guard (sim/explore/explore_page.h): the
// real guard and each broken guard of sim/guards/texts/, in one scene of the
// guard search (guard_scene.h): two readers that come back for ever and two
// writers that enter twice, the scene in which the search finds both faults.
//
//   guard-pages FOLDER                  writes FOLDER/explore-guard*.html
//   guard-pages --replay GUARD CHOICES  prints each step of that schedule
//   guard-pages --views GUARD           for each line of choices on standard
//                                       input, every state as the page shows it
//
// GUARD is correct, without-recheck or without-second-reset. Beside each
// of the guard's calls a page shows what docs/GUARD.md says of it.
#include <cctype>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "guard_narration.h"
#include "guard_page_scene.h"
#include "platform/thread_annotations.h"
#include "sim/explore/explore_page.h"
#include "sim/explore/guard_source.h"
#include "sim/guards/broken_texts.h"
#include "sim/guards/guard_scene.h"
#include "sim/runs/guard_parts.h"
#include "sim/search/choice_text.h"
#include "sim/search/replay.h"
#include "sim/search/state_search.h"
#include "store/read_write_guard.h"

namespace listpool::sim {
namespace {

template <typename Guard>
class GuardPage {
  public:
    using Shown = Narrated<Guard>;

    GuardPage(std::string title, std::string name) {
        page_.title = std::move(title);
        page_.name = std::move(name);
        page_.command = "build/tests/sim/guard-pages --replay " + page_.name + " '{}'";
        page_.threads = {"main", "reader 1", "reader 2", "writer 3", "writer 4"};
        page_.threadColumns = {"place", "last call", "why"};
        for (int part = 0; part < kPartCount; ++part) {
            page_.rows.push_back({kGuardParts[part].member,
                                  kGuardParts[part].mutex ? PageRow::kMutex : PageRow::kEvent,
                                  [this, part] { return Object(part); }});
        }
        page_.rows.push_back({"readerCount", PageRow::kValue, {}});
        page_.nameObject = [this](const void* object) {
            for (int part = 0; part < kPartCount; ++part) {
                if (object != nullptr && Object(part) == object) {
                    return std::string(kGuardParts[part].member);
                }
            }
            return std::string();
        };
        page_.read = [this](const std::function<int(const void*)>& owner) { return Read(owner); };
        page_.scene = &scene_;
        page_.observer = &scene_.lastCalls;
        scene_.lastCalls.name = page_.nameObject;
        scene_.lastCalls.sequences = [](int thread) {
            const auto found = Shown::entered.find(thread);
            return found == Shown::entered.end() ? 0 : found->second;
        };
        GuardSource source = ReadGuardSource(LISTPOOL_SOURCE_DIR);
        if constexpr (!std::is_same_v<Guard, ReadWriteGuard>) {
            // The one sequence a broken guard changes, from its text.
            const guards::BrokenGuard* guard = guards::FindBrokenGuard(page_.name);
            const std::string file = guard != nullptr ? guard->file : page_.name;
            const std::vector<std::string> broken =
                FunctionLines(FileLines(std::string(LISTPOOL_SOURCE_DIR) + "/" + file),
                              "void ReadWriteGuard::WriterArrives() {");
            if (broken.empty()) {
                throw std::runtime_error(file + " has no WriterArrives");
            }
            StrikeLeftOut(source, "WriterArrives", broken, file + ", WriterArrives");
        }
        page_.code = GuardSourceJson(source);
    }

    PageScene& page() { return page_; }

    // Searches the scene and makes the page's data.
    std::string Data() {
        const SearchResult result = SearchPastFailures(scene_);
        std::vector<PageProperty> properties(4);
        properties[0] = {"exclusion",
                         "no writer is ever inside beside a reader or another writer",
                         "a writer inside beside a reader or another writer",
                         {},
                         {}};
        properties[1] = {"no deadlock",
                         "every thread that is stopped can go on, or has ended",
                         "a run in which no thread can go on",
                         {},
                         {}};
        for (std::size_t f = 0; f < result.graph.failures.size(); ++f) {
            properties[result.graph.failures[f].thread < 0 ? 0 : 1].failures.push_back(f);
        }
        properties[2] = {"writers get in",
                         "a writer that has arrived gets in",
                         "a weakly fair run in which a writer that has arrived never gets in",
                         {},
                         Cycle(result, Scene::AnyWriterWaits(kCast), true)};
        properties[3] = {"readers pass the gate",
                         "a reader stopped at the gate gets past it",
                         "a weakly fair run in which a reader waits at the gate for ever",
                         {},
                         Cycle(result, Scene::AnyReaderAtGate(kCast), false)};
        return PageData(page_, result, properties);
    }

  private:
    using Scene = typename FreshScene<Guard>::Scene;

    // A fair cycle in which one thread of `labels` stays labelled. The
    // writers' is looked for as guard_pictures.cpp does, in states of any of
    // them (a lap in which no writer steps keeps the one waiting out), so
    // that the page and docs/GUARD.md name the same writer; a reader at the
    // gate, one reader at a time, as readers take turns there.
    static FairCycle Cycle(const SearchResult& result, std::uint32_t labels, bool any) {
        if (any) {
            return FindFairCycle(result.graph, labels);
        }
        for (std::uint32_t bit = 1; bit != 0; bit <<= 1) {
            if ((labels & bit) != 0) {
                if (FairCycle cycle = FindFairCycle(result.graph, bit); cycle.found) {
                    return cycle;
                }
            }
        }
        return {};
    }

    const void* Object(int part) const {
        const Shown* guard = Shown::last;
        return guard == nullptr ? nullptr : PartsOf(*guard)[static_cast<std::size_t>(part)];
    }

    // Each thread's place and what GUARD.md says of its next call, then
    // readerCount.
    std::vector<std::string> Read(const std::function<int(const void*)>& owner) {
        std::vector<std::string> texts;
        for (int thread = 0; thread < static_cast<int>(page_.threads.size()); ++thread) {
            const auto found = Shown::in.find(thread);
            const Sequence in = found == Shown::in.end() ? kOut : found->second;
            const void* object = nullptr;
            const Op op = PendingOp(thread, &object);
            const bool started = thread == 0 || found != Shown::in.end();
            const auto round = Shown::rounds.find(thread);
            texts.push_back(thread == 0      ? "starts the threads"
                            : !started       ? ""
                            : op == Op::kEnd ? "done"
                            : round != Shown::rounds.end()
                                ? kPlaces[in] + std::string(", round ") +
                                      std::to_string(round->second) + " of " +
                                      std::to_string(kCast.writeRounds)
                                : kPlaces[in]);
            const bool inSequence = in == kReaderArrives || in == kReaderLeaves ||
                                    in == kWriterArrives || in == kWriterLeaves;
            texts.push_back(inSequence ? scene_.lastCalls.Of(thread) : "");
            texts.push_back(WhatGuardMdSays(in, op, page_.nameObject(object),
                                            owner(Object(kWriterMutex)) == thread));
        }
        texts.push_back(Shown::last != nullptr ? std::to_string(Shown::last->Count()) : "0");
        return texts;
    }

    FreshScene<Guard> scene_;
    PageScene page_;
};

template <typename Run>
int ForGuard(const std::string& name, Run run) {
    if (name == "correct") {
        GuardPage<ReadWriteGuard> page("The reader-writer guard", name);
        return run(page);
    }
    if (name == "without-recheck") {
        GuardPage<guards::WithoutRecheck> page(guards::kBrokenGuards[0].title, name);
        return run(page);
    }
    if (name == "without-second-reset") {
        GuardPage<guards::WithoutSecondReset> page(guards::kBrokenGuards[1].title, name);
        return run(page);
    }
    std::cerr << "guard-pages: no guard " << name << "\n";
    return 2;
}

std::vector<int> Choices(const std::string& text) {
    std::vector<int> choices;
    if (!ParseChoices(text, choices)) {
        throw std::runtime_error("not a line of choices: " + text);
    }
    return choices;
}

int WritePages(const std::string& folder) {
    std::string correct;
    ForGuard("correct", [&](auto& page) {
        correct = page.Data();
        return 0;
    });
    int failed = 0;
    for (const char* name : {"correct", "without-recheck", "without-second-reset"}) {
        const std::string file = folder + "/explore-guard" +
                                 (std::string(name) == "correct" ? "" : "-" + std::string(name)) +
                                 ".html";
        std::ofstream out(file, std::ios::binary);
        ForGuard(name, [&](auto& page) {
            out << (std::string(name) == "correct" ? PageHtml(correct)
                                                   : PageHtml(page.Data(), correct));
            return 0;
        });
        out.close();
        if (!out) {
            std::cerr << "guard-pages: cannot write " << file << "\n";
            failed = 1;
        }
    }
    return failed;
}

}  // namespace
}  // namespace listpool::sim

int main(int argc, char** argv) {
    using namespace listpool::sim;
    const std::string mode = argc > 1 ? argv[1] : "";
    try {
        ReadGuardMd();
        if (argc == 2 && !mode.starts_with("--")) {
            return WritePages(mode);
        }
        if (argc == 4 && mode == "--replay") {
            return ForGuard(argv[2], [&](auto& guard) {
                PageScene& page = guard.page();
                int step = 0;
                const std::vector<int> choices = Choices(argv[3]);
                for (const StateView& view : ReplayViews(page, choices)) {
                    if (view.taken >= 0) {
                        const std::size_t columns = 1 + page.threadColumns.size();
                        std::cout << "step " << step++ << ": "
                                  << page.threads[std::size_t(view.taken)] << ": "
                                  << view.texts[std::size_t(view.taken) * columns] << "\n";
                    }
                }
                const std::string failure = Replay(*page.scene, choices).failure;
                std::cout << (failure.empty() ? "nothing wrong on the way" : failure) << "\n";
                return 0;
            });
        }
        if (argc == 3 && mode == "--views") {
            return ForGuard(argv[2], [&](auto& guard) {
                for (std::string line; std::getline(std::cin, line);) {
                    std::cout << ViewLines(ReplayViews(guard.page(), Choices(line))) << "end\n";
                }
                return 0;
            });
        }
    } catch (const std::exception& error) {
        std::cerr << "guard-pages: " << error.what() << "\n";
        return 1;
    }
    std::cerr << "usage: guard-pages FOLDER | --replay GUARD CHOICES | --views GUARD\n";
    return 2;
}
