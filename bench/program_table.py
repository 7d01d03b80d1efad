#!/usr/bin/env python3
"""The whole-program table of bench/program.sh: each measure against its
target, from the figures the script gathered, in the order it passes them."""

import sys

count = int(sys.argv[1])
def pair(text):
    wall, cpu = text.split()
    return float(wall), float(cpu)
null, null_limit, pipe, pipe_limit, idle, quit = (pair(a) for a in sys.argv[2:8])
rss = [int(v) for v in sys.argv[8].split()]
timeline = [line.split() for line in sys.argv[9].splitlines()]
reads, writes, limit_writes, input_bytes = (int(v) for v in sys.argv[10].split())

# The console's own pauses: 200 ms after i and after q, and after q alone.
PAUSES_BULK = 400.0
PAUSE_QUIT = 200.0
rows = []
def row(what, value, compared, ratio, target, met):
    rows.append((what, value, compared, ratio, target, "met" if met else "MISSED"))

for name, (wall, cpu), (lwall, lcpu) in (("/dev/null", null, null_limit), ("pipe", pipe, pipe_limit)):
    beyond = wall - PAUSES_BULK
    row("bulk insert of %d to %s: wall less the 400 ms of pauses" % (count, name),
        "%.0f ms (wall %.0f ms)" % (beyond, wall), "limit wall %.0f ms" % lwall,
        "%.2f" % (beyond / lwall), "<= 1.25", beyond / lwall <= 1.25)
    row("bulk insert of %d to %s: CPU time" % (count, name), "%.0f ms" % cpu,
        "limit CPU %.0f ms" % lcpu, "%.2f" % (cpu / lcpu), "<= 1.25", cpu / lcpu <= 1.25)
row("bulk insert: read(2) and write(2) calls", "%d reads, %d writes" % (reads, writes),
    "%.1f MB of input; limit %d writes" % (input_bytes / 1e6, limit_writes),
    "%.0f bytes a read" % (input_bytes / reads), "blocks, not characters",
    reads * 1000 < input_bytes)
row("idle, p then q: CPU time", "%.1f ms" % idle[1], "wall %.2f s" % (idle[0] / 1000), "",
    "<= 10 ms", idle[1] <= 10)
row("q alone: wall", "%.1f ms" % quit[0], "%.1f ms beyond the 200 ms pause" % (quit[0] - PAUSE_QUIT),
    "", "< 5 ms", quit[0] < 5)
for what, kib in zip(("bulk to /dev/null", "bulk to a pipe", "idle", "q alone"), rss):
    row("peak resident memory, %s" % what, "%.2f MiB" % (kib / 1024),
        "limit program %.2f MiB" % (rss[4] / 1024), "", "< 4 MiB", kib < 4096)
for name, nominal, median, worst, *_ in timeline:
    row("%s: completion line, late against %s s" % (name, nominal),
        "median %s ms, worst %s ms" % (median, worst), "%d sessions" % len(_), "",
        "<= 2 ms, <= 10 ms", float(median) <= 2 and float(worst) <= 10)

headers = ("measure", "value", "compared with", "ratio", "target", "")
widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(len(headers))]
def line(cells):
    return "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
print(line(headers))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
