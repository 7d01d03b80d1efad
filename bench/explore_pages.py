#!/usr/bin/python3
"""The explorer pages' budgets, measured: each page's size, how long headless
Chromium takes from opening it to its first drawing being done (its
'explore-ready' mark), how long a step takes to draw (forward through a
schedule, layout included), and how long guard-pages takes to make the
guard's three. Needs Debian's chromium, chromium-driver and python3-selenium.

  bench/explore_pages.py [DOCS [GUARD_PAGES]]
"""
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

DOCS = Path(sys.argv[1] if len(sys.argv) > 1 else "docs").resolve()
GUARD_PAGES = sys.argv[2] if len(sys.argv) > 2 else "build/tests/sim/guard-pages"
PAGES = ["explore-guard.html", "explore-guard-without-recheck.html",
         "explore-guard-without-second-reset.html", "explore-example.html"]
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]
# Forward through a long schedule, a step at a time: each property's, or a
# walk of 300 steps that picks the threads in turn.
STEPS = """
let walk = [], node = 0, turn = 0;
while (walk.length < 300 && node !== -1 && D.nodes[node][1].length) {
  const steps = D.nodes[node][1], pick = 2 * (turn++ % (steps.length / 2));
  walk.push({ thread: steps[pick], to: steps[pick + 1] });
  node = steps[pick + 1];
}
const longest = D.properties.map((p) => follow(D, 0, p.cycle ? p.prefix.concat(p.lap) : p.choices).steps)
  .concat([walk]).reduce((a, b) => (b.length > a.length ? b : a));
path = longest; at = 0; render();
const times = [];
for (let k = 0; k < path.length; k++) {
  const t = performance.now(); at++; render(); document.body.offsetHeight;
  times.push(performance.now() - t);
}
return times;
"""


def main():
    with tempfile.TemporaryDirectory() as out:
        start = time.perf_counter()
        subprocess.run([GUARD_PAGES, out], check=True)
        made = time.perf_counter() - start
    print(f"guard-pages makes the guard's three pages in {made:.2f} s")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in FLAGS:
        options.add_argument(flag)
    profile = tempfile.TemporaryDirectory()
    options.add_argument("--user-data-dir=" + profile.name)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    print("| page | size | ready after opening | steps drawn | median step | 95th percentile | slowest |")
    print("|---|---|---|---|---|---|---|")
    try:
        for page in PAGES:
            browser.get((DOCS / page).as_uri())
            ready = browser.execute_script(
                "return performance.getEntriesByName('explore-ready')[0].startTime")
            times = browser.execute_script(STEPS)
            size = (DOCS / page).stat().st_size
            print(f"| {page} | {size / 1e6:.2f} MB | {ready:.0f} ms | {len(times)} "
                  f"| {statistics.median(times):.1f} ms "
                  f"| {sorted(times)[int(0.95 * len(times))]:.1f} ms | {max(times):.1f} ms |")
    finally:
        browser.quit()
        profile.cleanup()


if __name__ == "__main__":
    main()
