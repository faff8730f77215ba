#!/usr/bin/env python3
"""The web remote in headless Chromium against kavro-server on loopback, with 1,000 codes in the
data file: how fast the page loads and is usable, what it transfers before the code list, and
how much later a tap on a key puts its frame on the controller's line than an HTTP POST from a
script does, in the same run.

    python3 bench/server/web_bench.py --server build/bin/kavro-server [--loads 10] [--taps 60]

The controller is a thread here on a pty of its own: it takes the time when the last byte of a
30-byte IR send frame is in and answers 'E' at once. Needs python3-selenium, chromium and
chromium-driver (scripts/setup.sh)."""

import argparse
import os
import statistics
import sys
import threading
import time
import urllib.request

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "..", "..", "tests", "server", "web"))
import web_harness  # noqa: E402
from web_harness import TOKEN, Rig  # noqa: E402

FRAME = 30
TAP_CODE = 115


class PtyController(threading.Thread):
    """The controller's end of a pty: IR send frames in, 'E' out, each frame's time kept."""

    def __init__(self):
        super().__init__(daemon=True)
        self.master, self.slave = os.openpty()
        self.path = os.ttyname(self.slave)
        self.times = []
        self.seen = threading.Condition()

    def run(self):
        held = b""
        while True:
            try:
                held += os.read(self.master, 4096)
            except OSError:
                return
            while held:
                if held[0] != ord("S"):  # the preamble on opening: no answer
                    held = held[1:]
                    continue
                if len(held) < FRAME:
                    break
                now = time.time()
                held = held[FRAME:]
                os.write(self.master, b"E")
                with self.seen:
                    self.times.append(now)
                    self.seen.notify_all()

    def next_frame(self, count, timeout=5):
        """The time of frame number `count` (from 0), once it is in."""
        with self.seen:
            if not self.seen.wait_for(lambda: len(self.times) > count, timeout):
                raise RuntimeError("no frame at the controller")
            return self.times[count]


def nec(n):
    """An NEC data text (device n / 256, function n % 256), so that every code decodes."""
    device, function = n // 256 % 256, n % 256
    return "6020000200430088B002000280000000000000%02X%02X%02X%02X000000000000" % (
        device, 255 - device, function, 255 - function)


def thousand_codes():
    numbers = list(range(1, 101))
    numbers += [base + k for base in (100, 150, 200) for k in range(1, 46)]
    numbers += range(250, 250 + 1000 - len(numbers))
    return [(n, nec(n) + " コード %d 番 channel" % n) for n in numbers]


LOAD_FIGURES = """
const nav = performance.getEntriesByType('navigation')[0];
const ready = performance.getEntriesByName('kavro-ready')[0];
const all = performance.getEntriesByType('resource');
const codes = all.find(e => e.name.endsWith('/api/v1/codes'));
const api = all.filter(e => e.name.includes('/api/v1/') && e !== codes && e.startTime < ready.startTime);
const files = all.filter(e => !e.name.includes('/api/'));
const sum = list => list.reduce((total, e) => total + e.transferSize, 0);
return {html: nav.responseEnd, interactive: nav.domInteractive, load: nav.loadEventEnd,
        ready: ready.startTime, codes_start: codes.startTime, codes_end: codes.responseEnd,
        files: nav.transferSize + sum(files), api: sum(api), codes: codes.transferSize,
        names: files.map(e => e.name.replace(/^.*\\//, '/') + ' ' + e.transferSize)};
"""


def load_page(driver, url, cold, again=True):
    """One load of the page: a reload of it where `again`, as a user opening it anew would;
    otherwise a navigation from a blank page with the token in the address."""
    driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": cold})
    if again:
        driver.refresh()
    else:
        driver.get("about:blank")
        driver.get(url + "#token=" + TOKEN)
    deadline = time.monotonic() + 20
    while not driver.execute_script("return performance.getEntriesByName('kavro-ready').length"):
        if time.monotonic() > deadline:
            raise RuntimeError("the page did not get ready")
        time.sleep(0.01)
    time.sleep(0.3)  # the manifest and icon the browser fetches after the load
    return driver.execute_script(LOAD_FIGURES)


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True, help="the kavro-server program")
    parser.add_argument("--loads", type=int, default=10)
    parser.add_argument("--taps", type=int, default=60)
    args = parser.parse_args()
    if not web_harness.find_browser():
        sys.exit("chromium and chromium-driver are needed (scripts/setup.sh)")

    controller = PtyController()
    controller.start()
    rig = Rig(args.server, records=thousand_codes(), device=controller.path)
    driver = web_harness.start_browser(390, 844)
    try:
        driver.execute_cdp_cmd("Network.enable", {})
        load_page(driver, rig.url, True, again=False)  # the browser's own start is not the page's
        codes_ms = []
        for _ in range(10):
            started = time.perf_counter()
            rig.api("GET", "/codes")
            codes_ms.append((time.perf_counter() - started) * 1000)
        print("GET /api/v1/codes from urllib, 1,000 codes: median %.1f ms" % median(codes_ms))
        print("Page load on loopback, 1,000 codes, %d loads each (ms from navigation start;"
              " sizes in bytes as transferred):" % args.loads)
        for cold, again in ((True, False), (True, True), (False, True)):
            runs = [load_page(driver, rig.url, cold, again) for _ in range(args.loads)]
            print("  %-9s %-5s html in %5.1f  interactive %5.1f  load %5.1f  codes asked %5.1f"
                  " in %5.1f  lists drawn %5.1f  page %6d  status+pad %6d  codes %7d" % (
                      "navigate" if not again else "reload", "cold" if cold else "warm",
                      *(median([r[k] for r in runs]) for k in (
                          "html", "interactive", "load", "codes_start", "codes_end", "ready")),
                      runs[-1]["files"], runs[-1]["api"], runs[-1]["codes"]))
            if not again:
                print("    files: " + ", ".join(runs[-1]["names"]))

        if args.taps <= 0:
            return
        # Taps and POSTs alternate in blocks of 10 after 10 of each to warm up.
        driver.execute_cdp_cmd("Network.setCacheDisabled", {"cacheDisabled": False})
        driver.execute_script("window.taps = []; document.addEventListener('pointerdown',"
                              " e => taps.push(e.timeStamp), true)")
        box = driver.execute_script(
            "const r = document.querySelector('.key[data-code=\"%d\"]').getBoundingClientRect();"
            "return [r.x + r.width / 2, r.y + r.height / 2]" % TAP_CODE)
        frames = len(controller.times)
        tap_ms, post_ms, in_page, to_wire = [], [], [], []

        def tap():
            nonlocal frames
            for kind in ("mousePressed", "mouseReleased"):
                driver.execute_cdp_cmd("Input.dispatchMouseEvent", {
                    "type": kind, "x": box[0], "y": box[1], "button": "left", "clickCount": 1})
            at = controller.next_frame(frames)
            frames += 1
            time.sleep(0.05)  # the answer reaches the page before the next tap
            # The event's time, and when the page called fetch() and the browser sent it.
            event, called, sent, origin = driver.execute_script(
                "const sends = performance.getEntriesByType('resource')"
                ".filter(e => e.name.endsWith('/send')); const s = sends[sends.length - 1];"
                "performance.clearResourceTimings();"
                "return [taps[taps.length - 1], s.startTime, s.requestStart, performance.timeOrigin]")
            in_page.append(called - event)
            to_wire.append(sent - called)
            return at * 1000 - (origin + event)

        def post():
            nonlocal frames
            request = urllib.request.Request(
                rig.url + "api/v1/codes/%d/send" % TAP_CODE, method="POST", data=b"",
                headers={"Authorization": "Bearer " + TOKEN})
            started = time.time()
            with urllib.request.urlopen(request, timeout=10) as answer:
                answer.read()
            at = controller.next_frame(frames)
            frames += 1
            time.sleep(0.05)  # as long a pause as after a tap
            return (at - started) * 1000

        for _ in range(10):
            tap()
            post()
        while len(tap_ms) < args.taps:
            tap_ms += [tap() for _ in range(10)]
            post_ms += [post() for _ in range(10)]
        q = statistics.quantiles
        print("Send of code %d until its frame is at the controller, %d each, alternating:" % (
            TAP_CODE, len(tap_ms)))
        print("  POST /api/v1/codes/%d/send from urllib (baseline)  median %6.2f ms  90th %6.2f ms"
              % (TAP_CODE, median(post_ms), q(post_ms, n=10)[-1]))
        print("  tap on the page's key (from its pointerdown)      median %6.2f ms  90th %6.2f ms"
              % (median(tap_ms), q(tap_ms, n=10)[-1]))
        print("  difference of the medians: %+.2f ms" % (median(tap_ms) - median(post_ms)))
        print("  of the tap: pointerdown until the page calls fetch() %.2f ms, fetch() until the"
              " browser sends the request %.2f ms (medians)" % (median(in_page), median(to_wire)))
    finally:
        driver.quit()
        rig.close()
        os.close(controller.master)
        os.close(controller.slave)


if __name__ == "__main__":
    main()
