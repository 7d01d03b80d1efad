// The page's data as JSON, and the page around it.
#include "sim/explore/explore_page.h"

#include <algorithm>
#include <unordered_map>

#include "sim/search/shortest_path.h"
#include "sim/trace/chrome_trace.h"

namespace listpool::sim {

// The page's script and look, with "@DATA@" and "@PEER@" where the data go
// (made at build time from sim/explore_page.html and its scripts).
std::string ExplorePageTemplate();

namespace {

std::string Numbers(const std::vector<int>& numbers) {
    std::string json = "[";
    for (const int n : numbers) {
        json += (json.size() > 1 ? "," : "") + std::to_string(n);
    }
    return json + "]";
}

// A set of threads as the pages read it: their ids, ascending.
std::string Threads(const ThreadSet& threads) {
    std::vector<int> ids;
    threads.ForEach([&ids](int thread) { ids.push_back(thread); });
    return Numbers(ids);
}

std::string Strings(const std::vector<std::string>& texts) {
    std::string json = "[";
    for (const std::string& text : texts) {
        json += (json.size() > 1 ? "," : "") + JsonString(text);
    }
    return json + "]";
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
    std::string nodes = "[";
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
                parts.push_back(id(groups, Numbers(group)));
                group.clear();
            }
        }
        nodes += (n > 0 ? ",\n[" : "[") + Threads(graph.nodes[n].enabled) + "," + Numbers(steps) +
                 "," + Numbers(parts) + "]";
    }
    nodes += "]";
    std::string groupList = "[";
    for (const std::string& group : groups) {
        groupList += (groupList.size() > 1 ? "," : "") + group;
    }
    groupList += "]";
    std::string failures = "[";
    for (const auto& failure : graph.failures) {
        failures += (failures.size() > 1 ? "," : "") + std::string("[") +
                    std::to_string(failure.node) + "," + std::to_string(failure.thread) + "," +
                    JsonString(failure.what) + "]";
    }
    failures += "]";
    std::string props = "[";
    for (const PageProperty& property : properties) {
        std::vector<int> failing(property.failures.begin(), property.failures.end()), choices;
        // The one of its failures a shortest run reaches.
        const auto nearest = std::min_element(
            property.failures.begin(), property.failures.end(), [&](std::size_t a, std::size_t b) {
                return StepsToFailure(distances, graph.failures.at(a)) <
                       StepsToFailure(distances, graph.failures.at(b));
            });
        if (nearest != property.failures.end()) {
            choices = ChoicesToFailure(graph, distances, graph.failures.at(*nearest));
        }
        props +=
            std::string(props.size() > 1 ? ",\n" : "") + "{\"name\":" + JsonString(property.name) +
            ",\"holds\":" + JsonString(property.holds) + ",\"what\":" + JsonString(property.what) +
            ",\"failures\":" + Numbers(failing) + ",\"choices\":" + Numbers(choices) +
            ",\"cycle\":" + (property.cycle.found ? "true" : "false") +
            ",\"prefix\":" + Numbers(property.cycle.prefix) +
            ",\"lap\":" + Numbers(property.cycle.lap) + "}";
    }
    props += "]";
    std::string rows = "[";
    for (const PageRow& row : page.rows) {
        static const char* const kKinds[] = {"value", "mutex", "event", "file"};
        rows += std::string(rows.size() > 1 ? "," : "") + "{\"name\":" + JsonString(row.name) +
                ",\"kind\":\"" + kKinds[row.kind] + "\"}";
    }
    rows += "]";
    return "{\"title\":" + JsonString(page.title) + ",\"name\":" + JsonString(page.name) +
           ",\"command\":" + JsonString(page.command) + ",\"threads\":" + Strings(page.threads) +
           ",\"threadColumns\":" + Strings(page.threadColumns) + ",\"rows\":" + rows +
           ",\n\"code\":" + (page.code.empty() ? "null" : page.code) +
           ",\"figures\":{\"states\":" + std::to_string(result.states) +
           ",\"transitions\":" + std::to_string(result.transitions) +
           ",\"complete\":" + (result.complete ? "true" : "false") + "},\n\"properties\":" + props +
           ",\n\"failures\":" + failures + ",\n\"strings\":" + Strings(strings) +
           ",\n\"groups\":" + groupList + ",\n\"nodes\":" + nodes + "}";
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
    std::string lines;
    for (const StateView& view : views) {
        lines += "{\"enabled\":" + Threads(view.enabled) +
                 ",\"taken\":" + std::to_string(view.taken) + ",\"texts\":" + Strings(view.texts) +
                 "}\n";
    }
    return lines;
}

}  // namespace listpool::sim
