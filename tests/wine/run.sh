#!/usr/bin/env bash
# Runs a Windows test program under wine: run.sh LOADER... PROGRAM [ARG...],
# where the loader may come with a command that starts it (setarch).
#
# Now and then wine itself dies of a signal as a program ends, after the
# program's own work is done and reported. A Windows program's own crash
# never looks like that: wine ends it with the low byte of its exception
# code (an access violation ends with status 5). So a loader killed by a
# signal is wine's fault, not the program's: say so and run it once more.
# A second death is reported as it is.
set -u
"$@"
status=$?
if [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
  echo "run.sh: killed by signal $((status - 128)): $*; running it once more" >&2
  "$@"
  status=$?
fi
exit "$status"
