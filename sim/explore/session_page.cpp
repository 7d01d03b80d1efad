#include "sim/explore/session_page.h"

#include <memory>

#include "console/program.h"
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

// The pool, the list and the guards' counts, read while every simulated
// thread is stopped at a platform call (as the session search reads them).
std::vector<std::string> Memory(const Program* program) NO_THREAD_SAFETY_ANALYSIS {
    if (program == nullptr) {
        return {"0 ms", "not made yet", "", "", ""};
    }
    const RecordPool& pool = program->pool;
    std::string records;
    for (std::int32_t offset = 0; offset < kRecordCount * kWordsPerRecord;
         offset += kWordsPerRecord) {
        records += "[" + std::to_string(offset) + "] key " + std::to_string(pool.Key(offset)) +
                   ", next " + std::to_string(pool.Next(offset)) +
                   (pool.Mark(offset) == kInUse ? ", in use\n" : ", free\n");
    }
    records += "cursor " + std::to_string(pool.cursor);
    std::string list = "head";
    std::int32_t at = program->list.head;
    for (int n = 0; at >= 0 && n <= kRecordCount; ++n, at = pool.Next(at)) {
        list += " -> [" + std::to_string(at) + "] " + std::to_string(pool.Key(at));
    }
    list += "; " + std::to_string(program->list.opsCount) + " ops";
    return {std::to_string(NowMs()) + " ms", records, list, std::to_string(pool.guard.readerCount),
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
        }
        if (watch_ == nullptr && scene_.program() != nullptr) {
            watch_ = std::make_unique<GuardWatch>();
            watch_->Add(scene_.program()->pool.guard, "pool");
            watch_->Add(scene_.program()->list.guard, "list");
        }
        if (watch_ != nullptr) {
            watch_->OnNotice(notice);
        }
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
    const SessionScene& scene_;
    std::unique_ptr<GuardWatch> watch_;
    const std::vector<Section> none_;
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
        page.threadColumns = {"inside"};
        page.observer = &inside;
        page.read = [this](const auto&) {
            std::vector<std::string> texts;
            for (std::size_t t = 0; t < page.threads.size(); ++t) {
                texts.push_back(inside.Of(static_cast<int>(t)));
            }
            for (std::string& text : Memory(scene.program())) {
                texts.push_back(std::move(text));
            }
            return texts;
        };
        page.nameObject = [this](const void* object) {
            for (const char* guard : {"pool", "list"}) {
                for (int n = 0; n < 4; ++n) {
                    if (object != nullptr && Object(guard, n) == object) {
                        return std::string(guard) + " " + kObjects[n];
                    }
                }
            }
            return std::string();
        };
        page.scene = &scene;
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
    Page page(session, file);
    const SearchResult result = SearchStates(page.scene);
    std::vector<PageProperty> properties(2);
    properties[0] = {"exclusion",
                     "no writer works beside a reader in either guard",
                     "a writer beside a reader",
                     {},
                     {}};
    properties[1] = {"no deadlock",
                     "every run ends as the program does, by exit status 0",
                     "a run that does not end as the program does",
                     {},
                     {}};
    for (std::size_t f = 0; f < result.graph.failures.size(); ++f) {
        const bool exclusion = result.graph.failures[f].what.starts_with("a writer beside");
        properties[exclusion ? 0 : 1].failures.push_back(f);
    }
    return PageHtml(PageData(page.page, result, properties));
}

std::vector<StateView> SessionViews(std::string_view session, const std::vector<int>& choices) {
    Page page(session, "");
    return ReplayViews(page.page, choices);
}

}  // namespace listpool::sim
