"""The process harness of the end-to-end tests: runs the built program in a
fresh temporary folder, feeds its standard input over time, timestamps what
it writes, and compares texts, with the program's line ends."""

import difflib
import os
import queue
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

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
    def __init__(self, program, launcher, line_end, launcher_may_die=False):
        # Whether the launcher (wine) may die of a signal of its own; under
        # any other launcher (qemu) a signal is the program's own crash.
        self.launcher_may_die = bool(launcher) and launcher_may_die
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


def launcher_died(options, runs):
    """The signal that ended the launcher (wine) of one of the runs, if any.

    wine itself sometimes dies so as a program ends, while a Windows
    program's own crash ends with a status, never a signal; SIGKILL is the
    harness's own time-out."""
    if not options.launcher_may_die:
        return None
    for run in runs:
        status = run.proc.poll()
        if status is not None and status < 0 and -status != signal.SIGKILL:
            return -status
    return None


def run_case(function, options):
    """Runs one case function, keeping its folders for a look when it fails.
    A failed case whose launcher died of a signal runs once more."""
    for attempt in (1, 2):
        runs = []

        def new_run(prepare=None):
            run = Run(options, prepare)
            runs.append(run)
            return run

        try:
            function(new_run, options)
        except Failure:
            died = launcher_died(options, runs)
            for run in runs:
                if run.proc.poll() is None:
                    run.proc.kill()
            if died and attempt == 1:
                print(f"the launcher died of signal {died}; running the case once more",
                      file=sys.stderr)
                for run in runs:
                    run.proc.wait()
                    run.clean()
                continue
            for run in runs:
                print(f"kept the run's folder: {run.folder}", file=sys.stderr)
            raise
        for run in runs:
            run.clean()
        return
