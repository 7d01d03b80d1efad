#include "sim/explore_page.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "sim/chrome_trace.h"
#include "sim/shortest_path.h"

namespace listpool::sim {

// The page's script and look, with "@DATA@" and "@PEER@" where the data go
// (made at build time from sim/explore_page.html).
std::string ExplorePageTemplate();

namespace {

// Who holds each mutex and which events are reset, from the calls that took
// effect in this run, and how many threads have started.
class Objects final : public Observer {
  public:
    void OnEvent(const Event& event) override {
        if (event.phase != Event::kDone) {
            return;
        }
        switch (event.op) {
            case Op::kLock:
                owners_[event.object] = event.thread;
                break;
            case Op::kUnlock:
                owners_.erase(event.object);
                break;
            case Op::kSet:
                reset_.erase(event.object);
                break;
            case Op::kReset:
                reset_.insert(event.object);
                break;
            case Op::kStartThread:
                started_ = std::max(started_, event.newThread + 1);
                break;
            case Op::kWrite:
                files_[std::string(event.file)] += event.bytes;
                break;
            default:
                break;
        }
    }
    int Owner(const void* object) const {
        const auto found = owners_.find(object);
        return found == owners_.end() ? -1 : found->second;
    }
    bool IsReset(const void* object) const { return reset_.count(object) != 0; }
    int started() const { return started_; }
    std::string File(const std::string& name) const {
        const auto found = files_.find(name);
        return found == files_.end() ? "" : found->second;
    }

  private:
    std::map<std::string, std::string> files_;
    std::map<const void*, int> owners_;
    std::set<const void*> reset_;
    int started_ = 1;
};

std::uint32_t Bits(const std::vector<int>& threads) {
    std::uint32_t bits = 0;
    for (const int thread : threads) {
        bits |= 1u << thread;
    }
    return bits;
}

// The call a thread is stopped at, as the code makes it.
std::string NextCall(const PageScene& page, const Objects& objects, int thread) {
    if (thread >= objects.started()) {
        return "not started";
    }
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    std::string name = object != nullptr ? page.nameObject(object) : "";
    if (name.empty()) {
        name = op == Op::kLock || op == Op::kUnlock ? "a mutex" : "an event";
    }
    switch (op) {
        case Op::kBegin:
            return "begins";
        case Op::kLock:
        case Op::kWait:
            return name + "->Lock()";
        case Op::kUnlock:
            return name + "->Unlock()";
        case Op::kSet:
            return name + "->SetEvent()";
        case Op::kReset:
            return name + "->ResetEvent()";
        case Op::kStartThread:
            return "StartThread()";
        case Op::kSleep:
            return "SleepMs()";
        case Op::kWrite:
            return "writes";
        case Op::kRead:
            return "reads input";
        default:
            return "ended";
    }
}

StateView Read(const PageScene& page, const Objects& objects, const std::vector<int>& enabled) {
    StateView view;
    view.enabled = Bits(enabled);
    const std::vector<std::string> read =
        page.read([&objects](const void* object) { return objects.Owner(object); });
    const std::size_t columns = page.threadColumns.size();
    for (std::size_t t = 0; t < page.threads.size(); ++t) {
        view.texts.push_back(NextCall(page, objects, static_cast<int>(t)));
        for (std::size_t c = 0; c < columns; ++c) {
            view.texts.push_back(read.at(t * columns + c));
        }
    }
    std::size_t value = page.threads.size() * columns;
    for (const PageRow& row : page.rows) {
        if (row.kind == PageRow::kValue) {
            view.texts.push_back(read.at(value++));
        } else if (row.kind == PageRow::kMutex) {
            const int owner = objects.Owner(row.object());
            view.texts.push_back(owner < 0 ? "free"
                                           : "held by " + page.threads.at(std::size_t(owner)));
        } else if (row.kind == PageRow::kEvent) {
            view.texts.push_back(objects.IsReset(row.object()) ? "reset" : "set");
        } else {
            view.texts.push_back(objects.File(row.name));
        }
    }
    return view;
}

// A first run makes the objects that outlive runs (a stream's), as the
// search's does, so that every later run numbers its objects alike. A scene
// whose threads go on for ever needs no more than a few steps of it.
void Warm(PageScene& page) {
    if (!page.warm) {
        Options options;
        options.maxSteps = 100'000;
        page.scene->Play(options);
        page.warm = true;
    }
}

// Plays the scene with `chooser` and the objects watched.
void Play(PageScene& page, Chooser& chooser, Objects& objects) {
    Options options;
    options.chooser = &chooser;
    options.observer = &objects;
    page.scene->Play(options);
}

// Reads every state along one choice list.
class Follower final : public Chooser {
  public:
    Follower(const PageScene& page, const Objects& objects, const std::vector<int>& choices)
        : page_(page), objects_(objects), choices_(choices) {}
    int Choose(const std::vector<int>& enabled, int) override {
        views.push_back(Read(page_, objects_, enabled));
        if (enabled.size() > 1 && next_ == choices_.size()) {
            return -1;
        }
        const int thread = enabled.size() > 1 ? choices_[next_++] : enabled.front();
        views.back().taken = thread;
        return std::find(enabled.begin(), enabled.end(), thread) != enabled.end() ? thread : -1;
    }
    std::vector<StateView> views;

  private:
    const PageScene& page_;
    const Objects& objects_;
    const std::vector<int>& choices_;
    std::size_t next_ = 0;
};

// Walks the graph along a path of steps from node 0, reading every state
// not read yet and seeing that the run can go on as the graph says.
class Walker final : public Chooser {
  public:
    Walker(const PageScene& page, const Objects& objects, const StateGraph& graph,
           std::vector<StateView>& views, std::vector<bool>& read)
        : page_(page), objects_(objects), graph_(graph), views_(views), read_(read) {}
    void Start(std::vector<int> path) {
        path_ = std::move(path);
        next_ = 0;
        at_ = 0;
    }
    int Choose(const std::vector<int>& enabled, int) override {
        const StateGraph::Node& node = graph_.nodes[at_];
        if (Bits(enabled) != node.enabled) {
            error =
                "state " + std::to_string(at_) + ": other threads can go on than the graph says";
            return -1;
        }
        if (!read_[at_]) {
            views_[at_] = Read(page_, objects_, enabled);
            read_[at_] = true;
        }
        if (next_ == path_.size()) {
            return -1;
        }
        const int thread = path_[next_++];
        for (const auto& step : node.steps) {
            if (step.thread == thread) {
                at_ = step.to;
            }
        }
        return thread;
    }
    std::string error;

  private:
    const PageScene& page_;
    const Objects& objects_;
    const StateGraph& graph_;
    std::vector<StateView>& views_;
    std::vector<bool>& read_;
    std::vector<int> path_;
    std::size_t next_ = 0;
    std::uint32_t at_ = 0;
};

std::string Numbers(const std::vector<int>& numbers) {
    std::string json = "[";
    for (const int n : numbers) {
        json += (json.size() > 1 ? "," : "") + std::to_string(n);
    }
    return json + "]";
}

std::string Strings(const std::vector<std::string>& texts) {
    std::string json = "[";
    for (const std::string& text : texts) {
        json += (json.size() > 1 ? "," : "") + JsonString(text);
    }
    return json + "]";
}

}  // namespace

std::vector<StateView> ReplayViews(PageScene& page, const std::vector<int>& choices) {
    Warm(page);
    Objects objects;
    Follower follower(page, objects, choices);
    Play(page, follower, objects);
    return follower.views;
}

std::string PageData(PageScene& page, const SearchResult& result,
                     const std::vector<PageProperty>& properties) {
    const StateGraph& graph = result.graph;
    const Distances distances = DistancesFrom0(graph);
    std::vector<std::uint32_t> order(graph.nodes.size());
    for (std::uint32_t n = 0; n < order.size(); ++n) {
        order[n] = n;
    }
    // Deepest first, so that each run reads many states not read yet.
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return distances.steps[a] > distances.steps[b];
    });
    std::vector<StateView> views(graph.nodes.size());
    std::vector<bool> read(graph.nodes.size(), false);
    Warm(page);
    for (const std::uint32_t node : order) {
        if (read[node]) {
            continue;
        }
        Objects objects;
        Walker walker(page, objects, graph, views, read);
        walker.Start(StepsTo(distances, node));
        Play(page, walker, objects);
        if (!walker.error.empty() || !read[node]) {
            throw std::runtime_error(walker.error.empty() ? "a run stopped short of its state"
                                                          : walker.error);
        }
    }
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
        nodes += (n > 0 ? ",\n[" : "[") + std::to_string(graph.nodes[n].enabled) + "," +
                 Numbers(steps) + "," + Numbers(parts) + "]";
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
        std::uint64_t fewest = UINT64_MAX;
        for (const std::size_t f : property.failures) {
            const auto& failure = graph.failures.at(f);
            const std::uint64_t steps = distances.steps[failure.node] + (failure.thread >= 0);
            if (steps < fewest) {
                fewest = steps;
                choices = ChoicesToFailure(graph, failure);
            }
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
        lines += "{\"enabled\":" + std::to_string(view.enabled) +
                 ",\"taken\":" + std::to_string(view.taken) + ",\"texts\":" + Strings(view.texts) +
                 "}\n";
    }
    return lines;
}

}  // namespace listpool::sim
