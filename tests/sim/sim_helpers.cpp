#include "sim_helpers.h"

#include <algorithm>
#include <cstdio>

namespace listpool::sim {

std::uint64_t Played::TimeOf(const std::string& file, std::string_view text, int nth) const {
    for (const Write& write : result.outcome.writes) {
        if (write.file == file && write.bytes.find(text) != std::string::npos && --nth == 0) {
            return write.timeMs;
        }
    }
    return UINT64_MAX;
}

std::vector<Section> Played::SectionsOf(int thread, const std::string& guard) const {
    std::vector<Section> found;
    for (const Section& section : result.sections) {
        if (section.thread == thread && section.guard == guard) {
            found.push_back(section);
        }
    }
    return found;
}

std::string Played::Explain() const {
    return Transcript(result.outcome) + (result.violation.empty() ? "" : "VIOLATION ") +
           result.violation + "replay: " + replay + "\n";
}

testing::AssertionResult MetInTheSameOrder(const StateGraph& left, const StateGraph& right) {
    if (left.nodes.empty()) {
        return testing::AssertionFailure() << "the search kept no graph to compare";
    }
    const std::size_t nodes = std::min(left.nodes.size(), right.nodes.size());
    for (std::size_t n = 0; n < nodes; ++n) {
        const StateGraph::Node& a = left.nodes[n];
        const StateGraph::Node& b = right.nodes[n];
        bool same = a.hash == b.hash && a.steps.size() == b.steps.size();
        for (std::size_t s = 0; same && s < a.steps.size(); ++s) {
            same = a.steps[s].thread == b.steps[s].thread && a.steps[s].to == b.steps[s].to;
        }
        if (!same) {
            return testing::AssertionFailure() << "state " << n << " differs";
        }
    }
    if (left.nodes.size() != right.nodes.size()) {
        return testing::AssertionFailure()
               << left.nodes.size() << " states against " << right.nodes.size();
    }
    return testing::AssertionSuccess();
}

Played Play(std::string_view session, const Schedule& schedule, Options options) {
    ScheduleChooser chooser(schedule);
    options.chooser = &chooser;
    Played played;
    played.result = SimulateListpool(options, session);
    played.replay = ListpoolSimCommand(schedule, session, LISTPOOL_SIM_PROGRAM);
    return played;
}

std::uint64_t ChoicePoints(std::string_view session) {
    FixedChooser fixed;
    RecordingChooser recording(fixed);
    Options options;
    options.chooser = &recording;
    SimulateListpool(options, session);
    return recording.choices().size();
}

std::string Log(const std::string& name, const std::string& report) {
    return "Thread: [" + name + "] Initialization Completed\n" + report;
}

std::string Dump(std::vector<Shown> records) {
    std::string text = "Here is the Record Pool:\nRecord Memory Pool Content: \n";
    records.resize(5);
    for (int n = 0; n < 5; ++n) {
        const Shown& r = records[static_cast<std::size_t>(n)];
        char line[96];
        std::snprintf(line, sizeof line, "Memory: [%2d]: Record(%2d): Key=%5d  Next=%5d  MM=%s\n",
                      3 * n, n, r.key, r.next, r.inUse ? "InUse" : "Free");
        text += line;
    }
    return text;
}

}  // namespace listpool::sim
