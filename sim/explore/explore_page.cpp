#include "sim/explore/explore_page.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "platform/sim/strategies.h"
#include "sim/runs/stream_locks.h"
#include "sim/search/shortest_path.h"

namespace listpool::sim {

namespace {

// What the files hold and which mutexes are the streams', from the calls
// that took effect in this run; the rest of the state the simulator tells.
class Objects final : public Observer {
  public:
    explicit Objects(Observer* next) : next_(next) {}
    void OnRunStart() override {
        if (next_ != nullptr) {
            next_->OnRunStart();
        }
    }
    void OnNotice(const Notice& notice) override {
        if (next_ != nullptr) {
            next_->OnNotice(notice);
        }
        if (notice.phase != Notice::kDone) {
            return;
        }
        streams_.OnDone(notice);
        if (notice.op == Op::kWrite) {
            files_[std::string(notice.file)] += notice.bytes;
        }
    }
    // The mutex of the stream whose file was written holding it, or "".
    std::string Stream(const void* object) const {
        const std::string* file = streams_.FileOf(object);
        return file == nullptr ? "" : "the lock of " + *file;
    }
    std::string File(const std::string& name) const {
        const auto found = files_.find(name);
        return found == files_.end() ? "" : found->second;
    }

  private:
    Observer* next_;
    std::map<std::string, std::string> files_;
    StreamLocks streams_;
};

// The call a thread is stopped at, as the code makes it.
std::string NextCall(const PageScene& page, const Objects& objects, int thread) {
    if (thread >= ThreadsStarted()) {
        return "not started";
    }
    const void* object = nullptr;
    const Op op = PendingOp(thread, &object);
    std::string name = object != nullptr ? page.nameObject(object) : "";
    name = name.empty() ? objects.Stream(object) : name;
    if (name.empty()) {
        name = op == Op::kLock || op == Op::kUnlock ? "a mutex" : "an event";
    }
    switch (op) {
        case Op::kBegin:
            return "begins";
        case Op::kLock:
        case Op::kEventLock:
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
    view.enabled = ThreadSet(enabled);
    const std::vector<std::string> read = page.read(OwnerOf);
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
            const int owner = OwnerOf(row.object());
            view.texts.push_back(owner < 0 ? "free"
                                           : "held by " + page.threads.at(std::size_t(owner)));
        } else if (row.kind == PageRow::kEvent) {
            view.texts.push_back(IsSet(row.object()) ? "set" : "reset");
        } else {
            view.texts.push_back(objects.File(row.name));
        }
    }
    return view;
}

// Plays the scene with `chooser` and the objects watched.
void Play(PageScene& page, Chooser& chooser, Objects& objects) {
    Options options;
    options.chooser = &chooser;
    options.observer = &objects;
    page.scene->Play(options);
}

// Walks the graph along the choices of a shortest path from node 0 to
// `target`, reading every state not read yet and seeing that the run can go
// on as the graph says.
class Walker {
  public:
    Walker(const PageScene& page, const Objects& objects, const StateGraph& graph,
           std::vector<StateView>& views, std::vector<bool>& read, std::uint32_t target)
        : page_(page),
          objects_(objects),
          graph_(graph),
          views_(views),
          read_(read),
          target_(target) {}
    int Step(const std::vector<int>& enabled, int thread) {
        const StateGraph::Node& node = graph_.nodes[at_];
        if (ThreadSet(enabled) != node.enabled) {
            error =
                "state " + std::to_string(at_) + ": other threads can go on than the graph says";
            return -1;
        }
        if (!read_[at_]) {
            views_[at_] = Read(page_, objects_, enabled);
            read_[at_] = true;
        }
        if (at_ == target_) {
            return -1;
        }
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
    std::uint32_t target_;
    std::uint32_t at_ = 0;
};

}  // namespace

std::vector<StateView> ReplayViews(PageScene& page, const std::vector<int>& choices) {
    page.scene->WarmUp();
    Objects objects(page.observer);
    std::vector<StateView> views;
    StopChooser stop;
    ReplayChooser follow(choices, stop, [&](const std::vector<int>& enabled, int thread) {
        views.push_back(Read(page, objects, enabled));
        views.back().taken = thread;
        return std::find(enabled.begin(), enabled.end(), thread) != enabled.end() ? thread : -1;
    });
    Play(page, follow, objects);
    return views;
}

std::vector<StateView> ReadEveryState(PageScene& page, const StateGraph& graph,
                                      const Distances& distances) {
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
    page.scene->WarmUp();
    for (const std::uint32_t node : order) {
        if (read[node]) {
            continue;
        }
        Objects objects(page.observer);
        Walker walker(page, objects, graph, views, read, node);
        StopChooser stop;
        ReplayChooser walk(ChoicesTo(graph, distances, node), stop,
                           [&walker](const std::vector<int>& enabled, int thread) {
                               return walker.Step(enabled, thread);
                           });
        Play(page, walk, objects);
        if (!walker.error.empty() || !read[node]) {
            throw std::runtime_error(walker.error.empty() ? "a run stopped short of its state"
                                                          : walker.error);
        }
    }
    return views;
}

}  // namespace listpool::sim
