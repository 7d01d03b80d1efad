#include "sim/explore/session_page.h"

#include <functional>
#include <utility>

#include "console/program.h"
#include "sim/explore/guard_md.h"
#include "sim/explore/guard_places.h"
#include "sim/explore/guard_source.h"
#include "sim/runs/session.h"
#include "sim/runs/session_search.h"

namespace listpool::sim {
namespace {

const char* const kFiles[] = {"stdout", "stderr", "PrintThread.0", "FindThread.0",
                              "GarbageThread.0"};

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

struct Page {
    Page(std::string_view session, const std::string& file, const std::string& program,
         std::string_view guardText = {})
        : scene(session) {
        page.title = "listpool on " + file;
        page.name = "session";
        page.command = program + " --replay '{}' " + file;
        page.threads = ThreadNames(SimulateListpool({}, session).outcome);
        for (const char* row : {"time", "pool", "list", "pool readerCount", "list readerCount"}) {
            page.rows.push_back({row, PageRow::kValue, {}});
        }
        int guard = 0;
        for (const char* name : {"pool", "list"}) {
            for (int part = 0; part < kPartCount; ++part) {
                const GuardObject object{guard, part};
                page.rows.push_back(
                    {std::string(name) + " " + kGuardParts[part].member,
                     kGuardParts[part].mutex ? PageRow::kMutex : PageRow::kEvent,
                     [this, object] { return GuardPlaces::ObjectOf(scene.program(), object); }});
            }
            ++guard;
        }
        for (const char* file : kFiles) {
            page.rows.push_back({file, PageRow::kFile, {}});
        }
        // A guard text's calls are told by their line in it; GUARD.md
        // explains the real guard's.
        const bool text = !guardText.empty();
        page.threadColumns = {"inside", text ? "line" : "why"};
        page.observer = &inside;
        page.read = [this, text](const std::function<int(const void*)>&) {
            std::vector<std::string> texts;
            for (int t = 0; t < static_cast<int>(page.threads.size()); ++t) {
                texts.push_back(inside.Of(t));
                if (!text) {
                    texts.push_back(inside.Why(t));
                } else if (const GuardCall next = inside.Next(t); next.line > 0) {
                    texts.push_back("line " + std::to_string(next.line) + " (" + next.guard + ")");
                } else {
                    texts.push_back("");
                }
            }
            for (std::string& text : Memory(scene.program())) {
                texts.push_back(std::move(text));
            }
            return texts;
        };
        page.nameObject = [this](const void* object) {
            return GuardPlaces::NameOf(scene.program(), object);
        };
        page.scene = &scene;
        page.code = text ? GuardSourceJson(TextSource(guardText, "the guard text")) : SessionCode();
    }
    SessionScene scene;
    GuardPlaces inside{[this] { return scene.program(); }};
    PageScene page;
};

}  // namespace

std::string SessionCode() {
    return GuardSourceJson(ReadGuardSource(LISTPOOL_SOURCE_DIR));
}

std::string SessionPage(std::string_view session, const std::string& file,
                        const std::string& program, std::string_view guardText) {
    ReadGuardMd();
    Page page(session, file, program, guardText);
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
    Page page(session, "", "");
    return ReplayViews(page.page, choices);
}

}  // namespace listpool::sim
