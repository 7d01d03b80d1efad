// The timeline picture draws what the record holds: each band, section,
// guard span, command and line once, where its times put it; on an axis of
// steps, each call, object state, value and mark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

#include "guard_recording.h"
#include "sim/drawing/svg_timeline.h"
#include "sim/drawing/svg_writer.h"
#include "sim/drawing/timeline_style.h"
#include "sim/runs/session.h"
#include "sim/timeline/timeline.h"

namespace listpool::sim {
namespace {

using Attributes = std::map<std::string, std::string>;

// The attributes of every element whose tag is `tag` and whose class is
// `cls`, as written (entities left as they are).
std::vector<Attributes> Elements(const std::string& svg, const std::string& tag,
                                 const std::string& cls) {
    std::vector<Attributes> found;
    for (std::size_t at = svg.find("<" + tag + " "); at != std::string::npos;
         at = svg.find("<" + tag + " ", at + 1)) {
        const std::size_t end = svg.find('>', at);
        Attributes attributes;
        std::size_t pos = at + tag.size() + 2;
        while (pos < end) {
            const std::size_t eq = svg.find("=\"", pos);
            if (eq == std::string::npos || eq > end) {
                break;
            }
            const std::size_t close = svg.find('"', eq + 2);
            std::string name = svg.substr(pos, eq - pos);
            name.erase(0, name.find_first_not_of(' '));
            attributes[name] = svg.substr(eq + 2, close - eq - 2);
            pos = close + 1;
        }
        if (attributes["class"] == cls) {
            found.push_back(attributes);
        }
    }
    return found;
}

std::uint64_t Ms(const Attributes& a, const std::string& name) {
    return std::strtoull(a.at(name).c_str(), nullptr, 10);
}

std::string Svg(const Recorded& run) {
    return DrawSvg(run.timeline);
}

TEST(SvgTimelineTest, EveryBandOfTheRecordIsDrawnOnceWhereItsTimesAre) {
    const Recorded run = RecordListpool({}, "i 7 9 -1\np\nF 9\nd 7\ng\n@19000 f\nq\n");
    ASSERT_TRUE(run.result.ok());
    const std::string svg = Svg(run);
    const Attributes root = Elements(svg, "svg", "").at(0);
    const double left = std::stod(root.at("data-plot-left"));
    const double scale = std::stod(root.at("data-px-per-ms"));
    EXPECT_EQ(Ms(root, "data-end-ms"), run.timeline.end);

    using Key = std::tuple<int, std::string, std::string, std::uint64_t, std::uint64_t>;
    std::multiset<Key> recorded;
    for (const Band& band : run.timeline.bands) {
        recorded.insert({band.thread, ActivityName(band.activity), band.on, band.begin, band.end});
    }
    std::multiset<Key> drawn;
    for (const Attributes& a : Elements(svg, "rect", "band")) {
        const std::uint64_t begin = Ms(a, "data-begin-ms");
        const std::uint64_t end = Ms(a, "data-end-ms");
        drawn.insert(
            {std::stoi(a.at("data-thread")), a.at("data-kind"), a.at("data-on"), begin, end});
        // Narrow bands are widened about their middle.
        const double x = std::stod(a.at("x"));
        const double width = std::stod(a.at("width"));
        EXPECT_NEAR(x + width / 2, left + scale * static_cast<double>(begin + end) / 2, 0.02);
        EXPECT_GE(width + 0.01, scale * static_cast<double>(end - begin));
    }
    EXPECT_TRUE(drawn == recorded);
    EXPECT_FALSE(drawn.empty());
}

TEST(SvgTimelineTest, SectionsGuardStatesCommandsAndLinesAreTheRecords) {
    const Recorded run = RecordListpool({}, "i 7 9 -1\np\nd 7\nq\n");
    ASSERT_TRUE(run.result.ok());
    const Timeline& t = run.timeline;
    const std::string svg = Svg(run);

    using SectionKey = std::tuple<int, std::string, std::string, std::uint64_t, std::uint64_t>;
    std::set<SectionKey> recorded;
    for (const Section& s : t.sections) {
        recorded.insert({s.thread, s.guard, s.write ? "write" : "read", s.begin, s.end});
    }
    std::set<SectionKey> drawn;
    for (const Attributes& a : Elements(svg, "rect", "section")) {
        drawn.insert({std::stoi(a.at("data-thread")), a.at("data-guard"), a.at("data-mode"),
                      Ms(a, "data-begin-ms"), Ms(a, "data-end-ms")});
    }
    EXPECT_TRUE(drawn == recorded);
    // The print reads the list from 0.2 s to 10.2 s; the delete writes it
    // only once the print has left.
    EXPECT_EQ(drawn.count({1, "list", "read", 200, 10200}), 1u);
    EXPECT_EQ(drawn.count({0, "list", "write", 10200, 10200}), 1u);

    std::vector<Attributes> spans = Elements(svg, "rect", "guard");
    ASSERT_EQ(spans.size(), t.guards.size());
    for (std::size_t n = 0; n < spans.size(); ++n) {
        EXPECT_EQ(spans[n].at("data-guard"), t.guards[n].guard);
        EXPECT_EQ(spans[n].at("data-state"), GuardStateName(t.guards[n].state));
        EXPECT_EQ(std::stoi(spans[n].at("data-readers")), t.guards[n].readers);
        EXPECT_EQ(std::stoi(spans[n].at("data-writer")), t.guards[n].writer);
        EXPECT_EQ(Ms(spans[n], "data-begin-ms"), t.guards[n].begin);
        EXPECT_EQ(Ms(spans[n], "data-end-ms"), t.guards[n].end);
    }

    const std::vector<Attributes> commands = Elements(svg, "g", "command");
    ASSERT_EQ(commands.size(), t.commands.size());
    for (std::size_t n = 0; n < commands.size(); ++n) {
        EXPECT_EQ(Ms(commands[n], "data-ms"), t.commands[n].time);
        EXPECT_EQ(commands[n].at("data-label"), t.commands[n].label);
    }
    // Lines are drawn track by track; compare them as sets.
    std::multiset<std::tuple<int, std::string, std::uint64_t>> lines;
    for (const Line& line : t.lines) {
        lines.insert({line.thread, line.file, line.time});
    }
    std::multiset<std::tuple<int, std::string, std::uint64_t>> marks;
    for (const Attributes& a : Elements(svg, "path", "line")) {
        marks.insert({std::stoi(a.at("data-thread")), a.at("data-file"), Ms(a, "data-ms")});
    }
    EXPECT_TRUE(marks == lines);

    const std::vector<Attributes> tracks = Elements(svg, "g", "track");
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[1].at("data-name"), "print 1");
    EXPECT_EQ(Ms(tracks[1], "data-begin-ms"), 200u);
    EXPECT_EQ(Ms(tracks[1], "data-end-ms"), 10200u);
}

TEST(SvgTimelineTest, OnAnAxisOfStepsEachCallObjectValueAndMarkIsDrawnAtItsSteps) {
    Timeline t = RecordGuardScene<ReadWriteGuard>({2, 2, 2, 2}, {}, UINT64_MAX).timeline;
    t.marks = {{10, 14, "these steps"}, {20, 20, "this instant"}};
    const std::string svg = DrawSvg(t);
    const Attributes root = Elements(svg, "svg", "").at(0);
    EXPECT_EQ(root.at("data-axis"), "steps");
    const double left = std::stod(root.at("data-plot-left"));
    const double scale = std::stod(root.at("data-px-per-ms"));
    EXPECT_EQ(scale, SvgOptions().pxPerStep);
    // Every step has its column, and nothing more.
    EXPECT_EQ(std::stod(root.at("width")), left + kPlotRight + scale * t.end);
    auto x = [&](std::uint64_t step) { return left + scale * static_cast<double>(step); };

    // Calls are drawn track by track; a step has one.
    std::vector<Attributes> calls = Elements(svg, "rect", "call");
    std::sort(calls.begin(), calls.end(), [](const Attributes& a, const Attributes& b) {
        return Ms(a, "data-begin-ms") < Ms(b, "data-begin-ms");
    });
    ASSERT_EQ(calls.size(), t.calls.size());
    for (std::size_t n = 0; n < calls.size(); ++n) {
        const Call& call = t.calls[n];
        EXPECT_EQ(std::stoi(calls[n].at("data-thread")), call.thread);
        EXPECT_EQ(calls[n].at("data-op"), OpName(call.op));
        EXPECT_EQ(calls[n].at("data-object"), ObjectName(t, call.object));
        EXPECT_EQ(Ms(calls[n], "data-begin-ms"), call.at);
        EXPECT_NEAR(std::stod(calls[n].at("x")), x(call.at) + 1, 0.01);
        EXPECT_NEAR(std::stod(calls[n].at("width")), scale - 2, 0.01);
    }
    const std::vector<Attributes> objects = Elements(svg, "rect", "object");
    ASSERT_EQ(objects.size(), t.objects.size());
    for (std::size_t n = 0; n < objects.size(); ++n) {
        const ObjectSpan& span = t.objects[n];
        EXPECT_EQ(objects[n].at("data-object"), ObjectName(t, span.object));
        EXPECT_EQ(std::stoi(objects[n].at("data-holder")), span.holder);
        EXPECT_EQ(objects[n].at("data-signalled"), span.signalled ? "1" : "0");
        EXPECT_NEAR(std::stod(objects[n].at("x")), x(span.begin), 0.01);
        EXPECT_NEAR(std::stod(objects[n].at("width")), x(span.end) - x(span.begin), 0.01);
    }
    const std::vector<Attributes> values = Elements(svg, "rect", "value");
    ASSERT_EQ(values.size(), t.values.size());
    ASSERT_FALSE(values.empty());
    for (std::size_t n = 0; n < values.size(); ++n) {
        EXPECT_EQ(values[n].at("data-value"), t.values[n].value);
        EXPECT_NEAR(std::stod(values[n].at("x")), x(t.values[n].begin), 0.01);
    }
    const std::vector<Attributes> marks = Elements(svg, "g", "mark");
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(Ms(marks[0], "data-begin-ms"), 10u);
    EXPECT_EQ(Ms(marks[0], "data-end-ms"), 14u);
    EXPECT_NE(svg.find(">these steps</text>"), std::string::npos);
}

TEST(SvgTimelineTest, TextFromTheProgramIsEscaped) {
    EXPECT_EQ(XmlText("a<b>&\"c\"\t\x01\xc3"), "a&lt;b&gt;&amp;&quot;c&quot;\t??");
}

}  // namespace
}  // namespace listpool::sim
