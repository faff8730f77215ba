#!/usr/bin/env python3
"""Screenshots of the web remote with the demo data file, on a phone and on a desktop:

    python3 tests/server/web/web_shots.py --server build/bin/kavro-server \
        --sim build/bin/kavro-sim [--out docs/screenshots]

writes web-phone.png (390 x 844 CSS pixels at device scale 2) and web-desktop.png (1280 x 800).
The colour scheme is the browser's: light unless --dark."""

import argparse
import os
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_harness  # noqa: E402
from web_harness import TOKEN, Rig  # noqa: E402

DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "demo",
                    "kavro-demo.dat")


def demo_data():
    """The demo's records and every section but those naming the link, for Rig."""
    with open(DEMO, encoding="cp932") as f:
        text = f.read().replace("\r\n", "\n")
    sections, records, name = "", [], ""
    for line in text.split("\n"):
        if line.startswith("["):
            name = line.strip("[]").lower()
        elif name == "data" and "=" in line:
            key, value = line.split("=", 1)
            records.append((int(key), value))
        if name not in ("common", "lan", "data", "serial") and line:
            sections += line + "\r\n"
    return records, sections


def shoot(rig, path, width, height, scale, dark, prepare=None):
    driver = web_harness.start_browser(width, height)
    try:
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": scale,
            "mobile": width < 600})
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [
            {"name": "prefers-color-scheme", "value": "dark" if dark else "light"}]})
        driver.get(rig.url + "#token=" + TOKEN)
        deadline = time.monotonic() + 10
        while not driver.execute_script("return document.body.classList.contains('ready') &&"
                                        " document.getElementById('status').className"
                                        ".includes('online')"):
            if time.monotonic() > deadline:
                raise RuntimeError("the page did not get ready")
            time.sleep(0.05)
        if prepare:
            prepare(driver)
        time.sleep(0.3)
        # The pty's name changes from run to run; the device reads as it would on a machine.
        driver.execute_script(
            "const t = document.getElementById('status-text');"
            "t.textContent = t.textContent.replace(/\\/dev\\/pts\\/\\d+/, '/dev/ttyUSB0')")
        driver.save_screenshot(path)
    finally:
        driver.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--sim", required=True)
    parser.add_argument("--out", default="docs/screenshots")
    parser.add_argument("--dark", action="store_true")
    args = parser.parse_args()
    records, sections = demo_data()
    rig = Rig(args.server, args.sim, records, sections)
    try:
        os.makedirs(args.out, exist_ok=True)

        def after_a_send(driver):
            # A key just pressed, with its answer on it.
            driver.find_element("css selector", '.key[data-code="115"]').click()
            time.sleep(0.2)

        shoot(rig, os.path.join(args.out, "web-phone.png"), 390, 844, 2, args.dark, after_a_send)
        shoot(rig, os.path.join(args.out, "web-desktop.png"), 1280, 800, 1, args.dark,
              after_a_send)
    finally:
        rig.close()


if __name__ == "__main__":
    main()
