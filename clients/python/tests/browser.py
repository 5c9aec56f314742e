"""Debian's headless Chromium driven through Debian's Selenium (chromium, chromium-driver,
python3-selenium), for the web panel's browser test, its screenshot (scripts/screenshot-web) and
its figures (scripts/bench --web). Run with /usr/bin/python3, which sees Debian's Selenium, and
inside a private network namespace: the browser is kept from every network service of its own."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys
import tempfile
import time
from typing import List, Optional, Sequence

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WINDOW = (1280, 800)
# Headless, as root in CI (no sandbox), and with nothing that calls home.
FLAGS = ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-default-apps", "--disable-extensions", "--no-first-run", "--no-default-browser-check",
         "--hide-scrollbars", "--force-device-scale-factor=1")


class Browser:
    """One headless Chromium window of `size` with a fresh profile of its own, removed on quit()."""

    def __init__(self, size: Sequence[int] = WINDOW) -> None:
        try:
            from selenium import webdriver
            from selenium.webdriver.chrome.options import Options
            from selenium.webdriver.chrome.service import Service
        except ImportError:
            raise RuntimeError("Selenium is missing: scripts/install-deps installs python3-selenium, which "
                               "/usr/bin/python3 sees (%s runs this)" % sys.executable) from None
        for path in (CHROMIUM, CHROMEDRIVER):
            if not os.path.exists(path):
                raise RuntimeError("%s is missing: scripts/install-deps installs chromium and chromium-driver" % path)
        self.profile = tempfile.mkdtemp(prefix="zvmp-chromium-")
        options = Options()
        options.binary_location = CHROMIUM
        for flag in FLAGS + ("--window-size=%d,%d" % tuple(size), "--user-data-dir=" + self.profile):
            options.add_argument(flag)
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except BaseException:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise
        self.driver.set_page_load_timeout(20)
        # The window's size includes what the browser draws around the page: grow it until the
        # page itself has `size`.
        inner = self.driver.execute_script("return [window.innerWidth, window.innerHeight]")
        if list(inner) != list(size):
            self.driver.set_window_size(2 * size[0] - inner[0], 2 * size[1] - inner[1])

    def wait_for(self, script: str, timeout: float, *args: object) -> object:
        """The first truthy result of the JavaScript `script` ("return ..."), tried every 20 ms;
        AssertionError naming it after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            result = self.driver.execute_script(script, *args)
            if result:
                return result
            if time.monotonic() > deadline:
                raise AssertionError("not within %g s: %s" % (timeout, script))
            time.sleep(0.02)

    def text(self, selector: str) -> str:
        return str(self.driver.execute_script("return document.querySelector(arguments[0]).textContent", selector))

    def quit(self) -> None:
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


def web_command(*args: str) -> List[str]:
    """The command line of `python -m zvmp web ARGS` with this interpreter."""
    return [sys.executable, "-m", "zvmp", "web", *args]


def start_web(*args: str, env: Optional[dict] = None) -> subprocess.Popen:
    """python -m zvmp web ARGS from the source tree, its output piped."""
    environment = dict(os.environ if env is None else env)
    environment["PYTHONPATH"] = os.path.join(ROOT, "clients", "python")
    environment["PYTHONDONTWRITEBYTECODE"] = "1"
    return subprocess.Popen(web_command(*args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
