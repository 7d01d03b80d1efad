#!/usr/bin/python3
"""The explorer pages' budgets, measured: each page's size (at most 2 MB),
how long headless Chromium takes from opening it to its first drawing being
done (its 'explore-ready' mark; within 1 s), how long a step takes to draw
(forward through a schedule, layout included) and to reach the next frame
(within 16 ms at the 95th percentile, after a lap gone round twice too),
and how long guard-pages takes to make the guard's three. Needs Debian's
chromium, chromium-driver and python3-selenium.

  bench/explore_pages.py [DOCS [GUARD_PAGES]]
"""
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests/browser"))
from chromium import Chromium  # noqa: E402

DOCS = Path(sys.argv[1] if len(sys.argv) > 1 else "docs").resolve()
GUARD_PAGES = sys.argv[2] if len(sys.argv) > 2 else "build/tests/sim/guard-pages"
PAGES = ["explore-guard.html", "explore-guard-without-recheck.html",
         "explore-guard-without-second-reset.html", "explore-example.html"]
# Forward through a long schedule, a step at a time: each property's, or a
# walk of 300 steps that picks the threads in turn.
STEPS = """
const D = Explorer.data, walk = [];
let node = 0, turn = 0;
while (walk.length < 300 && node !== -1 && D.nodes[node][1].length) {
  const steps = D.nodes[node][1], pick = 2 * (turn++ % (steps.length / 2));
  walk.push({ thread: steps[pick], to: steps[pick + 1] });
  node = steps[pick + 1];
}
// A fair cycle's prefix and three laps, where a page has one: the steps
// after the first lap are drawn with a long list; else the longest.
const cycle = D.properties.find((p) => p.cycle);
const longest = cycle ? Explorer.follow(cycle.prefix.concat(cycle.lap, cycle.lap, cycle.lap)) :
  D.properties.map((p) => Explorer.follow(p.choices))
    .concat([walk]).reduce((a, b) => (b.length > a.length ? b : a));
Explorer.take(longest);
const times = [];
for (let k = 0; k < longest.length; k++) {
  const t = performance.now(); Explorer.goTo(k + 1); document.body.offsetHeight;
  times.push(performance.now() - t);
}
return times;
"""
# The same steps, each begun at the start of a frame and timed to the start
# of the next frame after it: one frame (about 16.7 ms at 60 Hz) when its
# script, style, layout and paint fit in the frame it began in.
FRAMES = """
const done = arguments[arguments.length - 1];
const frame = () => new Promise((r) => requestAnimationFrame(r));
(async () => {
  const length = document.getElementById('steps').children.length;  // the path's steps
  Explorer.goTo(0); await frame();
  const times = [];
  for (let k = 0; k < length; k++) {
    const t = await frame();
    Explorer.goTo(k + 1);
    times.push((await frame()) - t);
  }
  done(times);
})();
"""


def p95(times):
    return sorted(times)[int(0.95 * len(times))]


def main():
    with tempfile.TemporaryDirectory() as out:
        start = time.perf_counter()
        subprocess.run([GUARD_PAGES, out], check=True)
        made = time.perf_counter() - start
    print(f"guard-pages makes the guard's three pages in {made:.2f} s")
    chromium = Chromium()
    browser = chromium.browser
    browser.set_script_timeout(120)
    print("| page | size | ready after opening | steps drawn | median step | 95th percentile | slowest "
          "| to the next frame, 95th percentile (all / the last 30) | slowest |")
    print("|---|---|---|---|---|---|---|---|---|")
    try:
        for page in PAGES:
            browser.get((DOCS / page).as_uri())
            ready = browser.execute_script(
                "return performance.getEntriesByName('explore-ready')[0].startTime")
            times = browser.execute_script(STEPS)
            frames = browser.execute_async_script(FRAMES)
            size = (DOCS / page).stat().st_size
            print(f"| {page} | {size / 1e6:.2f} MB | {ready:.0f} ms | {len(times)} "
                  f"| {statistics.median(times):.1f} ms "
                  f"| {p95(times):.1f} ms | {max(times):.1f} ms "
                  f"| {p95(frames):.1f} / {p95(frames[-30:]):.1f} ms | {max(frames):.1f} ms |")
    finally:
        chromium.close()


if __name__ == "__main__":
    main()
