#include "sim/explore/text_page.h"

#include <utility>

#include "sim/explore/explore_page.h"
#include "sim/explore/guard_source.h"
#include "sim/guards/guard_text.h"
#include "sim/guards/guard_tool.h"
#include "sim/guards/text_guard.h"
#include "sim/guards/verdicts.h"
#include "sim/search/fair_cycle.h"

namespace listpool::sim {
namespace {

using Scene = GuardScene<guards::TextGuard>;

// What the page says of each verdict when nothing breaks it, and when
// something does, by kVerdictNames' order.
constexpr const char* kHolds[] = {
    "no writer is ever inside beside a reader or another writer",
    "every thread that is stopped can go on, or has ended",
    "no thread misuses a mutex, a loop or a counter",
    "every run comes to its end",
    "a writer that has arrived gets in, under weak fairness",
    "a reader at the gate gets past it, under weak fairness",
    "a writer that has arrived gets in, under strong fairness",
    "a reader at the gate gets past it, under strong fairness",
};

struct Page {
    Page(const guards::GuardCode& code, const GuardCast& cast)
        : code(code), cast(cast), scene(cast, [&code] { return new guards::TextGuard(code); }) {
        page.scene = &tagged;
        page.name = "guard";
        for (int n = 0; n <= cast.readers + cast.writers; ++n) {
            page.threads.push_back(GuardThreadName(cast, n));
        }
        page.threadColumns = {"line", "inside"};
        const auto& objects = code.text().objects;
        for (std::size_t n = 0; n < objects.size(); ++n) {
            page.rows.push_back({objects[n].name,
                                 objects[n].mutex ? PageRow::kMutex : PageRow::kEvent,
                                 [this, n]() -> const void* { return Object(n); }});
        }
        for (const guards::Counter& counter : code.text().counters) {
            page.rows.push_back({counter.name, PageRow::kValue, {}});
        }
        page.nameObject = [this, &objects](const void* object) {
            for (std::size_t n = 0; n < objects.size(); ++n) {
                if (object != nullptr && Object(n) == object) {
                    return objects[n].name;
                }
            }
            return std::string();
        };
        page.read = [this](const std::function<int(const void*)>&) { return Read(); };
    }

    const void* Object(std::size_t n) const {
        const guards::TextGuard* guard = scene.guard();
        return guard == nullptr ? nullptr : guard->Objects().at(n);
    }

    // Each thread's line in the text and whether it is inside, then every
    // counter.
    std::vector<std::string> Read() const {
        const guards::TextGuard* guard = scene.guard();
        std::vector<std::string> texts;
        for (int t = 0; t < static_cast<int>(page.threads.size()); ++t) {
            const int at = guard == nullptr || t == 0 ? -1 : guard->At(t);
            texts.push_back(
                at < 0
                    ? ""
                    : "line " + std::to_string(code.code()[static_cast<std::size_t>(at)].at.line));
            texts.push_back(t > 0 && guard != nullptr && scene.IsInside(t)
                                ? (t <= cast.readers ? "reading" : "writing")
                                : "");
        }
        const std::size_t counters = code.text().counters.size();
        const std::vector<std::int32_t> values =
            guard != nullptr ? guard->Counters() : std::vector<std::int32_t>(counters, 0);
        for (const std::int32_t value : values) {
            texts.push_back(std::to_string(value));
        }
        return texts;
    }

    // The verdicts as the page's properties: a failure the search met is
    // given by its index, a run that never ends by its cycle.
    std::vector<PageProperty> Properties(const SearchResult& result) const {
        const guards::GuardCheck check = guards::Verdicts(cast, result);
        std::vector<PageProperty> properties;
        for (std::size_t k = 0; k < check.verdicts.size(); ++k) {
            const guards::Verdict& verdict = check.verdicts[k];
            PageProperty property{verdict.name, kHolds[k], verdict.why, {}, {}};
            for (std::size_t f = 0; f < result.graph.failures.size(); ++f) {
                if (guards::VerdictBroken(result.graph.failures[f].what) == k) {
                    property.failures.push_back(f);
                }
            }
            if (!verdict.holds && property.failures.empty()) {
                property.cycle = {true, verdict.schedule, verdict.lap};
            }
            properties.push_back(std::move(property));
        }
        return properties;
    }

    const guards::GuardCode& code;
    GuardCast cast;
    Scene scene;
    guards::TaggedScene tagged{scene};
    PageScene page;
};

}  // namespace

std::string TextPageData(const guards::GuardCode& code, const GuardCast& cast,
                         const std::string& title, const std::string& source,
                         std::uint64_t maxStates, GoalOfPage goal) {
    Page page(code, cast);
    page.page.goal = std::move(goal);
    page.page.title = title;
    page.page.command =
        "listpool-sim --guard FILE " + guards::CastArguments(cast) + " --replay '{}'";
    page.page.code = source;
    SearchOptions options;
    options.maxStates = maxStates;
    const SearchResult result = SearchStates(page.tagged, options);
    return PageData(page.page, result, page.Properties(result));
}

std::string TextPage(std::string_view text, const GuardCast& cast, std::uint64_t maxStates) {
    const guards::GuardCode mine(guards::ReadAccepted(text));
    const GuardSource shown = TextSource(text, "your guard");
    const GuardSource real = ReadGuardSource(LISTPOOL_SOURCE_DIR);
    const guards::GuardCode realCode(guards::ReadAccepted(GuardSourceText(real)));
    return PageHtml(
        TextPageData(mine, cast, "Your guard", GuardSourceJson(shown), maxStates),
        TextPageData(realCode, cast, "The real guard", GuardSourceJson(real), maxStates));
}

}  // namespace listpool::sim
