#!/usr/bin/env python3
"""Prints "median_ms cpu_ms" of one command over hyperfine JSON exports.

    hyperfine_field.py INDEX FILE.json...

INDEX picks the command in each file's results; the median is over every
run in every file, and CPU time is the mean user plus system time a run."""
import json
import statistics
import sys
results = [json.load(open(f))["results"][int(sys.argv[1])] for f in sys.argv[2:]]
times = [t for r in results for t in r["times"]]
cpu = sum((r["user"] + r["system"]) * len(r["times"]) for r in results) / len(times)
print("%.1f %.1f" % (statistics.median(times) * 1000, cpu * 1000))
