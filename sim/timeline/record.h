// What every thread of a simulated session did over virtual time, as the
// simulator saw it happen: when it paused, waited (and on what) or ran, its
// sections in the guards, the guards' states, the commands the console read
// and every line written. The pictures and traces are drawn from this.
//
// Times (begin, end, time, at) are on the timeline's axis: milliseconds of
// virtual time, or, for a scene that takes none, steps of the run
// (sim/timeline/step_clock.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim.h"
#include "sim/runs/guard_watch.h"

namespace listpool::sim {

// What a thread is doing over a stretch of virtual time.
enum class Activity {
    kRunning,       // between pauses and waits; takes no virtual time
    kPausing,       // in SleepMs
    kGate,          // at a guard's gate: a writer is coming in or inside
    kWriterTurn,    // for a guard's writer mutex: another writer goes first
    kReadersLeave,  // at a guard's no-readers event: readers inside must leave
    kCountMutex,    // for a guard's count mutex
    kInput,         // for input that has not been typed yet
    kStream,        // for an output stream another thread is writing to
    kOther,         // at any other object
};
// How many there are: the size of every table indexed by an Activity.
inline constexpr std::size_t kActivities = static_cast<std::size_t>(Activity::kOther) + 1;

// "running", "pausing", "gate", "writer-turn", "readers-leave", "count-mutex",
// "input", "stream", "other": the name traces and pictures use.
const char* ActivityName(Activity activity);
// The same for a person: "waiting at the gate", ...
const char* ActivityText(Activity activity);

struct Band {
    int thread;
    Activity activity;
    // The guard ("pool", "list") of a wait at a guard, the file of a wait
    // for a stream, else "".
    std::string on;
    std::uint64_t begin;
    std::uint64_t end;
};

enum class GuardState {
    kIdle,       // nobody inside, no writer coming
    kReadHeld,   // readers inside
    kWriteHeld,  // a writer inside
    kEntering,   // a writer has closed the gate and is not inside yet
};

// "idle", "read-held", "write-held", "entering".
const char* GuardStateName(GuardState state);

// One stretch of a guard's state; a guard's spans follow each other from 0
// to the end of the session.
struct GuardSpan {
    std::string guard;
    GuardState state;
    int readers;  // readers inside (also while a writer is entering)
    int writer;   // the thread writing or entering, else -1
    std::uint64_t begin;
    std::uint64_t end;
};

// A command word the console took: at its prompt, or, when it had to wait
// for input after the prompt, once the input came.
struct Command {
    std::uint64_t time;
    // Short, from what the console wrote after taking it: "p", "F 9", "d 7",
    // "i"; "?" for a word that names no command, "quit" for the last one
    // when the console wrote nothing more.
    std::string label;
    // What the console wrote after taking it, up to its next prompt.
    std::string answer;
};

// A line as it appeared in a file: the text of one write up to and
// including each newline, or up to the write's end (a prompt). Empty lines
// are left out.
struct Line {
    std::uint64_t time;
    int thread;
    std::string file;  // "stdout", "stderr" or a log's name
    std::string text;  // without its newline
};

// A call that took effect: one step of its thread.
struct Call {
    int thread;
    Op op;
    GuardObject object;  // a watched guard's object, else unknown
    std::uint64_t at;
};

// One stretch of the state of a guard's object: who holds a mutex, whether
// an event is signalled. An object's spans follow each other from 0 to the
// end of the session; a call changes its object's state from its own time,
// which on an axis of steps is the step it takes.
struct ObjectSpan {
    GuardObject object;
    bool mutex;
    int holder;      // a mutex's holder, else -1
    bool signalled;  // an event's state; false for a mutex
    std::uint64_t begin;
    std::uint64_t end;
};

// A stretch, or an instant (begin == end), that a picture points out.
struct Mark {
    std::uint64_t begin;
    std::uint64_t end;
    std::string text;
};

// A stretch in which a value of the program's own, which the calls do not
// show, stays the same: a guard's readerCount, as the caller tells it.
struct ValueSpan {
    std::string name;   // "readerCount"
    std::string value;  // "1"
    std::uint64_t begin;
    std::uint64_t end;
};

// What a timeline's times count.
enum class Axis {
    kMilliseconds,  // virtual time
    kSteps,         // calls taking effect, one a step, counted from 0
};

struct ThreadTrack {
    int thread;
    std::string name;  // "console", "print 1", ...
    std::uint64_t begin;
    std::uint64_t end;
};

struct Timeline {
    Axis axis = Axis::kMilliseconds;
    std::uint64_t end = 0;
    std::vector<std::string> guardNames;  // "pool", "list": the watched guards
    std::vector<ThreadTrack> threads;     // in start order
    // Per thread in start order, then in time order; a thread's bands
    // follow each other from its start to its end.
    std::vector<Band> bands;
    // As the guard watch recorded them; one still open at the end ends there.
    std::vector<Section> sections;
    std::vector<GuardSpan> guards;  // guard by guard, in guardNames' order
    std::vector<Command> commands;
    std::vector<Line> lines;  // in the order they were written
    std::vector<Call> calls;  // in the order they took effect
    // Guard by guard, each guard's parts by their rows (GuardPart::row):
    // the gate, the writer mutex, the no-readers event, the count mutex.
    std::vector<ObjectSpan> objects;
    // None unless the caller adds them: what the picture points out, and
    // values it shows under the guards, each name's spans in time order.
    std::vector<Mark> marks;
    std::vector<ValueSpan> values;
};

// "list gate": the object's name, by the timeline's guards.
inline std::string ObjectName(const Timeline& timeline, GuardObject object) {
    return ObjectLabel(timeline.guardNames, object);
}

}  // namespace listpool::sim
