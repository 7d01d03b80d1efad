"""Debian's Chromium, headless, driven by selenium through Debian's
chromedriver, with a profile of its own that goes with it: how the pages'
checks (tests/browser, tests/wasm) and benchmarks (bench/) open it; and
axe-core, pinned from npm, run on the page it shows.

    with Chromium("1400,1000") as browser:
        browser.get(...)
"""
import subprocess
import tempfile
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# As root, Chromium runs only without its sandbox; nothing of the pages' own
# reaches the network, nor may the browser's services.
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"]


class Chromium:
    """A browser, quit with its profile removed when closed (or on leaving a
    with block); `window` is the window's size, "WIDTH,HEIGHT"."""

    def __init__(self, window=None):
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in FLAGS + ([f"--window-size={window}"] if window else []):
            options.add_argument(flag)
        self.profile = tempfile.TemporaryDirectory()
        options.add_argument("--user-data-dir=" + self.profile.name)
        try:
            self.browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                                            options=options)
        except Exception:
            self.profile.cleanup()
            raise

    def close(self):
        try:
            self.browser.quit()
        finally:
            self.profile.cleanup()

    def __enter__(self):
        return self.browser

    def __exit__(self, *_):
        self.close()


AXE = "axe-core@4.14.1"


def axe_script(folder):
    """axe-core's script, installed into `folder` by npm on first use."""
    axe = Path(folder) / "node_modules/axe-core/axe.min.js"
    if not axe.exists():
        subprocess.run(["npm", "install", "--no-save", "--no-audit", "--no-fund", "--prefix",
                        str(folder), AXE], check=True, stdout=subprocess.DEVNULL)
    return axe.read_text(encoding="utf-8")


def axe_findings(browser, script, impacts=None):
    """axe-core's violations on the page shown, of the impacts given (all when None)."""
    if not browser.execute_script("return typeof axe !== 'undefined'"):
        browser.execute_script(script)
    return browser.execute_async_script("""
        const done = arguments[arguments.length - 1], impacts = arguments[0];
        axe.run(document, {resultTypes: ['violations']}).then((r) => done(r.violations
            .filter((v) => !impacts || impacts.includes(v.impact))
            .map((v) => v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).join(', '))));""",
                                        impacts)
