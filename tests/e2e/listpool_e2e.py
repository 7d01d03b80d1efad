#!/usr/bin/env python3
"""End-to-end tests of listpool: the built program, run in a fresh temporary
folder on scripted standard input, judged by its whole standard output (byte
for byte), its standard error, its three log files and its exit status.

Kinds of case:
  sessions   (session_cases.py) sessions/NAME.in is fed at once and sessions/NAME.out is the
             exact standard output; standard error must stay empty and each
             log must hold only its initialisation line. A few inputs that
             cannot be kept as readable text (long words, binary bytes) are
             built by GENERATED_INPUTS instead of a .in file.
  scripted   (timed_cases.py) SCRIPTED: a small smoke set of the background workers
             with their real periods, to show that the platform's back end
             really sleeps and really blocks; input is fed over time and the
             arrival of output lines is timestamped, and only the order of
             events and rough bounds of the program's own pauses are checked.
             The workers' exact timeline is tested in virtual time by the
             simulator's tests (tests/sim).
  random     (random_input.py) seeded random bytes and command scripts; the program must end,
             exit with status 0 and print a bounded amount.

Line ends: every expected text is written with LF. With --line-end crlf each
LF in the expected standard output, standard error and log files becomes
CR LF, as a Windows build writes them; the input is fed unchanged.
"""

import argparse
import random
import sys
import time

from e2e_harness import Failure, Options, run_case
from random_input import random_input
from session_cases import GENERATED_INPUTS, SESSIONS, session_case, session_names
from timed_cases import SCRIPTED

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
        "--launcher-may-die",
        action="store_true",
        help="the launcher itself (wine) now and then dies of a signal as a "
        "program ends: a failed case whose launcher died so runs once more",
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
    options = Options(args.program, args.launcher, args.line_end, args.launcher_may_die)
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
