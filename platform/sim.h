// The simulation back end's controls, for tests and tools only.
//
// A run executes a body on simulated threads: fibers on the calling thread,
// of which exactly one runs at a time. Every platform call (mutex lock and unlock, event lock,
// set and reset, thread start, sleep, write, read of input) is a point where
// the scheduler may switch threads, and a chooser picks who goes on. Time is virtual: SleepMs parks
// a thread until its wake-up time, and when no thread can go on the clock jumps to the earliest
// wake-up. A run replays exactly from its options and its chooser's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/arena.h"

namespace listpool::sim {

// A platform call, as the scheduler sees it.
enum class Op {
    kBegin,        // a thread's first step
    kLock,         // CMutex::Lock
    kUnlock,       // CMutex::Unlock
    kEventLock,    // CEvent::Lock: passes once the event is set
    kSet,          // CEvent::SetEvent
    kReset,        // CEvent::ResetEvent
    kStartThread,  // StartThread
    kSleep,        // SleepMs
    kWrite,        // WriteAll
    kRead,         // ReadSome
    kAccess,       // Access: a guard text's counter, read or written outside its mutex
    kEnd,          // the thread's procedure returned
};
// How many there are: the size of every table indexed by an Op.
inline constexpr std::size_t kOps = static_cast<std::size_t>(Op::kEnd) + 1;

// What an observer is told, for every call, twice: when a thread asks
// (kRequest) and when the call takes effect (kDone).
struct Notice {
    enum Phase { kRequest, kDone };

    Phase phase;
    // Virtual milliseconds; behind a StepClock, the steps taken before.
    std::uint64_t time;
    int thread;
    Op op;
    // The CMutex or CEvent the call is on, else nullptr.
    const void* object = nullptr;
    // kRequest: the call cannot take effect yet (a taken mutex, a reset
    // event, a sleep, input not yet typed).
    bool blocked = false;
    // kStartThread, kDone: the new thread's id.
    int newThread = -1;
    // kWrite: the file ("stdout", "stderr" or a log's name) and the bytes.
    std::string_view file;
    // kLock and kUnlock of an output stream's mutex: the stream's file, as
    // the stream named it when it was made (CMutex::NameForWrites).
    std::string_view stream;
    std::string_view bytes;
};

// Picks the thread of every step of a run: a strategy
// (platform/sim/strategies.h) or a search over schedules.
class Chooser {
  public:
    // Called at every step, on whichever thread made the last one, with the
    // ids of the threads that can go on (in start order, at least one) and
    // the thread that made the last step, or -1 if it cannot go on. Yields
    // the id of one of them, or -1 to end the run there (Ending::kStopped);
    // any other id ends it as a fault.
    virtual int Choose(const std::vector<int>& enabled, int current) = 0;

  protected:
    ~Chooser() = default;
};

class Observer {
  public:
    // Called on whichever thread made the step;
    // the program is stopped meanwhile, so its objects may be looked at.
    virtual void OnNotice(const Notice& notice) = 0;
    // Called once as a run starts, before its first notice, so that an
    // observer told of several runs can begin each afresh. An observer that
    // passes notices on passes this on too.
    virtual void OnRunStart() {}

  protected:
    ~Observer() = default;
};

// Bytes of standard input that can be read from the given virtual time on.
struct TypedText {
    std::uint64_t atMs;
    std::string bytes;
};

struct Options {
    // Picks every step; nullptr for the fixed schedule (FixedChooser).
    Chooser* chooser = nullptr;
    Observer* observer = nullptr;
    // A run that takes longer ends as a failure.
    std::uint64_t maxSteps = 2'000'000;
    std::uint64_t maxTimeMs = 24 * 3'600'000;
    // Logs that cannot be opened.
    std::vector<std::string> unopenable;
    // false: threads still alive at the end of the run are dropped where they
    // stopped instead of unwound, which costs more than a short run; only
    // for threads whose stack holds nothing that a destructor must free.
    bool unwindAbandoned = true;
    // How many of a thread's last calls since its MarkPlace its place in
    // StateHash holds (at most 8); 0 for every one.
    std::size_t placeCalls = 0;
    // The program's allocations come from the run's own memory and are all
    // given back when it ends (where the build allows, arena.h): nothing
    // made by the program's code may be used after the run.
    bool ownMemory = false;
    // Names objects in reports; objects it does not name get a number.
    std::function<std::string(const void* object)> nameObject;
};

struct Write {
    std::uint64_t timeMs;
    int thread;
    std::string file;
    std::string bytes;
};

enum class Ending {
    kExited,     // ExitProcess was called
    kAllEnded,   // every thread's procedure returned
    kDeadlock,   // no thread can go on and none sleeps
    kStepLimit,  // Options::maxSteps reached
    kTimeLimit,  // Options::maxTimeMs reached
    kFault,    // a misuse (an unlock by a non-owner, a lock by the owner), an exception, a bad pick
    kStopped,  // the chooser ended it
};

struct Outcome {
    Ending ending = Ending::kFault;
    int exitStatus = -1;
    std::uint64_t endTimeMs = 0;
    std::uint64_t steps = 0;
    int threads = 0;
    // Each thread's name, as StartThread gave it ("" for the first), by id.
    std::vector<std::string> threadNames;
    // For every ending but kExited and kAllEnded: what went wrong, and what
    // each thread still alive was waiting for.
    std::string report;
    std::vector<Write> writes;
    // Everything written, per file: "stdout", "stderr" and each log.
    std::map<std::string, std::string> files;

    bool ok() const { return ending == Ending::kExited || ending == Ending::kAllEnded; }
};

// Runs body as thread 0 until it calls ExitProcess, every thread has ended,
// or the run fails. Threads still alive at the end are abandoned: each in
// turn unwinds from the call it is stopped in, or is dropped there (see
// Options::unwindAbandoned). One run at a time.
Outcome Run(const Options& options, std::vector<TypedText> input, std::function<void()> body);

// Inside a run, for the program's side of a tool (a watch that the body
// tells of the program's objects): while it lives, allocations are the
// simulator's, which outlive a run that owns its memory.
class SimulatorMemory {
  public:
    SimulatorMemory();

  private:
    arena::Use use_;
};

// Outside a run the platform calls do nothing: writes are dropped, reads
// find the end of input, no thread starts.

// Inside a run: the virtual time and the calling thread's id.
std::uint64_t NowMs();
int CurrentThread();
// Inside a run: a number that tells it from every other run of the process
// (a copy of a run put back is the same run); 0 outside.
std::uint64_t RunSerial();

// Inside a run, for a chooser: a hash of all the simulator holds of the run
// now. That is the virtual time, the input still to come, what each file
// holds, every mutex's owner, every event's state, and for every thread its
// pending call, its wake-up time and its place. A thread's place is a hash of
// the calls it has made (with the time, the bytes written and the bytes
// read) since its start or the last MarkPlace it called: every one of them,
// or the last Options::placeCalls. With every call counted, the state also
// holds the order in which threads took each mutex, so that two runs whose
// threads made the same calls but took turns differently in a section (and
// so left different data there) are told apart. Objects are
// told apart by the order of their creation, so two runs that create them
// in the same order agree on every hash.
std::uint64_t StateHash();

// Sets the calling thread's place to `label`: from here on it is `label`
// and the calls made after. A scene that knows all the state a thread
// carries at some point of its code marks it there, so that its place can
// repeat.
void MarkPlace(std::uint64_t label);

// Inside a run, for an interpreter that runs code of its own on a
// simulated thread (a guard text, sim/guards/): a step of its own, with no
// effect but to let the other threads go first, on `object` (what the
// code touches, as notices give it). A read or a write that the code makes
// unguarded is such a step, so that what another thread does between the
// two can be played.
void Access(const void* object);
// Folds `label` into the calling thread's place as a call would, keeping
// what the place holds already: for an interpreter whose position in its
// code is more than the calls it made tell.
void AddToPlace(std::uint64_t label);

// Inside a run: the call the thread is stopped at, and its CMutex or CEvent
// (else nullptr); Op::kEnd for a thread that has ended.
Op PendingOp(int thread, const void** object = nullptr);

// Inside a run, for a chooser or an observer, the simulator's own records,
// so that none has to rebuild them from the notices: the thread that holds
// a CMutex (-1 for none), whether a CEvent is set, each given as notices
// give objects, and how many threads the run has started (their ids are 0
// to that less one; PendingOp tells which have ended). Outside a run: -1,
// the event's state, 0.
int OwnerOf(const void* mutex);
bool IsSet(const void* event);
int ThreadsStarted();

// "lock", "wait" (kEventLock), "sleep", ...: as reports and pictures name calls.
const char* OpName(Op op);

}  // namespace listpool::sim
