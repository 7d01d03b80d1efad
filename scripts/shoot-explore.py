#!/usr/bin/python3
"""Screenshots of the explorer pages for the docs, in headless Chromium
(Debian's chromium, chromium-driver and python3-selenium):

  docs/explore-guard-without-recheck.png   the README's: the page at its failure
  docs/explore-code-without-recheck.png    the code beside the state at that failure
  docs/explore-code-without-second-reset.png   and at the middle of the fair cycle's lap

  scripts/shoot-explore.py [DOCS]

Run it after scripts/draw-explore.sh when the pages' look changes.
"""
import sys
import tempfile
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

DOCS = Path(sys.argv[1] if len(sys.argv) > 1 else "docs").resolve()


def main():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ["--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                 "--window-size=1400,1000", "--force-device-scale-factor=1"]:
        options.add_argument(flag)
    profile = tempfile.TemporaryDirectory()
    options.add_argument("--user-data-dir=" + profile.name)
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        for name, prop in (("without-recheck", "exclusion"),
                           ("without-second-reset", "writers get in")):
            browser.set_window_size(1400, 1000)
            browser.get((DOCS / f"explore-guard-{name}.html").as_uri())
            browser.find_element(By.CSS_SELECTOR, f'#properties li[data-name="{prop}"] .play').click()
            lap = browser.find_elements(By.CSS_SELECTOR, "#steps li.lap")
            if lap:
                browser.execute_script("Explorer.goTo(arguments[0])", len(lap) // 2 +
                                       int(lap[0].get_attribute("data-step")))
            if name == "without-recheck":
                browser.save_screenshot(str(DOCS / f"explore-guard-{name}.png"))
            browser.set_window_size(1400, 2400)
            browser.execute_script("document.activeElement.blur()")
            browser.find_element(By.ID, "side").screenshot(str(DOCS / f"explore-code-{name}.png"))
    finally:
        browser.quit()
        profile.cleanup()


if __name__ == "__main__":
    main()
