// The lab's entry points, called from the page's script. A fiber switch
// unwinds the WebAssembly call stack out to JavaScript and back, so what an
// entry returns directly is lost: each leaves its answer for lab_answer()
// and lab_answer_size(), which the script reads once the call is over.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include "platform/sim.h"
#include "sim/explore/levels.h"
#include "sim/explore/text_page.h"
#include "sim/json/json_writer.h"
#include "sim/lab/lab_engine.h"
#include "sim/lab/lab_guard.h"

namespace {

std::string answer;

// A count or a time from the page's script, which may be anything a double
// holds: cast as it is only within [0, most], since a cast of one past the
// integer's range is undefined.
std::uint64_t Whole(double value, std::uint64_t most) {
    return !(value >= 0)                        ? 0
           : value >= static_cast<double>(most) ? most
                                                : static_cast<std::uint64_t>(value);
}

// The simulator's own limit of virtual time, past which no run goes.
const std::uint64_t kMostMs = listpool::sim::Options().maxTimeMs;
constexpr std::uint64_t kMostStates = 100'000'000;

// Runs `make`, leaving its text, or an error as JSON {"error"}, as the answer.
template <typename Make>
void Answer(Make make) {
    try {
        answer = make();
    } catch (const std::exception& error) {
        answer =
            listpool::sim::JsonWriter().Object().Key("error").String(error.what()).End().Take();
    }
}

}  // namespace

// Tells the worker's script how far a search has gone. (JavaScript, which
// clang-format would break.)
// clang-format off
EM_JS(void, lab_progress, (double steps), {
    if (typeof postMessage === "function" && typeof document === "undefined")
        postMessage({kind: "progress", steps: steps});
});
// clang-format on

extern "C" {

// `guard`: the guard text the session's guards run, or "" for the compiled
// guard.
EMSCRIPTEN_KEEPALIVE void lab_run(const char* session, const char* guard, double boundMs,
                                  int drawn) {
    Answer([&] {
        const listpool::sim::LabSessionGuard inUse(guard);
        return listpool::sim::LabRun(session, Whole(boundMs, kMostMs), drawn != 0);
    });
}

EMSCRIPTEN_KEEPALIVE void lab_every_schedule(const char* session, const char* guard,
                                             double maxStates) {
    Answer([&] {
        const listpool::sim::LabSessionGuard inUse(guard);
        return listpool::sim::LabEverySchedule(
            session, Whole(maxStates, kMostStates),
            [](std::uint64_t steps) { lab_progress(static_cast<double>(steps)); });
    });
}

EMSCRIPTEN_KEEPALIVE void lab_check_guard(const char* text, int readers, int writers,
                                          int readRounds, int writeRounds, double maxStates) {
    Answer([&] {
        const listpool::sim::GuardCast cast{readers, writers, readRounds, writeRounds};
        return listpool::sim::LabCheckGuard(
            text, cast, Whole(maxStates, kMostStates),
            [](std::uint64_t steps) { lab_progress(static_cast<double>(steps)); });
    });
}

EMSCRIPTEN_KEEPALIVE void lab_guard_schedule(const char* text, const char* choices, int readers,
                                             int writers, int readRounds, int writeRounds) {
    Answer([&] {
        const listpool::sim::GuardCast cast{readers, writers, readRounds, writeRounds};
        return listpool::sim::LabGuardSchedule(text, cast, choices);
    });
}

EMSCRIPTEN_KEEPALIVE void lab_explore_guard(const char* text, int readers, int writers,
                                            int readRounds, int writeRounds) {
    Answer([&] {
        return listpool::sim::TextPage(text, {readers, writers, readRounds, writeRounds});
    });
}

EMSCRIPTEN_KEEPALIVE void lab_level_page(const char* name) {
    Answer([&] {
        const listpool::sim::Level* level = listpool::sim::FindLevel(name);
        if (level == nullptr) {
            throw std::runtime_error("there is no such level");
        }
        return listpool::sim::LevelPage(*level);
    });
}

// {"text": the fixing level's guard text}.
EMSCRIPTEN_KEEPALIVE void lab_level_text(const char* name) {
    Answer([&] {
        const listpool::sim::Level* level = listpool::sim::FindLevel(name);
        if (level == nullptr) {
            throw std::runtime_error("there is no such level");
        }
        return listpool::sim::JsonWriter()
            .Object()
            .Key("text")
            .String(listpool::sim::LevelGuardText(*level))
            .End()
            .Take();
    });
}

EMSCRIPTEN_KEEPALIVE void lab_guard_code() {
    Answer([] { return listpool::sim::LabGuardCode(); });
}

EMSCRIPTEN_KEEPALIVE void lab_explore_page(const char* session, const char* guard) {
    Answer([&] {
        const listpool::sim::LabSessionGuard inUse(guard);
        return listpool::sim::LabExplorePage(session, guard);
    });
}

EMSCRIPTEN_KEEPALIVE const char* lab_answer() {
    return answer.c_str();
}

EMSCRIPTEN_KEEPALIVE int lab_answer_size() {
    return static_cast<int>(answer.size());
}
}
