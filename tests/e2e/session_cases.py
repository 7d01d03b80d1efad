"""Session cases: sessions/NAME.in is fed at once and sessions/NAME.out is the
exact standard output; standard error must stay empty and each log must hold
only its initialisation line."""

from pathlib import Path

from e2e_harness import SECONDS_PER_WORD, Failure, require_equal, words_in

SESSIONS = Path(__file__).resolve().parent / "sessions"

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


