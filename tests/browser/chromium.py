"""Debian's Chromium, headless, driven by selenium through Debian's
chromedriver, with a profile of its own that goes with it: how the pages'
checks (tests/browser, tests/wasm) and benchmarks (bench/) open it.

    with Chromium("1400,1000") as browser:
        browser.get(...)
"""
import tempfile

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
