#include "sim/timeline/timeline.h"

#include <algorithm>
#include <iterator>

#include "console/messages.h"
#include "sim/runs/session.h"
#include "sim/timeline/guard_states.h"

namespace listpool::sim {
namespace {

// The console asks for every command word with its prompt. What it writes
// after the prompt, up to the next one, tells which command it took, by
// the text each command writes first.
// The prompt's words, which one write holds, without the line end before them.
constexpr std::string_view kPromptWords = messages::kPrompt.substr(1);

struct Known {
    std::string_view opening;
    const char* command;
    bool key;  // the console echoes the key it read, after the line's last ": "
};
constexpr Known kAnswers[] = {
    {messages::kInsert, "i", false}, {messages::kDelete, "d", true},
    {messages::kDump, "f", false},   {messages::kPrint, "p", false},
    {messages::kFind, "F", true},    {messages::kCollect, "g", false},
    {messages::kSort, "s", false},
};

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

std::string LabelOf(std::string_view answer, bool last) {
    if (answer.empty()) {
        return last ? "quit" : "?";
    }
    for (const Known& known : kAnswers) {
        // An answer is read without the spaces around it.
        if (!answer.starts_with(Trimmed(known.opening))) {
            continue;
        }
        std::string label = known.command;
        const std::string_view line = answer.substr(0, answer.find('\n'));
        const std::size_t colon = line.rfind(": ");
        const std::string_view key =
            colon == std::string_view::npos ? std::string_view() : line.substr(colon + 2);
        if (known.key && !key.empty() && key.find_first_not_of("-0123456789") == key.npos) {
            label += " " + std::string(key);
        }
        return label;
    }
    return "?";
}

// The answers to the console's prompts, in order, from all it wrote.
std::vector<std::string> Answers(const Outcome& outcome) {
    std::string text;
    for (const Write& write : outcome.writes) {
        if (write.thread == 0 && write.file == "stdout") {
            text += write.bytes;
        }
    }
    std::vector<std::string> answers;
    for (std::size_t at = text.find(kPromptWords); at != std::string::npos;) {
        const std::size_t from = at + kPromptWords.size();
        at = text.find(kPromptWords, from);
        const std::size_t to = at == std::string::npos ? text.size() : at;
        answers.emplace_back(Trimmed(std::string_view(text).substr(from, to - from)));
    }
    return answers;
}

std::vector<Line> LinesOf(const Outcome& outcome) {
    std::vector<Line> lines;
    for (const Write& write : outcome.writes) {
        std::string_view rest = write.bytes;
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            const std::string_view text = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (!text.empty()) {
                lines.push_back({write.timeMs, write.thread, write.file, std::string(text)});
            }
        }
    }
    return lines;
}

}  // namespace

const char* ActivityName(Activity activity) {
    static constexpr const char* kNames[] = {"running",     "pausing",       "gate",
                                             "writer-turn", "readers-leave", "count-mutex",
                                             "input",       "stream",        "other"};
    static_assert(std::size(kNames) == kActivities);
    return kNames[static_cast<int>(activity)];
}

const char* ActivityText(Activity activity) {
    static constexpr const char* kTexts[] = {"running",
                                             "pausing",
                                             "waiting at the gate",
                                             "waiting for the writer's turn",
                                             "waiting for the readers inside to leave",
                                             "waiting for the count mutex",
                                             "waiting for input",
                                             "waiting for an output stream",
                                             "waiting"};
    static_assert(std::size(kTexts) == kActivities);
    return kTexts[static_cast<int>(activity)];
}

const char* GuardStateName(GuardState state) {
    static const char* const kNames[] = {"idle", "read-held", "write-held", "entering"};
    return kNames[static_cast<int>(state)];
}

void TimelineRecorder::OnNotice(const Notice& notice) {
    auto [found, added] = threads_.try_emplace(notice.thread);
    PerThread& self = found->second;
    last_ = std::max(last_, notice.time);
    if (added) {
        self.begin = notice.time;
    }
    if (notice.thread == 0) {
        OnConsole(notice);
    }
    if (notice.phase == Notice::kRequest) {
        if (notice.blocked) {
            self.open = blocked_.size();
            blocked_.push_back({notice.thread, notice.op, notice.object, notice.time, UINT64_MAX});
        }
        return;
    }
    if (self.open != SIZE_MAX) {
        blocked_[self.open].end = notice.time;
        self.open = SIZE_MAX;
    }
    if (notice.op != Op::kEnd) {
        done_.push_back({notice.thread, notice.op, notice.object, notice.time});
    }
    streams_.OnDone(notice);
    switch (notice.op) {
        case Op::kStartThread:
            threads_[notice.newThread].begin = notice.time;
            break;
        case Op::kEnd:
            self.end = notice.time;
            break;
        default:
            break;
    }
}

void TimelineRecorder::OnConsole(const Notice& notice) {
    if (notice.phase == Notice::kRequest) {
        // After a prompt the console flushes it, gives its stream back, and
        // reads when it has nothing buffered: then the word comes with input.
        if (prompt_ == Prompt::kWritten && notice.op != Op::kUnlock) {
            prompt_ = notice.op == Op::kRead ? Prompt::kReading : Prompt::kNone;
        }
        return;
    }
    if (notice.op == Op::kRead && prompt_ == Prompt::kReading) {
        commandTimes_.back() = notice.time;
        prompt_ = Prompt::kNone;
    } else if (notice.op == Op::kWrite && notice.file == "stdout" &&
               notice.bytes.find(kPromptWords) != std::string_view::npos) {
        commandTimes_.push_back(notice.time);
        prompt_ = Prompt::kWritten;
    }
}

Timeline TimelineRecorder::Build(const ProgramRun& run, Axis axis) const {
    Timeline timeline;
    const std::uint64_t end = axis == Axis::kSteps ? last_ : run.outcome.endTimeMs;
    timeline.axis = axis;
    timeline.end = end;
    timeline.guardNames = run.guards;
    const std::vector<std::string> names = ThreadNames(run.outcome);
    for (const auto& [thread, self] : threads_) {
        const std::string name = static_cast<std::size_t>(thread) < names.size()
                                     ? names[static_cast<std::size_t>(thread)]
                                     : "thread " + std::to_string(thread);
        timeline.threads.push_back({thread, name, self.begin, std::min(self.end, end)});
    }
    auto objectOf = [&](const void* object) {
        const auto found = run.objects.find(object);
        return found == run.objects.end() ? GuardObject() : found->second;
    };
    for (const Done& done : done_) {
        if (done.time <= end) {
            timeline.calls.push_back({done.thread, done.op, objectOf(done.object), done.time});
        }
    }
    timeline.objects = ObjectStates(run.guards, timeline.calls, end);
    // Adds a band after the thread's others; running after running, as a
    // wait split on an axis of steps ends, is one band.
    auto add = [&timeline](const Band& band) {
        std::vector<Band>& bands = timeline.bands;
        if (!bands.empty() && bands.back().thread == band.thread &&
            bands.back().activity == Activity::kRunning && band.activity == Activity::kRunning) {
            bands.back().end = band.end;
        } else {
            bands.push_back(band);
        }
    };
    for (const ThreadTrack& track : timeline.threads) {
        std::uint64_t at = track.begin;
        for (const Blocked& blocked : blocked_) {
            if (blocked.thread != track.thread) {
                continue;
            }
            Band band{track.thread, Activity::kOther, "", blocked.begin,
                      std::min(blocked.end, track.end)};
            if (blocked.op == Op::kSleep) {
                band.activity = Activity::kPausing;
            } else if (blocked.op == Op::kRead) {
                band.activity = Activity::kInput;
            } else if (const GuardObject object = objectOf(blocked.object); object.known()) {
                band.on = run.guards.at(static_cast<std::size_t>(object.guard));
                band.activity = ActivityOf(object);
            } else if (const std::string* file = streams_.FileOf(blocked.object)) {
                band.activity = Activity::kStream;
                band.on = *file;
            }
            add({track.thread, Activity::kRunning, "", at, band.begin});
            if (axis == Axis::kSteps && !band.on.empty()) {
                // Step by step a thread waits only while its object is
                // taken; once it is free, the thread is ready until chosen.
                for (const Band& piece :
                     WhileTaken(band, objectOf(blocked.object), timeline.objects)) {
                    add(piece);
                }
            } else {
                add(band);
            }
            at = band.end;
        }
        add({track.thread, Activity::kRunning, "", at, track.end});
    }
    timeline.sections = run.sections;
    for (Section& section : timeline.sections) {
        section.end = std::min(section.end, end);
    }
    timeline.guards = GuardStates(run.guards, timeline.sections, timeline.calls, end);
    const std::vector<std::string> answers = Answers(run.outcome);
    for (std::size_t n = 0; n < commandTimes_.size(); ++n) {
        const std::string answer = n < answers.size() ? answers[n] : "";
        timeline.commands.push_back(
            {commandTimes_[n], LabelOf(answer, n + 1 == commandTimes_.size()), answer});
    }
    timeline.lines = LinesOf(run.outcome);
    return timeline;
}

Recorded RecordListpool(const Options& options, std::string_view sessionText) {
    TimelineRecorder recorder;
    Recorded recorded;
    recorded.result = SimulateListpool(options, sessionText, &recorder);
    recorded.timeline = recorder.Build(recorded.result);
    return recorded;
}

}  // namespace listpool::sim
