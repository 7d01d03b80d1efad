#!/usr/bin/env python3
"""End-to-end tests of listpool: the built program, run in a fresh temporary
folder on scripted standard input, judged by its whole standard output (byte
for byte), its standard error, its three log files and its exit status.

Kinds of case:
  sessions   sessions/NAME.in is fed at once and sessions/NAME.out is the
             exact standard output; standard error must stay empty and each
             log must hold only its initialisation line. A few inputs that
             cannot be kept as readable text (long words, binary bytes) are
             built by GENERATED_INPUTS below instead of a .in file.
  scripted   SCRIPTED below: a small smoke set of the background workers
             with their real periods, to show that the platform's back end
             really sleeps and really blocks; input is fed over time and the
             arrival of output lines is timestamped, and only the order of
             events and rough bounds of the program's own pauses are checked.
             The workers' exact timeline is tested in virtual time by the
             simulator's tests (tests/sim).
  random     seeded random bytes and command scripts; the program must end,
             exit with status 0 and print a bounded amount.

Line ends: every expected text is written with LF. With --line-end crlf each
LF in the expected standard output, standard error and log files becomes
CR LF, as a Windows build writes them; the input is fed unchanged.
"""

import argparse
import difflib
import os
import queue
import random
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
SESSIONS = HERE / "sessions"

PROMPT = "\nYour Command [i d p f F g s]? "
INSERT = "Please enter integers to be inserted (-1 to stop)\n"
LOGS = ("PrintThread.0", "FindThread.0", "GarbageThread.0")
PRINT_DONE = "Thread: [PrintThread.0]: Printing Done!\n"
FIND_DONE = "Thread: [FindThread.0]: Finding Done!\n"
GARBAGE_DONE = "Thread: [GarbageThread.0]: Garbage Collection Done!\n"

# Every command costs the console's 200 ms pause; this is the allowance per
# whitespace-separated word of input when bounding how long a run may take.
SECONDS_PER_WORD = 0.25


class Failure(Exception):
    pass


def init_line(log):
    return f"Thread: [{log}] Initialization Completed\n"


def words_in(data):
    return len(data.split())


def show(data):
    """Bytes as readable lines for a failure message."""
    return [repr(line)[2:-1] for line in data.splitlines(keepends=True)]


def require_equal(what, expected, got):
    if expected == got:
        return
    diff = "\n".join(
        difflib.unified_diff(show(expected), show(got), "expected", "got", lineterm="")
    )
    raise Failure(f"{what} differs:\n{diff}")


def require_between(what, value, low, high):
    if not low <= value <= high:
        raise Failure(f"{what}: {value:.2f} s, expected between {low} s and {high} s")


class Options:
    def __init__(self, program, launcher, line_end):
        self.command = shlex.split(launcher or "") + [str(Path(program).resolve())]
        self.crlf = line_end == "crlf"

    def text(self, text):
        """An expected text (str or bytes, LF line ends) as the program writes it."""
        data = text.encode("latin-1") if isinstance(text, str) else text
        return data.replace(b"\n", b"\r\n") if self.crlf else data


class _Stream:
    """Collects one output pipe on its own thread, noting when each chunk came."""

    def __init__(self, pipe, start):
        self.data = b""
        self.marks = []  # (seconds since start, length of data after the chunk)
        self.closed = False
        self._cond = threading.Condition()
        self._pipe = pipe
        self._start = start
        self._thread = threading.Thread(target=self._collect, daemon=True)
        self._thread.start()

    def _collect(self):
        fd = self._pipe.fileno()
        while True:
            chunk = os.read(fd, 65536)
            now = time.monotonic() - self._start
            with self._cond:
                if not chunk:
                    self.closed = True
                    self._cond.notify_all()
                    return
                self.data += chunk
                self.marks.append((now, len(self.data)))
                self._cond.notify_all()

    def wait_for(self, text, count, deadline):
        """The time at which the count-th occurrence of text was complete."""
        with self._cond:
            while True:
                end = -1
                found = 0
                while found < count:
                    end = self.data.find(text, end + 1)
                    if end < 0:
                        break
                    found += 1
                if found == count:
                    last = end + len(text)
                    return next(t for t, length in self.marks if length >= last)
                left = deadline - time.monotonic()
                if self.closed or left <= 0:
                    return None
                self._cond.wait(left)

    def join(self, timeout):
        self._thread.join(timeout)


class Run:
    """One run of the program in a fresh temporary folder."""

    def __init__(self, options, prepare=None):
        self.options = options
        self.folder = Path(tempfile.mkdtemp(prefix="listpool-e2e-"))
        if prepare:
            prepare(self.folder)
        self.start = time.monotonic()
        self.proc = subprocess.Popen(
            options.command,
            cwd=self.folder,
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
        )
        self.out = _Stream(self.proc.stdout, self.start)
        self.err = _Stream(self.proc.stderr, self.start)
        self.exit_time = None
        self.input_closed_at = None
        # Input goes through a thread of its own, so that a program blocked in
        # a guard, which reads nothing, never blocks the test.
        self._input = queue.Queue()
        self._writer = threading.Thread(target=self._feed, daemon=True)
        self._writer.start()

    def now(self):
        return time.monotonic() - self.start

    def _feed(self):
        try:
            while True:
                data = self._input.get()
                if data is None:
                    self.proc.stdin.close()
                    self.input_closed_at = self.now()
                    return
                self.proc.stdin.write(data)
                self.proc.stdin.flush()
        except (BrokenPipeError, ValueError):
            pass  # the program has quit already, as after q

    def send(self, data, close=False):
        """Queues input for the program, and the end of input if asked."""
        self._input.put(data.encode("latin-1") if isinstance(data, str) else data)
        if close:
            self._input.put(None)

    def send_at(self, when, data, close=False):
        delay = when - self.now()
        if delay > 0:
            time.sleep(delay)
        self.send(data, close)

    def wait_out(self, text, count=1, timeout=30):
        return self._wait(self.out, "standard output", text, count, timeout)

    def wait_err(self, text, count=1, timeout=30):
        return self._wait(self.err, "standard error", text, count, timeout)

    def _wait(self, stream, name, text, count, timeout):
        when = stream.wait_for(self.options.text(text), count, time.monotonic() + timeout)
        if when is None:
            raise Failure(
                f"no {count}. {text!r} on {name} within {timeout} s\n"
                f"standard output so far:\n" + "\n".join(show(self.out.data)) + "\n"
                f"standard error so far:\n" + "\n".join(show(self.err.data))
            )
        return when

    def finish(self, timeout):
        """Closes the input if still open and waits for the program to end."""
        self._input.put(None)
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise Failure(f"the program did not end within {timeout} s of its input")
        self.exit_time = self.now()
        self.out.join(10)
        self.err.join(10)
        return status

    def log(self, name):
        return (self.folder / name).read_bytes()

    def check_exit(self, status):
        if status != 0:
            raise Failure(
                f"exit status {status}, expected 0\nstandard error:\n"
                + "\n".join(show(self.err.data))
            )

    def check_logs(self, **reports):
        """Each log holds its initialisation line and then the given report
        (keyword Print, Find or Garbage), or nothing more."""
        for log in LOGS:
            path = self.folder / log
            if not path.is_file():
                raise Failure(f"log file {log} is missing")
            report = reports.get(log.split("Thread")[0], "")
            require_equal(log, self.options.text(init_line(log) + report), self.log(log))

    def clean(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def run_case(function, options):
    """Runs one case function, keeping its folders for a look when it fails."""
    runs = []

    def new_run(prepare=None):
        run = Run(options, prepare)
        runs.append(run)
        return run

    try:
        function(new_run, options)
    except Failure:
        for run in runs:
            if run.proc.poll() is None:
                run.proc.kill()
            print(f"kept the run's folder: {run.folder}", file=sys.stderr)
        raise
    for run in runs:
        run.clean()


# ---------------------------------------------------------------- sessions

# Inputs that would not be readable as a .in file.
GENERATED_INPUTS = {
    # Command words far longer than the console's 255 characters, and white
    # space and words longer than the scanner's block of input; only the
    # first character of a word counts.
    "long-command-word": lambda: b"i" * 100000
    + b" " * 70000
    + b"5 -1\n"
    + b"x" * 300
    + b"\n"
    + b"f" * 70000
    + b"\n"
    + b"q" * 1000
    + b"\nf\n",
    # NUL, control and high bytes are words of their own, VT, FF and CR are
    # white space; the words "\0q" and "\0" are no commands.
    "binary-bytes": lambda: b"\x00 \x01\x7f\xff\x85\xa0\n"
    + b"i\t7\x0b8\x0c-1\r\n"
    + b"\x00q\n"
    + b"f\x00\xff\n"
    + b"d 7\x00\n"
    + b"q\x00\xff\n"
    + b"f\n",
    # A NUL right after a number starts no number: 0 is inserted once (the
    # full pool shows it in a warning) and the program ends.
    "binary-after-integer": lambda: b"i 1 2 3 4 5 -1\ni 6\x00 -1\nf\n",
}


def session_input(name):
    path = SESSIONS / f"{name}.in"
    if path.exists():
        return path.read_bytes()
    return GENERATED_INPUTS[name]()


def session_names():
    return sorted(path.stem for path in SESSIONS.glob("*.out"))


def play_session(new_run, options, data, expected):
    run = new_run()
    run.send(data, close=True)
    status = run.finish(timeout=10 + SECONDS_PER_WORD * words_in(data))
    run.check_exit(status)
    require_equal("standard output", options.text(expected), run.out.data)
    require_equal("standard error", b"", run.err.data)
    run.check_logs()


def session_case(name):
    def case(new_run, options):
        expected = (SESSIONS / f"{name}.out").read_bytes()
        play_session(new_run, options, session_input(name), expected)

    return case


def end_of_input_is_q(new_run, options):
    """The example sessions without their final q end the same way."""
    for name in ("example-command-words", "example-number-formats",
                 "example-pool-fills-and-reuses"):
        data = session_input(name)
        if not data.endswith(b"\nq\n"):
            raise Failure(f"{name}.in does not end with a q line")
        expected = (SESSIONS / f"{name}.out").read_bytes()
        play_session(new_run, options, data[: -len(b"q\n")], expected)


# ------------------------------------------------------------ timed cases

# Rough bounds, in seconds after the console line that started the work, of
# events that follow from the workers' periods (print 5 s, find 1 s, garbage
# 2 s). They leave room for a slow (sanitised, loaded) machine.
PRINT_DONE_BOUNDS = (4.5, 7.5)  # one period
PRINT_LEFT_BOUNDS = (9.5, 14)  # two periods: the list's guard is free again
# The process's end after a find: its two periods, then the exit, which under
# an emulator such as wine can take a few seconds more.
FIND_EXIT_BOUNDS = (1.8, 7)


def dump(*records):
    """A pool dump; each record is (key, next, mark) or None for never used."""
    lines = ["Here is the Record Pool:\n", "Record Memory Pool Content: \n"]
    for number, record in enumerate(records):
        key, link, mark = record or (0, 0, "Free")
        lines.append(
            f"Memory: [{3 * number:2}]: Record({number:2}): "
            f"Key={key:5}  Next={link:5}  MM={mark}\n"
        )
    return "".join(lines)


def print_blocks_insert(new_run, options):
    """A print holds the list for two periods: its report comes after one, and
    an insert typed meanwhile gets through only after the second."""
    run = new_run()
    run.send("i 7 9 -1\np\n")
    printing = run.wait_out("Requesting for print:\n")
    run.send_at(printing + 1, "i 5 -1\n")
    second_insert = run.wait_out(INSERT, count=2)
    done = run.wait_err(PRINT_DONE)
    inserted = run.wait_out(PROMPT, count=4)
    require_between("print done after p", done - printing, *PRINT_DONE_BOUNDS)
    require_between("blocked insert done after p", inserted - printing, *PRINT_LEFT_BOUNDS)
    if not second_insert < done < inserted:
        raise Failure("expected: insert typed, then print done, then insert done")
    run.send("f\nq\n")
    status = run.finish(timeout=15)
    run.check_exit(status)
    expected = (
        PROMPT + INSERT
        + PROMPT + "Requesting for print:\n"
        + PROMPT + INSERT
        + PROMPT + dump((7, -1, "InUse"), (9, 0, "InUse"), (5, 3, "InUse"), None, None)
        + PROMPT
    )
    require_equal("standard output", options.text(expected), run.out.data)
    require_equal("standard error", options.text(PRINT_DONE), run.err.data)
    run.check_logs(
        Print="\nPrinting TmyList after: 2 Ops performed\nLink(3) Has Key(9)\nLink(0) Has Key(7)\n"
    )


def find_after_failed_read(new_run, options):
    """F + finds no digit: the find goes on once with 0, then the program
    ends as after q, which waits for the find to leave the list."""
    run = new_run()
    run.send("i 0 -1\nF +\nF 5\nf\n", close=True)
    finding = run.wait_out("Going to find: 0\n")
    status = run.finish(timeout=10)
    run.check_exit(status)
    require_between("exit after F", run.exit_time - finding, *FIND_EXIT_BOUNDS)
    expected = PROMPT + INSERT + PROMPT + "Please enter the key to find: Going to find: 0\n"
    require_equal("standard output", options.text(expected), run.out.data)
    # The find announces itself after leaving the guard, so the exit may
    # come first, before or in the middle of its line.
    if not options.text(FIND_DONE).startswith(run.err.data):
        raise Failure(f"unexpected standard error: {run.err.data!r}")
    run.check_logs(Find="\nLooking for Key(0) in TmyList after: 1 Ops performed\n\t\t****> FOND!\n")


# ----------------------------------------------------------- random input

# What standard output may consist of, line by line, once the prompts at the
# start of a line are taken off (the console never starts a worker here).
OUTPUT_LINE = re.compile(
    rb"(?:Your Command \[i d p f F g s\]\? )*(?:"
    rb"Please enter integers to be inserted \(-1 to stop\)"
    rb"|Please enter the key to delete: (?:going to delete: -?\d+)?"
    rb"|Deleted Key\(\d+\)"
    rb"|Input: \[-?\d+\] is not in the list!"
    rb"|\*\*\*\* WARNING \*\*\*\*: Out of memory: List insertion of \d+ failed!!"
    rb"|Here is the Record Pool:"
    rb"|Record Memory Pool Content: "
    rb"|Memory: \[(?: 0| 3| 6| 9|12)\]: Record\( [0-4]\): "
    rb"Key= *\d+  Next= *(?:-1|0|3|6|9|12)  MM=(?:InUse|Free)"
    rb"|I did not implement list-based mergeSort"
    rb"|BUT \.\.\. you should!"
    rb")?\Z"
)

# The most standard output one byte of input can cause: "f" and a blank make
# a prompt and a pool dump of about 400 bytes.
OUTPUT_PER_INPUT_BYTE = 250
OUTPUT_ALLOWANCE = 1000

# p, F and g start workers that hold the guards for seconds; they are left
# out of the random input so that many runs fit in the time.
WORKER_COMMANDS = b"pFg"


def random_bytes(rng):
    white = b" \t\n\r\v\f"
    digits = b"0123456789"
    signs = b"+-xX"
    letters = b"idfsq"
    others = bytes(b for b in range(256) if b not in WORKER_COMMANDS)
    pools = [white, digits, signs, letters, others]
    weights = [20, 20, 10, 15, 35]
    out = bytearray()
    for _ in range(rng.randrange(0, 200)):
        out.append(rng.choice(rng.choices(pools, weights)[0]))
    return bytes(out)


def random_number(rng):
    kind = rng.randrange(20)
    value = rng.choice([0, 1, 7, 42, 255, 2**31 - 1, 2**31, 2**32 + 5, 10**18])
    if kind == 0:
        # Starts no number, or stops short: the read fails and the run ends.
        return rng.choice(["-", "+", "0x", "-0x", "+-1", "--1", "x1", "0x-1", "\x00", "1e9",
                           "09", "0xg"])
    if kind < 3:
        return hex(value) if rng.random() < 0.5 else hex(value).upper()
    if kind < 5:
        return "0" + oct(value)[2:]
    if kind < 7:
        return "-" + str(value)
    if kind < 9:
        return "0" * rng.randrange(10, 20) + str(value)
    if kind < 11:
        return "-1"
    return ("+" if rng.random() < 0.3 else "") + str(value)


def random_script(rng):
    words = []
    for _ in range(rng.randrange(1, 16)):
        kind = rng.randrange(24)
        if kind < 6:
            words.append(rng.choice(["i", "insert", "i" * 300]))
            words += [random_number(rng) for _ in range(rng.randrange(0, 7))]
            if rng.random() < 0.7:
                words.append("-1")
        elif kind < 11:
            words += [rng.choice(["d", "delete"]), random_number(rng)]
        elif kind < 16:
            words.append(rng.choice(["f", "fish", "s", "sort"]))
        elif kind < 17:
            words.append(rng.choice(["q", "quit"]))
        else:
            words.append(rng.choice(["Quit", "Insert", "D", "x", "\x00", "\xff", "-1", "42",
                                     "S" * 500, "?", ""]))
    script = ""
    for word in words:
        script += word + rng.choice([" ", "\n", "\t", "\r\n", "  ", "\v", "\f"])
    data = script.encode("latin-1")
    if rng.random() < 0.2:
        data = data[: rng.randrange(len(data) + 1)]  # input ends mid-command
    return data


def check_random_run(run, options, data, status, waited):
    run.check_exit(status)
    limit = SECONDS_PER_WORD * words_in(data) + 5
    if waited > limit:
        raise Failure(f"took {waited:.2f} s after its input ended, more than {limit:.2f} s")
    out = run.out.data
    bound = OUTPUT_PER_INPUT_BYTE * len(data) + OUTPUT_ALLOWANCE
    if len(out) > bound:
        raise Failure(f"wrote {len(out)} bytes of standard output, more than {bound}")
    require_equal("standard error", b"", run.err.data)
    if options.crlf:
        if out.count(b"\n") != out.count(b"\r\n"):
            raise Failure("a line end without CR on standard output")
        out = out.replace(b"\r\n", b"\n")
    if not out.startswith(PROMPT.encode()):
        raise Failure("standard output does not start with the prompt")
    for line in out.split(b"\n"):
        if not OUTPUT_LINE.match(line):
            raise Failure(f"unexpected line on standard output: {line!r}")
    run.check_logs()


def random_input(options, seed, count, seconds, parallel=6):
    print(f"random input: seed {seed} (rerun with --seed {seed})", flush=True)
    stop_at = time.monotonic() + seconds
    lock = threading.Lock()
    state = {"next": 0, "done": 0, "failure": None}

    def worker():
        while True:
            with lock:
                index = state["next"]
                if state["failure"] or index >= count or time.monotonic() > stop_at:
                    return
                state["next"] += 1
            rng = random.Random(f"{seed}/{index}")
            data = random_bytes(rng) if index % 2 == 0 else random_script(rng)
            try:
                run = Run(options)
                run.send(data, close=True)
                status = run.finish(timeout=SECONDS_PER_WORD * words_in(data) + 20)
                waited = run.exit_time - (run.input_closed_at or run.exit_time)
                check_random_run(run, options, data, status, waited)
                run.clean()
            except Failure as failure:
                with lock:
                    state["failure"] = (
                        f"seed {seed}, input {index} (kept in {run.folder}): {failure}\n"
                        f"input: {data!r}"
                    )
                return
            with lock:
                state["done"] += 1

    threads = [threading.Thread(target=worker) for _ in range(parallel)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if state["failure"]:
        raise Failure(state["failure"])
    if state["done"] < min(count, parallel):
        raise Failure(f"only {state['done']} random inputs ran in {seconds} s")
    print(f"random input: {state['done']} runs passed", flush=True)


# ----------------------------------------------------------------- driver

# name -> (case, rough seconds it takes, for ctest to start the long ones first)
SCRIPTED = {
    "end-of-input-is-q": (end_of_input_is_q, 4),
    "print-blocks-insert": (print_blocks_insert, 12),
    "find-after-failed-read": (find_after_failed_read, 3),
}
RANDOM_CASE = "random-input"


def all_cases():
    cases = {name: (session_case(name), 2) for name in session_names()}
    for name in GENERATED_INPUTS:
        if name not in cases:
            raise SystemExit(f"generated input {name} has no sessions/{name}.out")
    for name in cases:
        if not (SESSIONS / f"{name}.in").exists() and name not in GENERATED_INPUTS:
            raise SystemExit(f"session {name} has no input")
    for name, case in SCRIPTED.items():
        if name in cases:
            raise SystemExit(f"case name {name} is used twice")
        cases[name] = case
    return cases


def main():
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument("--program", help="the listpool executable to test")
    parser.add_argument(
        "--launcher",
        default="",
        help="command put before the program, split like a shell would, "
        "e.g. 'wine' to run a Windows build (set WINEDEBUG=-all so that wine "
        "keeps its own messages off standard error); default: none",
    )
    parser.add_argument(
        "--line-end",
        choices=("lf", "crlf"),
        default="lf",
        help="line end the program writes: lf (default) or crlf for a "
        "Windows build, which turns every expected LF into CR LF",
    )
    parser.add_argument("--list", action="store_true",
                        help="list the cases, one 'name seconds' a line, and exit")
    parser.add_argument("--seed", type=int,
                        help=f"seed of {RANDOM_CASE} (default: a new one each run)")
    parser.add_argument("--random-count", type=int, default=300,
                        help=f"most inputs {RANDOM_CASE} tries (default 300)")
    parser.add_argument("--random-seconds", type=float, default=25,
                        help=f"time {RANDOM_CASE} may take (default 25)")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    args = parser.parse_args()

    cases = all_cases()
    cases[RANDOM_CASE] = (None, args.random_seconds)
    if args.list:
        for name, (_, seconds) in cases.items():
            print(name, seconds)
        return 0
    if not args.program:
        parser.error("--program is required")
    options = Options(args.program, args.launcher, args.line_end)
    names = args.cases or list(cases)
    unknown = [name for name in names if name not in cases]
    if unknown:
        parser.error(f"unknown case(s): {' '.join(unknown)}")
    failed = []
    for name in names:
        if name == RANDOM_CASE:
            seed = args.seed if args.seed is not None else random.randrange(2**32)

            def case(_, options, seed=seed):
                random_input(options, seed, args.random_count, args.random_seconds)
        else:
            case = cases[name][0]
        began = time.monotonic()
        try:
            run_case(case, options)
        except Failure as failure:
            print(f"FAIL {name}: {failure}", flush=True)
            failed.append(name)
            continue
        print(f"ok   {name} ({time.monotonic() - began:.1f} s)", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
