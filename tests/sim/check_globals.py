#!/usr/bin/env python3
"""Every mutable global of the simulation back end is one a copy of a run
holds, or one listed here with why a copy need not hold it.

  check_globals.py OBJDUMP LIBRARY

A copy of a run (platform/sim/snapshot.h) takes the back end's run state
whole as one struct, detail::gRun (platform/sim/world.h). A global added
anywhere else would not be copied: putting a copy back would leave it as the
later run had it, and nothing would say so. This reads the writable data
symbols of the back end's library (its objects hold machine code: see
CMakeLists.txt) and fails on any of the project's that is neither gRun nor
below. Prints each one it does not know and exits 1 if there is one.
"""
import re
import subprocess
import sys

OBJDUMP, LIBRARY = sys.argv[1:3]

# What a copy takes whole.
RUN_STATE = "listpool::sim::detail::gRun"

# The back end's other globals, each with why a copy need not hold it.
KNOWN = {
    r"::detail::gBeforeOutsideChange$": "set by a copyable run for its whole life",
    r"::gRewinding$": "the copyable run itself, set for its whole life",
    r"::StackSlot\(.*\)::stacks$":
        "the fibers' stacks, reserved once each; a copy holds their used parts",
    r"::FileOf\(.*\)::kStd$": "the standard streams' names, made once",
    r"::arena::.*::gBase$": "where the runs' region lies, fixed once it is reserved",
    r"::arena::.*::gInstalled$": "whether the build replaced operator new, fixed at start",
    r"::arena::.*::tTarget$":
        "the region whenever a copy is taken or put back, as a copyable run plays only there",
    r"::Snapshot::SparePieces\(\)::spare$": "the copies' own pieces, outside any run",
    r"::RewindableRun::Possible\(\)::possible$": "what the build can do, asked once",
    r"::tLeaving$":
        "the fiber a switch leaves, set before every switch and read at once after it",
}

# objdump -t: address, seven flag columns, section, size, name.
SYMBOL = re.compile(r"^[0-9a-f]+ (.{7}) (\S+)\s+[0-9a-f]+ (.*)$")


def writable_globals():
    listing = subprocess.run([OBJDUMP, "-t", "-C", "-w", LIBRARY], capture_output=True,
                             text=True, check=True).stdout
    found = set()
    for line in listing.splitlines():
        symbol = SYMBOL.match(line)
        if not symbol:
            continue
        flags, section, name = symbol.groups()
        writable = re.match(r"^\.(t?bss|t?data)(\.|$)", section) and ".rel.ro" not in section
        if writable and "d" not in flags and name.startswith("listpool::"):
            found.add(name)
    return found


def main():
    found = writable_globals()
    problems = []
    if RUN_STATE not in found:
        problems.append("%s: no %s among its symbols; cannot check" % (LIBRARY, RUN_STATE))
    for name in sorted(found - {RUN_STATE}):
        if not any(re.search(pattern, name) for pattern in KNOWN):
            problems.append("%s: a global a copy of a run does not hold; make it a member of "
                            "detail::Globals (platform/sim/world.h), or list it in %s with why "
                            "a copy need not hold it" % (name, sys.argv[0]))
    for problem in problems:
        print(problem)
    print("%d globals, %d problems" % (len(found), len(problems)))
    return 1 if problems else 0


sys.exit(main())
