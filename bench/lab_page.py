#!/usr/bin/python3
"""The lab's budgets, measured in headless Chromium (Debian's chromium,
chromium-driver and python3-selenium), medians of several openings:

- the page's size (budget 3 MB);
- from opening it to the program started, its first run in hand (the
  'lab-ready' mark; budget 1.5 s);
- at the real pace, how late each write is shown after its virtual time
  came (the page's own record, Lab.lateness(); budget 50 ms), over the
  README's example typed at once, 2 s after the page is ready, and left to
  run for its 20 s, three times;
- the every-schedule search of the README's example, from the click to its
  report (budget 2 s), and of ten workers of every kind (budget 5 s);
- the guard workshop's check of the real guard's text on its two default
  scenes, from the click to the last verdict drawn, as the page times it
  (budget 2 s; with `guard` as the third argument, that alone is measured);
- an explorer step in the lab's frame, on the README's example's graph: the
  steps of its longest schedule (or a fair cycle's laps, where the graph has
  one), each from the start of a frame to the start of the next frame after
  it drawn (budget 16 ms at the 95th percentile, over all and over the last
  30), as bench/explore_pages.py times the explorer pages;
- a level, the largest (without-second-reset): from its link followed in
  the page, 4 s after it is ready, to its explorer ready (budget 1 s), and its steps, hint shown,
  timed as the explorer's (budget one frame, 16.7 ms, 95th percentile);
- at rest, paused with nothing to come, the page's processor time over 5 s
  (Chromium's own TaskDuration), beside a still page's (budget 2 % of a core).

  bench/lab_page.py [LAB_HTML [RUNS [guard]]]
"""
import statistics
import sys
import time
from pathlib import Path
from urllib.parse import quote

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests/browser"))
from chromium import Chromium  # noqa: E402
from explore_pages import FRAMES, STEPS  # noqa: E402
from explore_pages import p95 as percentile95  # noqa: E402

LAB = Path(sys.argv[1] if len(sys.argv) > 1 else "docs/lab.html").resolve()
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
GUARD_ONLY = len(sys.argv) > 3 and sys.argv[3] == "guard"
EXAMPLE = (Path(__file__).resolve().parents[1] / "docs/example.session").read_text()


def wait(browser, script, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        value = browser.execute_script("return " + script)
        if value:
            return value
        time.sleep(0.01)
    raise RuntimeError(f"still not {script} after {seconds} s")


def ready_ms(browser):
    browser.get("about:blank")
    browser.get(LAB.as_uri())
    wait(browser, "document.body.dataset.ready === '1'")
    return browser.execute_script(
        "return performance.getEntriesByName('lab-ready')[0].startTime")


def lateness(browser):
    """Types the example's lines at once at the real pace and waits for its end."""
    ready_ms(browser)
    time.sleep(2)  # the page's second worker (the drawer) compiles the module meanwhile
    line = browser.find_element(By.ID, "line")
    for text in EXAMPLE.splitlines():
        line.send_keys(text.split(" ", 1)[1] if text.startswith("@") else text)
        line.send_keys(Keys.ENTER)
    wait(browser, "document.getElementById('transcript').textContent.includes('exit ')", 60)
    return browser.execute_script("return Lab.lateness()")


# Ten workers of every kind at once: 44,294 states.
TEN = "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n"


def search_ms(browser, text=EXAMPLE):
    session = "".join(f"{line}\n" for line in text.splitlines())
    browser.get("about:blank")
    browser.get(LAB.as_uri() + "#session=" + quote(session))
    wait(browser, "document.body.dataset.ready === '1'")
    start = time.perf_counter()
    browser.find_element(By.ID, "search").click()
    try:
        wait(browser, "document.body.dataset.searched")
    except RuntimeError:
        note = browser.execute_script("return document.getElementById('searchnote').textContent")
        raise RuntimeError(f"the search did not finish; the page says: {note}") from None
    return (time.perf_counter() - start) * 1000


def guard_check_ms(browser):
    """Checks the real guard's text, as the editor starts with it, on the two default scenes."""
    browser.get("about:blank")
    browser.get(LAB.as_uri())
    wait(browser, "document.getElementById('guardtext').value")
    time.sleep(2)  # the workers made ahead for checks compile the module meanwhile
    # The page's own time from its click handler to the last verdict drawn:
    # the driver's round trips around a click take a few hundred ms of their
    # own on this machine.
    browser.find_element(By.ID, "check").click()
    return float(wait(browser, "document.body.dataset.checked"))


def explorer_frames(browser):
    """Makes the explorer of the README's example in the lab and times its steps."""
    session = "".join(f"{line}\n" for line in EXAMPLE.splitlines())
    browser.get("about:blank")
    browser.get(LAB.as_uri() + "#session=" + quote(session))
    wait(browser, "document.body.dataset.ready === '1'")
    browser.find_element(By.ID, "explore").click()
    wait(browser, "document.body.dataset.explored === '1'")
    browser.switch_to.frame(browser.find_element(By.ID, "explorer"))
    try:
        steps = browser.execute_script(STEPS)
        return len(steps), browser.execute_async_script(FRAMES)
    finally:
        browser.switch_to.default_content()


LEVEL = "without-second-reset"


def level_ms_and_frames(browser):
    """Follows a level's link in the page, then times its steps with the hint shown."""
    browser.get("about:blank")
    browser.get(LAB.as_uri())
    wait(browser, "document.body.dataset.ready === '1'")
    time.sleep(4)  # as a learner reads the list, the page makes a worker ahead for a level
    browser.execute_script(f"location.hash = '#level={LEVEL}'")
    wait(browser, f"document.body.dataset.levelready === '{LEVEL}'")
    ms = browser.execute_script("return performance.getEntriesByName('level')[0].duration")
    browser.switch_to.frame(browser.find_element(By.ID, "levelexplorer"))
    try:
        browser.execute_script("ExploreGoal.toggleHint && document.getElementById('hint').click()")
        browser.execute_script(STEPS)
        return ms, browser.execute_async_script(FRAMES)
    finally:
        browser.switch_to.default_content()


def busy_share(browser, url, seconds=5):
    """The share of one core a page's renderer is busy over `seconds`, once it is at rest."""
    browser.get("about:blank")
    browser.get(url)
    time.sleep(3)
    browser.execute_cdp_cmd("Performance.enable", {})
    metric = lambda: next(m["value"] for m in browser.execute_cdp_cmd(
        "Performance.getMetrics", {})["metrics"] if m["name"] == "TaskDuration")
    before = metric()
    time.sleep(seconds)
    return (metric() - before) / seconds


def main():
    chromium = Chromium("1400,1000")
    browser = chromium.browser
    try:
        checks = [guard_check_ms(browser) for _ in range(RUNS)]
        if GUARD_ONLY:
            print(f"| the real guard checked on two scenes (median of {RUNS}) |"
                  f" {statistics.median(checks):.0f} ms (min {min(checks):.0f}, max"
                  f" {max(checks):.0f}) | 2000 ms |")
            return
        ready = [ready_ms(browser) for _ in range(RUNS)]
        searches = [search_ms(browser) for _ in range(RUNS)]
        tens = [search_ms(browser, TEN) for _ in range(RUNS)]
        late = [ms for _ in range(min(RUNS, 3)) for ms in lateness(browser)]
        browser.set_script_timeout(120)
        explored = [explorer_frames(browser) for _ in range(min(RUNS, 3))]
        levels = [level_ms_and_frames(browser) for _ in range(min(RUNS, 3))]
        still = busy_share(browser, "data:text/html,<p>a still page</p>")
        rest = busy_share(browser, LAB.as_uri() + "#session=" + quote("i 1 2 -1\n"))
    finally:
        chromium.close()
    size = LAB.stat().st_size
    late.sort()
    p95 = late[int(0.95 * (len(late) - 1))] if late else float("nan")
    print("| budget | measured | limit |")
    print("| --- | --- | --- |")
    print(f"| page size | {size / 1e6:.2f} MB | 3 MB |")
    print(f"| ready after opening (median of {RUNS}) | {statistics.median(ready):.0f} ms"
          f" (min {min(ready):.0f}, max {max(ready):.0f}) | 1500 ms |")
    print(f"| write shown after its time, real pace ({len(late)} writes) | median "
          f"{statistics.median(late):.1f} ms, 95th percentile {p95:.1f} ms, worst {late[-1]:.1f} ms"
          f" | 50 ms |")
    print(f"| every schedule of the README's example (median of {RUNS}) |"
          f" {statistics.median(searches):.0f} ms (min {min(searches):.0f}, max"
          f" {max(searches):.0f}) | 2000 ms |")
    print(f"| every schedule of ten workers (median of {RUNS}) | {statistics.median(tens):.0f} ms"
          f" (min {min(tens):.0f}, max {max(tens):.0f}) | 5000 ms |")
    print(f"| the real guard checked on two scenes (median of {RUNS}) |"
          f" {statistics.median(checks):.0f} ms (min {min(checks):.0f}, max"
          f" {max(checks):.0f}) | 2000 ms |")
    steps = explored[0][0]
    print(f"| explorer step in the lab, README's example ({steps} steps; median of "
          f"{len(explored)}) | to the next frame, 95th percentile "
          f"{statistics.median(percentile95(f) for _, f in explored):.1f} ms (the last 30: "
          f"{statistics.median(percentile95(f[-30:]) for _, f in explored):.1f} ms), slowest "
          f"{max(max(f) for _, f in explored):.1f} ms | 16 ms |")
    print(f"| a level ready after its link ({LEVEL}; median of {len(levels)}) |"
          f" {statistics.median(ms for ms, _ in levels):.0f} ms | 1000 ms |")
    print(f"| a level's step, hint shown ({len(levels[0][1])} steps; median of {len(levels)}) |"
          f" to the next frame, 95th percentile"
          f" {statistics.median(percentile95(f) for _, f in levels):.1f} ms | 16.7 ms |")
    print(f"| at rest, paused (a still page: {100 * still:.1f} %) | {100 * rest:.1f} % of a core"
          f" | 2 % |")


if __name__ == "__main__":
    main()
