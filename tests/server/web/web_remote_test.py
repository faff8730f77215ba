"""The web remote in headless Chromium against kavro-server, with kavro-sim on a pty as the
controller: what a press puts on the wire, the token's handling, learning and the lists.

    web_remote_test.py --server PATH --sim PATH [unittest options]

Exits 77 (skipped) when selenium, Chromium or its driver is not installed."""

import argparse
import os
import sys
import time
import unittest

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_harness  # noqa: E402
from web_harness import CODE, SKIP, TOKEN, Rig, code_data  # noqa: E402

MARKUP = "<img src=x onerror=alert(1)>"
LIBRARY = [(300, "エアコン 運転"), (301, "エアコン 停止"), (302, "fan"), (303, "BD CH+")]
ARGS = None


class WebRemoteTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        records = [(101, code_data(101) + " P1 TV 1"), (7, code_data(7) + " " + MARKUP)]
        records += [(n, code_data(n) + " " + comment) for n, comment in LIBRARY]
        cls.rig = Rig(ARGS.server, ARGS.sim, records,
                      sim_args=("--learn-delay", "300", "--learn-code", CODE))
        try:
            cls.driver = web_harness.start_browser()
        except BaseException:
            cls.rig.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.rig.close()

    def wait(self, condition, timeout=10):
        from selenium.webdriver.support.ui import WebDriverWait
        return WebDriverWait(self.driver, timeout).until(lambda d: condition())

    def script(self, text, *args):
        return self.driver.execute_script(text, *args)

    def find(self, css):
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def open(self, fragment="#token=" + TOKEN, stored=None):
        """The page loaded afresh, with `stored` as the token in local storage."""
        self.driver.get(self.rig.url + "manifest.webmanifest")
        self.script("localStorage.clear(); if (arguments[0]) "
                    "localStorage.setItem('kavro.token', arguments[0])", stored)
        self.driver.get(self.rig.url + fragment)

    def open_ready(self):
        self.open()
        self.wait(lambda: self.script("return document.body.classList.contains('ready')"))

    def api_calls(self):
        return self.script("return performance.getEntriesByType('resource')"
                           ".filter(e => e.name.includes('/api/')).length")

    def settled_frames(self, data):
        """The frames carrying `data` once no more have come for half a second."""
        count = -1
        while count != self.rig.frames(data):
            count = self.rig.frames(data)
            time.sleep(0.5)
        return count

    def csp_violations(self):
        return [e["message"] for e in self.driver.get_log("browser") if e["source"] == "security"]

    def test_token_from_the_fragment_is_kept_and_leaves_the_address_bar(self):
        self.open_ready()
        self.assertEqual(self.csp_violations(), [])
        self.assertNotIn("token", self.driver.current_url)
        self.assertEqual(self.script("return localStorage.getItem('kavro.token')"), TOKEN)
        self.wait(lambda: "online" in self.find("#status-text").text)
        # Keys without a stored code are dimmed.
        self.assertNotIn("empty", self.find('.key[data-code="101"]').get_attribute("class"))
        self.assertIn("empty", self.find('.key[data-code="102"]').get_attribute("class"))

    def test_without_a_token_the_page_asks_and_calls_nothing(self):
        frames = self.rig.frames()
        self.open(fragment="")
        self.wait(lambda: self.find("#token-form").is_displayed())
        time.sleep(0.5)
        self.assertEqual(self.api_calls(), 0)
        self.assertFalse(self.find("#main").is_displayed())
        self.find("#token").send_keys(TOKEN + "\n")
        self.wait(lambda: self.script("return document.body.classList.contains('ready')"))
        self.assertEqual(self.rig.frames(), frames)

    def test_a_wrong_token_is_reported_and_asked_again(self):
        for fragment, stored in (("#token=wrong-token-0123456789", None), ("", "stale-token")):
            with self.subTest(fragment=fragment, stored=stored):
                self.open(fragment, stored)
                self.wait(lambda: self.find("#token-form").is_displayed())
                self.assertIn("did not accept", self.find("#token-why").text)
                self.assertIsNone(self.script("return localStorage.getItem('kavro.token')"))

    def test_a_tap_sends_the_code_once(self):
        self.open_ready()
        before = self.rig.frames(code_data(101))
        key = self.find('.key[data-code="101"]')
        key.click()
        self.wait(lambda: key.find_element("css selector", ".note").text == "done")
        self.assertEqual(self.settled_frames(code_data(101)), before + 1)

    def test_holding_repeats_until_the_release_and_not_after(self):
        from selenium.webdriver.common.action_chains import ActionChains
        self.open_ready()
        before = self.rig.frames(code_data(101))
        key = self.find('.key[data-code="101"]')
        ActionChains(self.driver).click_and_hold(key).pause(1.0).release().perform()
        # At most the send under way at the release still ends; none starts after it.
        at_release = self.rig.frames(code_data(101))
        after = self.settled_frames(code_data(101))
        self.assertLessEqual(after - at_release, 1)
        self.assertGreaterEqual(after - before, 3)
        time.sleep(1)
        self.assertEqual(self.rig.frames(code_data(101)), after)

    def test_an_error_shows_on_the_key(self):
        self.open_ready()
        key = self.find('.key[data-code="102"]')
        key.click()
        self.wait(lambda: key.find_element("css selector", ".note").text == "no code 102")

    def test_a_learn_stores_the_code_and_the_lists_show_it(self):
        self.open_ready()
        self.find('#tabs [data-panel="learn"]').click()
        self.find("#learn-number").send_keys("320")
        self.find("#learn-comment").send_keys("テレビ 入力")
        self.find("#learn-start").click()
        self.wait(lambda: "ok" in self.find("#learn-state").get_attribute("class"), 20)
        self.assertIn("Learned code 320", self.find("#learn-text").text)
        with open(self.rig.data_file, "rb") as f:
            self.assertIn(("0320=" + CODE + " テレビ 入力\r\n").encode("cp932"), f.read())
        self.find('#tabs [data-panel="library"]').click()
        row = self.find('#library-rows .row[data-code="320"]')
        self.assertEqual(row.find_element("css selector", ".c").text, "テレビ 入力")

    def test_markup_in_a_comment_is_shown_as_text(self):
        self.open_ready()
        self.find('#tabs [data-panel="list"]').click()
        comment = self.find('#list-rows .row[data-code="7"] .c')
        self.assertEqual(comment.text, MARKUP)
        self.assertEqual(self.script("return document.querySelectorAll('img[src=x]').length"), 0)
        self.assertEqual(self.csp_violations(), [])
        from selenium.common.exceptions import NoAlertPresentException
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text

    def test_the_search_narrows_the_library(self):
        self.open_ready()
        self.find('#tabs [data-panel="library"]').click()
        search = self.find("#search")

        def shown():
            return self.script("return [...document.querySelectorAll('#library-rows li')]"
                               ".filter(li => !li.hidden).map(li => li.firstChild.dataset.code)")
        self.assertLessEqual({str(n) for n, _ in LIBRARY}, set(shown()))
        for query, codes in (("エアコン", ["300", "301"]), ("0302", ["302"]), ("ch+", ["303"]),
                             ("エアコン 停止", ["301"]), ("nothing", [])):
            with self.subTest(query=query):
                search.clear()
                search.send_keys(query)
                self.assertEqual(shown(), codes)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--sim", required=True)
    ARGS, rest = parser.parse_known_args()
    try:
        import selenium  # noqa: F401
    except ImportError:
        print("skipped: python3-selenium is not installed (scripts/setup.sh installs it)")
        return SKIP
    if not web_harness.find_browser():
        print("skipped: chromium or chromedriver is not installed (scripts/setup.sh installs them)")
        return SKIP
    program = unittest.main(argv=[sys.argv[0]] + rest, exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
