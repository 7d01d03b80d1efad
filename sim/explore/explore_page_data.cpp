// The page's data as JSON, and the page around it.
#include "sim/explore/explore_page.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/json/json_writer.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {

// The page's script and look, with "@DATA@" and "@PEER@" where the data go
// (made at build time from sim/explore/explore_page.html and its scripts).
std::string ExplorePageTemplate();

namespace {

// A set of threads as the page's data writes it: the bits of their numbers
// in hexadecimal, the highest digit first ("3" for threads 0 and 1), as
// short as a bitmask for the few threads of most states and with no limit.
std::string Hex(const ThreadSet& set) {
    std::string digits;
    set.ForEach([&digits](int thread) {
        const auto digit = static_cast<std::size_t>(thread / 4);
        if (digits.size() <= digit) {
            digits.resize(digit + 1, 0);
        }
        digits[digit] = static_cast<char>(digits[digit] | 1 << thread % 4);
    });
    std::string hex(digits.rbegin(), digits.rend());
    for (char& digit : hex) {
        digit = "0123456789abcdef"[static_cast<unsigned char>(digit)];
    }
    return hex.empty() ? "0" : hex;
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
        nodes.Array().String(Hex(graph.nodes[n].enabled)).Ints(steps).Ints(parts).End();
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
    json.End().Break().Key("goal");
    if (page.goal) {
        json.Raw(page.goal(graph, distances, views, properties));
    } else {
        json.Null();
    }
    json.Break().Key("failures").Array();
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
    // Inside a script element "</" would end it and "<!--" change how it
    // ends: JSON has "<" only inside strings, where it may be written "\u003c".
    auto safe = [](const std::string& json) {
        std::string out;
        for (const char c : json) {
            out += c == '<' ? std::string("\\u003c") : std::string(1, c);
        }
        return out;
    };
    // Both marks are found in the template before either is filled in, so
    // that a mark inside the data (a learner's text may hold one) is text.
    const std::string page = ExplorePageTemplate();
    struct Fill {
        std::size_t at, size;
        std::string text;
    };
    std::vector<Fill> fills;
    for (const auto& [mark, text] :
         {std::pair<std::string, std::string>{"@DATA@", safe(data)},
          std::pair<std::string, std::string>{"@PEER@", peer.empty() ? "null" : safe(peer)}}) {
        if (const std::size_t at = page.find(mark); at != std::string::npos) {
            fills.push_back({at, mark.size(), text});
        }
    }
    std::sort(fills.begin(), fills.end(), [](const Fill& a, const Fill& b) { return a.at < b.at; });
    std::string out;
    std::size_t from = 0;
    for (const Fill& fill : fills) {
        out.append(page, from, fill.at - from).append(fill.text);
        from = fill.at + fill.size;
    }
    return out.append(page, from, std::string::npos);
}

std::string ViewLines(const std::vector<StateView>& views) {
    JsonWriter json;
    for (const StateView& view : views) {
        json.Object().Key("enabled").String(Hex(view.enabled)).Key("taken").Int(view.taken);
        json.Key("texts").Strings(view.texts).End().Break();
    }
    return json.Take();
}

}  // namespace listpool::sim
