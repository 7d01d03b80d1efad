#!/usr/bin/env bash
# Stands in for wine in the checks of the second runs: stand_in_wine.sh
# PROGRAM [ARG...]. Counts its runs in the file $RUNS and ends each as the
# words of $OUTCOMES say, one a run: "segv" dies of SIGSEGV, a number ends
# with that status without running the program, and past the last word it
# runs the program and ends as that does.
runs=$(($(cat "$RUNS" 2>/dev/null || echo 0) + 1))
echo "$runs" >"$RUNS"
read -ra outcomes <<<"${OUTCOMES:-}"
outcome=${outcomes[runs - 1]:-}
case $outcome in
  segv) kill -SEGV $$ ;;
  "") exec "$@" ;;
  *) exit "$outcome" ;;
esac
