#include "sim/explore/session_page.h"

#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "console/program.h"
#include "sim/explore/guard_md.h"
#include "sim/explore/guard_source.h"
#include "sim/runs/guard_watch.h"
#include "sim/runs/session.h"
#include "sim/runs/session_search.h"

namespace listpool::sim {
namespace {

const char* const kFiles[] = {"stdout", "stderr", "PrintThread.0", "FindThread.0",
                              "GarbageThread.0"};
const char* const kObjects[] = {"countMutex", "writerMutex", "noReadersEvent", "gateEvent"};

const void* ObjectOf(const ReadWriteGuard& guard, int n) {
    const void* const objects[] = {guard.countMutex, guard.writerMutex, guard.noReadersEvent,
                                   guard.gateEvent};
    return objects[n];
}

// One of the guards' objects: its guard and that guard's name, and its
// index in kObjects.
struct GuardObject {
    const ReadWriteGuard* guard = nullptr;  // nullptr: no guard's
    const char* name = "";
    int n = -1;
};
GuardObject Find(const Program* program, const void* object) {
    if (program == nullptr || object == nullptr) {
        return {};
    }
    for (const GuardObject& in :
         {GuardObject{&program->pool.guard, "pool"}, GuardObject{&program->list.guard, "list"}}) {
        for (int n = 0; n < 4; ++n) {
            if (ObjectOf(*in.guard, n) == object) {
                return {in.guard, in.name, n};
            }
        }
    }
    return {};
}

// The pool, the list and the guards' counts, read while every simulated
// thread is stopped at a platform call (as the session search reads them).
std::vector<std::string> Memory(const Program* program) NO_THREAD_SAFETY_ANALYSIS {
    if (program == nullptr) {
        return {"0 ms", "not made yet", "", "", ""};
    }
    return {std::to_string(NowMs()) + " ms", PoolText(*program), ListText(*program),
            std::to_string(program->pool.guard.readerCount),
            std::to_string(program->list.guard.readerCount)};
}

// Who is inside each guard, as the guard watch sees it, watched afresh in
// every run from the program's first call.
class Inside final : public Observer {
  public:
    explicit Inside(const SessionScene& scene) : scene_(scene) {}
    void OnNotice(const Notice& notice) override {
        if (notice.thread == 0 && notice.op == Op::kBegin) {
            watch_.reset();
            places_.clear();
        }
        if (watch_ == nullptr && scene_.program() != nullptr) {
            watch_ = std::make_unique<GuardWatch>();
            watch_->Add(scene_.program()->pool.guard, "pool");
            watch_->Add(scene_.program()->list.guard, "list");
        }
        if (watch_ != nullptr) {
            watch_->OnNotice(notice);
        }
        if (const GuardObject on = Find(scene_.program(), notice.object);
            notice.phase == Notice::kDone && on.guard != nullptr) {
            Sequence& at = places_[{notice.thread, on.guard}];
            at = Left(Entered(at, notice.op, on.n), notice.op, on.n, *on.guard);
        }
    }
    // What docs/GUARD.md says of the thread's next call, when it is one of
    // a guard's.
    std::string Why(int thread, const std::function<int(const void*)>& owner) const {
        const void* object = nullptr;
        const Op op = PendingOp(thread, &object);
        const GuardObject on = Find(scene_.program(), object);
        if (on.guard == nullptr) {
            return "";
        }
        const auto place = places_.find({thread, on.guard});
        const Sequence at = Entered(place == places_.end() ? kOut : place->second, op, on.n);
        return WhatGuardMdSays(at, op, kObjects[on.n], owner(ObjectOf(*on.guard, 1)) == thread);
    }
    // "reads the list", "writes the pool, writes the list", or "".
    std::string Of(int thread) const {
        std::string inside;
        for (const Section& s : watch_ != nullptr ? watch_->sections() : none_) {
            if (s.thread == thread && s.end == UINT64_MAX) {
                inside += (inside.empty() ? "" : ", ") + std::string(s.write ? "writes" : "reads") +
                          " the " + s.guard;
            }
        }
        return inside;
    }

  private:
    // Where a call on object n takes a thread at `at`: each sequence is
    // told by its first call (BeginRead waits at the gate, BeginWrite
    // closes it; EndRead takes countMutex, EndWrite gives it back).
    static Sequence Entered(Sequence at, Op op, int n) {
        const bool count = n == 0, gate = n == 3;
        return at == kOut && gate && op == Op::kEventLock     ? kReaderArrives
               : at == kOut && gate && op == Op::kReset       ? kWriterArrives
               : at == kReading && count && op == Op::kLock   ? kReaderLeaves
               : at == kWriting && count && op == Op::kUnlock ? kWriterLeaves
                                                              : at;
    }
    // Where a thread is once a call of its sequence has taken effect: the
    // last call of each ends it, and a writer is inside once it holds
    // countMutex with no reader left (every thread is stopped, so
    // readerCount can be read).
    static Sequence Left(Sequence at, Op op, int n,
                         const ReadWriteGuard& guard) NO_THREAD_SAFETY_ANALYSIS {
        const bool count = n == 0, writer = n == 1;
        return at == kReaderArrives && count && op == Op::kUnlock  ? kReading
               : at == kReaderLeaves && count && op == Op::kUnlock ? kOut
               : at == kWriterArrives && count && op == Op::kLock && guard.readerCount == 0
                   ? kWriting
               : at == kWriterLeaves && writer && op == Op::kUnlock ? kOut
                                                                    : at;
    }

    const SessionScene& scene_;
    std::unique_ptr<GuardWatch> watch_;
    const std::vector<Section> none_;
    std::map<std::pair<int, const ReadWriteGuard*>, Sequence> places_;
};

struct Page {
    explicit Page(std::string_view session, const std::string& file) : scene(session) {
        page.title = "listpool on " + file;
        page.name = "session";
        page.command = "build/sim/listpool-sim --replay '{}' " + file;
        page.threads = ThreadNames(SimulateListpool({}, session).outcome);
        for (const char* row : {"time", "pool", "list", "pool readerCount", "list readerCount"}) {
            page.rows.push_back({row, PageRow::kValue, {}});
        }
        for (const char* guard : {"pool", "list"}) {
            for (int n = 0; n < 4; ++n) {
                page.rows.push_back({std::string(guard) + " " + kObjects[n],
                                     n < 2 ? PageRow::kMutex : PageRow::kEvent,
                                     [this, guard, n] { return Object(guard, n); }});
            }
        }
        for (const char* file : kFiles) {
            page.rows.push_back({file, PageRow::kFile, {}});
        }
        page.threadColumns = {"inside", "why"};
        page.observer = &inside;
        page.read = [this](const std::function<int(const void*)>& owner) {
            std::vector<std::string> texts;
            for (int t = 0; t < static_cast<int>(page.threads.size()); ++t) {
                texts.push_back(inside.Of(t));
                texts.push_back(inside.Why(t, owner));
            }
            for (std::string& text : Memory(scene.program())) {
                texts.push_back(std::move(text));
            }
            return texts;
        };
        page.nameObject = [this](const void* object) {
            const GuardObject on = Find(scene.program(), object);
            return on.guard == nullptr ? std::string()
                                       : std::string(on.name) + " " + kObjects[on.n];
        };
        page.scene = &scene;
        page.code = GuardSourceJson(ReadGuardSource(LISTPOOL_SOURCE_DIR));
    }
    const void* Object(const std::string& guard, int n) const {
        const Program* program = scene.program();
        return program == nullptr
                   ? nullptr
                   : ObjectOf(guard == "pool" ? program->pool.guard : program->list.guard, n);
    }
    SessionScene scene;
    Inside inside{scene};
    PageScene page;
};

}  // namespace

std::string SessionPage(std::string_view session, const std::string& file) {
    ReadGuardMd();
    Page page(session, file);
    const SearchResult result = SearchStates(page.scene);
    std::vector<PageProperty> properties(2);
    properties[0] = {"exclusion",
                     "no writer works beside a reader in either guard",
                     std::string(kWriterBesideReader),
                     {},
                     {}};
    properties[1] = {"no deadlock",
                     "every run ends as the program does, by exit status 0",
                     "a run that does not end as the program does",
                     {},
                     {}};
    for (std::size_t f = 0; f < result.graph.failures.size(); ++f) {
        const bool exclusion = result.graph.failures[f].what.starts_with(kWriterBesideReader);
        properties[exclusion ? 0 : 1].failures.push_back(f);
    }
    return PageHtml(PageData(page.page, result, properties));
}

std::vector<StateView> SessionViews(std::string_view session, const std::vector<int>& choices) {
    ReadGuardMd();
    Page page(session, "");
    return ReplayViews(page.page, choices);
}

}  // namespace listpool::sim
