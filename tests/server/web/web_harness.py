"""kavro-sim on a pty as the controller, kavro-server on free loopback ports in front of it, and
headless Chromium: what the web remote's tests, its benchmark and its screenshots share."""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

TOKEN = "web-remote-test-token-0123456789abcdef"
CODE = "200A000140400A8000000000A0000000000000112233445566778899AA"
SKIP = 77  # ctest's SKIP_RETURN_CODE for this test


def code_data(n):
    """A data text unique to code n, so the simulator's log tells which code a frame carried."""
    return "200A000140400A8000000000A000000000000011223344556677%06X" % n


class Rig:
    """One server, the controller behind it and their data file in a temporary folder. The
    controller is kavro-sim on a pty of its own, or the pty `device` when one is given."""

    def __init__(self, server_bin, sim_bin=None, records=(), sections="", sim_args=(),
                 device=None):
        self.dir = tempfile.mkdtemp(prefix="kavro-web-")
        self.data_file = os.path.join(self.dir, "kavro.dat")
        self.sim_log = os.path.join(self.dir, "sim.log")
        self.server_log = open(os.path.join(self.dir, "server.log"), "wb")
        self.sim = self.server = None
        try:
            self._start(server_bin, sim_bin, records, sections, sim_args, device)
        except BaseException:
            self.close()
            raise

    def _start(self, server_bin, sim_bin, records, sections, sim_args, device):
        pty = device
        if not device:
            self.sim = subprocess.Popen([sim_bin, "--pty", "--log", self.sim_log, *sim_args],
                                        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
            pty = self.sim.stdout.readline().decode().strip()
            if not pty:
                raise RuntimeError("kavro-sim did not start")
        text = "[COMMON]\r\nCOM=1\r\n[Serial]\r\nCOM1=%s\r\n%s[Data]\r\n" % (pty, sections)
        text += "".join("%04d=%s\r\n" % (n, value) for n, value in records)
        with open(self.data_file, "wb") as f:
            f.write(text.encode("cp932"))
        token_file = os.path.join(self.dir, "token")
        with open(token_file, "w") as f:
            f.write(TOKEN + "\n")
        self.server = subprocess.Popen(
            [server_bin, "--data", self.data_file, "--link", "COM1", "--line", "127.0.0.1:0",
             "--http", "127.0.0.1:0", "--token-file", token_file],
            stdout=subprocess.PIPE, stderr=self.server_log, stdin=subprocess.DEVNULL)
        for _ in range(2):
            line = self.server.stdout.readline().decode()
            if line.startswith("listening http "):
                self.port = int(line.rsplit(":", 1)[1])
        if not getattr(self, "port", 0):
            raise RuntimeError("kavro-server did not start: " + self.log())
        self.url = "http://127.0.0.1:%d/" % self.port
        deadline = time.monotonic() + 10
        while self.api("GET", "/status")[1].get("online") is not True:
            if time.monotonic() > deadline:
                raise RuntimeError("the controller did not come online: " + self.log())
            time.sleep(0.05)

    def api(self, method, path, body=None, token=TOKEN):
        """(status, decoded JSON body or None) of one API call."""
        request = urllib.request.Request(
            self.url + "api/v1" + path, method=method,
            data=None if body is None else json.dumps(body).encode(),
            headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=20) as answer:
                status, text = answer.status, answer.read()
        except urllib.error.HTTPError as e:
            status, text = e.code, e.read()
        return status, json.loads(text) if text else None

    def frames(self, data=None):
        """IR send frames the simulator got so far, only those carrying `data` when given."""
        try:
            with open(self.sim_log, encoding="latin-1") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return 0
        return sum(1 for line in lines
                   if " irsend " in line and (data is None or line.rstrip().endswith(data)))

    def log(self):
        self.server_log.flush()
        with open(self.server_log.name, errors="replace") as f:
            return f.read()

    def close(self):
        if self.server and self.server.poll() is None:
            self.server.send_signal(signal.SIGTERM)
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        if self.sim and self.sim.poll() is None:
            self.sim.kill()
            self.sim.wait()
        for p in (self.server, self.sim):
            if p and p.stdout:
                p.stdout.close()
        self.server_log.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def find_browser():
    """(chromium, chromedriver) paths, or None when either is missing."""
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    return (browser, driver) if browser and driver else None


def start_browser(width=390, height=844, scale=1, touch=False):
    """Headless Chromium under selenium."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    browser, driver = find_browser()
    options = webdriver.ChromeOptions()
    options.binary_location = browser
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--disable-extensions", "--lang=en-US",
                "--window-size=%d,%d" % (width, height)):
        options.add_argument(arg)
    if scale != 1 or touch:
        options.add_experimental_option("mobileEmulation", {
            "deviceMetrics": {"width": width, "height": height, "pixelRatio": scale,
                              "touch": touch}})
    return webdriver.Chrome(service=Service(driver), options=options)
