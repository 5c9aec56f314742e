"""The web panel's figures, for scripts/bench --web; run inside the private network namespace with
/usr/bin/python3 (Debian's Selenium). From a data packet's arrival at python -m zvmp web to the
browser's update of the page, by the page's own timestamps (every event carries the time its
packet arrived, and the page notes when it has shown it: the browser and the server share this
computer's clock), and the web server's CPU with no browser, one and five following it."""
import os
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients", "python", "tests"))

import browser  # noqa: E402
from bench import PROGRAM, SECONDS, cpu_share, machine  # noqa: E402

LISTEN = "127.0.0.1:8080"


def figures(web, pages):
    for page in pages:
        page.driver.execute_script("window.zvmpPanel.latencies.length = 0")
    share = cpu_share(web, SECONDS)
    samples = sorted(x for page in pages for x in page.driver.execute_script("return window.zvmpPanel.latencies"))
    p99 = samples[min(len(samples) - 1, int(0.99 * len(samples)))] if samples else float("nan")
    print("%d browser%s, %.0f s: web server %.2f %% of a core; data packet's arrival to the page's update "
          "(%d samples): p50 %.1f ms, p99 %.1f ms" % (len(pages), "s" if len(pages) > 1 else "", SECONDS, share,
                                                       len(samples), statistics.median(samples), p99))


def main():
    machine("; headless Chromium %s" % subprocess.run([browser.CHROMIUM, "--version"], capture_output=True,
                                                       text=True).stdout.split()[1])
    program = subprocess.Popen([PROGRAM, "-s"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    web = browser.start_web("--listen", LISTEN, "--host", "127.0.0.1")
    pages = []
    try:
        time.sleep(2)
        print("web server with no browser, %.0f s: %.2f %% of a core" % (SECONDS, cpu_share(web, SECONDS)))
        for count in (1, 5):
            while len(pages) < count:
                pages.append(browser.Browser())
                pages[-1].driver.get("http://%s/" % LISTEN)
                pages[-1].wait_for("return window.zvmpPanel.events > 5", 20)
            time.sleep(2)
            figures(web, pages)
    finally:
        for page in pages:
            page.quit()
        web.send_signal(signal.SIGTERM)
        web.wait(10)
        program.send_signal(signal.SIGTERM)
        program.wait(10)


if __name__ == "__main__":
    main()
