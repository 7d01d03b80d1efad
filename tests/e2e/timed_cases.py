"""The timed smoke set: the background workers with their real periods, to
show that the platform's back end really sleeps and really blocks. Only the
order of events and rough bounds of the program's own pauses are checked;
the exact timeline is tested in virtual time (tests/sim)."""

from e2e_harness import (
    FIND_DONE,
    INSERT,
    PRINT_DONE,
    PROMPT,
    Failure,
    require_between,
    require_equal,
)
from session_cases import end_of_input_is_q

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


# name -> (case, rough seconds it takes, for ctest to start the long ones first)
SCRIPTED = {
    "end-of-input-is-q": (end_of_input_is_q, 4),
    "print-blocks-insert": (print_blocks_insert, 12),
    "find-after-failed-read": (find_after_failed_read, 3),
}
