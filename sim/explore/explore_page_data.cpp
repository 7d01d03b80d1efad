// The page's data as JSON, and the page around it.
#include "sim/explore/explore_page.h"

#include <algorithm>
#include <unordered_map>

#include "sim/json/json_writer.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {

// The page's script and look, with "@DATA@" and "@PEER@" where the data go
// (made at build time from sim/explore_page.html and its scripts).
std::string ExplorePageTemplate();

namespace {

// A set of threads as the page's data writes it: their numbers, ascending.
std::vector<int> Threads(std::uint32_t set) {
    std::vector<int> threads;
    for (int t = 0; set != 0; ++t, set >>= 1) {
        if ((set & 1u) != 0) {
            threads.push_back(t);
        }
    }
    return threads;
}

}  // namespace

std::string PageData(PageScene& page, const SearchResult& result,
                     const std::vector<PageProperty>& properties) {
    const StateGraph& graph = result.graph;
    const Distances distances = DistancesFrom0(graph);
    const std::vector<StateView> views = ReadEveryState(page, graph, distances);
    // Every text once; each thread's texts, and the rows', as a group of
    // them once; and each state's groups by number.
    std::unordered_map<std::string, int> stringIds, groupIds;
    std::vector<std::string> strings, groups;
    auto id = [&](std::vector<std::string>& table, const std::string& text) {
        auto& ids = &table == &strings ? stringIds : groupIds;
        const auto [found, added] = ids.try_emplace(text, static_cast<int>(table.size()));
        if (added) {
            table.push_back(text);
        }
        return found->second;
    };
    const std::size_t columns = 1 + page.threadColumns.size();
    JsonWriter nodes;
    nodes.Array();
    for (std::uint32_t n = 0; n < graph.nodes.size(); ++n) {
        std::vector<int> steps, parts, group;
        for (const auto& step : graph.nodes[n].steps) {
            steps.push_back(step.thread);
            steps.push_back(step.to == StateGraph::kEnd ? -1 : static_cast<int>(step.to));
        }
        const std::vector<std::string>& texts = views[n].texts;
        for (std::size_t t = 0; t < texts.size(); ++t) {
            group.push_back(id(strings, texts[t]));
            if (t + 1 == texts.size() || (t + 1) % columns == 0) {
                parts.push_back(id(groups, JsonWriter().Ints(group).Take()));
                group.clear();
            }
        }
        if (n > 0) {
            nodes.Break();
        }
        nodes.Array().Ints(Threads(graph.nodes[n].enabled)).Ints(steps).Ints(parts).End();
    }
    nodes.End();

    JsonWriter json;
    json.Object().Key("title").String(page.title).Key("name").String(page.name);
    json.Key("command").String(page.command).Key("threads").Strings(page.threads);
    json.Key("threadColumns").Strings(page.threadColumns).Key("rows").Array();
    for (const PageRow& row : page.rows) {
        static const char* const kKinds[] = {"value", "mutex", "event", "file"};
        json.Object().Key("name").String(row.name).Key("kind").String(kKinds[row.kind]).End();
    }
    json.End().Break().Key("code");
    if (page.code.empty()) {
        json.Null();
    } else {
        json.Raw(page.code);
    }
    json.Key("figures").Object().Key("states").Int(result.states);
    json.Key("transitions").Int(result.transitions).Key("complete").Bool(result.complete).End();
    json.Break().Key("properties").Array();
    for (const PageProperty& property : properties) {
        std::vector<int> choices;
        // The one of its failures a shortest run reaches.
        const auto nearest = std::min_element(
            property.failures.begin(), property.failures.end(), [&](std::size_t a, std::size_t b) {
                return StepsToFailure(distances, graph.failures.at(a)) <
                       StepsToFailure(distances, graph.failures.at(b));
            });
        if (nearest != property.failures.end()) {
            choices = ChoicesToFailure(graph, distances, graph.failures.at(*nearest));
        }
        if (&property != &properties.front()) {
            json.Break();
        }
        json.Object().Key("name").String(property.name).Key("holds").String(property.holds);
        json.Key("what").String(property.what).Key("failures").Ints(property.failures);
        json.Key("choices").Ints(choices).Key("cycle").Bool(property.cycle.found);
        json.Key("prefix").Ints(property.cycle.prefix).Key("lap").Ints(property.cycle.lap).End();
    }
    json.End().Break().Key("failures").Array();
    for (const auto& failure : graph.failures) {
        json.Array().Int(failure.node).Int(failure.thread).String(failure.what).End();
    }
    json.End().Break().Key("strings").Strings(strings).Break().Key("groups").Array();
    for (const std::string& group : groups) {
        json.Raw(group);
    }
    json.End().Break().Key("nodes").Raw(nodes.Take()).End();
    return json.Take();
}

std::string PageHtml(const std::string& data, const std::string& peer) {
    // Inside a script element "</" would end it; JSON may write it "<\/".
    auto safe = [](std::string json) {
        for (std::size_t at = json.find("</"); at != std::string::npos;
             at = json.find("</", at + 3)) {
            json.insert(at + 1, "\\");
        }
        return json;
    };
    std::string page = ExplorePageTemplate();
    for (const auto& [mark, text] : {std::pair{"@DATA@", safe(data)},
                                     std::pair{"@PEER@", peer.empty() ? "null" : safe(peer)}}) {
        const std::size_t at = page.find(mark);
        if (at != std::string::npos) {
            page.replace(at, std::string(mark).size(), text);
        }
    }
    return page;
}

std::string ViewLines(const std::vector<StateView>& views) {
    JsonWriter json;
    for (const StateView& view : views) {
        json.Object().Key("enabled").Ints(Threads(view.enabled)).Key("taken").Int(view.taken);
        json.Key("texts").Strings(view.texts).End().Break();
    }
    return json.Take();
}

}  // namespace listpool::sim
