#!/usr/bin/env python3
"""The live web page in headless Chromium, driven through chromedriver's W3C HTTP API.

pagora-decode --http decodes a signal rendered by pagora-gen from a pipe, fed in real time, so
pages complete while the page is open. Checked: the live feed shows each page as it completes,
the search finds a page by a word of its text, pages carrying markup render as text (nothing
runs, no element is created), the filter panes follow the capcode filter, and the page
reconnects by itself when the server goes away and comes back.

Exit 77 (skipped) when chromium or chromedriver is missing. Python standard library only.
"""
import argparse
import base64
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

RATE = 22050
TOKEN = "browser-test-token-5f2c9a0e71"
INJECTIONS = [
    "<script>window.__pwned = 1</script>",
    '"><img src=x onerror="window.__pwned = 2">',
]
FIRST_RUN = [
    (1200001, "ENGINE 7 RESPOND TO warehouse fire"),
    (1200002, INJECTIONS[0]),
    (1200003, "AMBULANCE standby at the stadium"),
    (1200004, INJECTIONS[1]),
    (1200005, "CALL DISPATCH ABOUT THE quarry"),
]
SECOND_RUN = [(1300001, "after the restart lighthouse")]
# Filters of the settings: a capcode and a word of text, each with a label.
SETTINGS = """[Filter]
FilterCount=2
Filter1=2,"1200001",0,"Fire crew","",0,0,0
Filter2=1,"",0,"Stadium","stadium",0,0,0
"""


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def render(gen, directory, name, pages):
    """Raw s16le audio with the pages 2.5 s apart; the audio bytes."""
    transmissions = []
    for capcode, text in pages:
        if transmissions:
            transmissions.append({"gap": 2.5})
        transmissions.append({"protocol": "POCSAG", "rate": 1200, "pages": [
            {"capcode": capcode, "function": 4, "type": "alpha", "text": text}]})
    scenario = os.path.join(directory, name + ".json")
    with open(scenario, "w") as f:
        json.dump({"transmissions": transmissions}, f)
    output = os.path.join(directory, name + ".raw")
    subprocess.run([gen, scenario, "-o", output, "--format", "raw", "--lead-in", "1",
                    "--expected", os.path.join(directory, name + ".expected")], check=True)
    with open(output, "rb") as f:
        return f.read()


class Feeder(threading.Thread):
    """Writes audio into pagora-decode's standard input at the pace of real time, then quiet
    until stopped, so the server stays up."""

    def __init__(self, process, audio):
        super().__init__(daemon=True)
        self.process, self.audio = process, audio
        self.written = 0
        self.stopping = threading.Event()

    def run(self):
        chunk = RATE // 10 * 2
        start = time.monotonic()
        try:
            while not self.stopping.is_set():
                block = self.audio[self.written:self.written + chunk] or bytes(chunk)
                self.process.stdin.write(block)
                self.process.stdin.flush()
                self.written += len(block)
                lag = start + self.written / (2 * RATE) - time.monotonic()
                if lag > 0:
                    time.sleep(lag)
        except (BrokenPipeError, ValueError):
            pass

    def done(self):
        return self.written >= len(self.audio)


class Decoder:
    def __init__(self, args, directory, port, audio):
        token_file = os.path.join(directory, "token")
        with open(token_file, "w") as f:
            f.write(TOKEN + "\n")
        ini = os.path.join(directory, "Pagora.INI")
        with open(ini, "w") as f:
            f.write(SETTINGS)
        self.process = subprocess.Popen(
            [args.decode, "--http", "127.0.0.1:%d" % port, "--http-token-file", token_file,
             "--format", "json", "--ini", ini, "--start-time", "2024-06-03T12:00:00",
             "--archive", os.path.join(directory, "pages.db"), "-"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
        self.port = port
        self.feeder = Feeder(self.process, audio)
        wait_for(lambda: http_ok("http://127.0.0.1:%d/api/status?token=%s" % (port, TOKEN)),
                 10, "pagora-decode serving")

    def stop(self):
        self.feeder.stopping.set()
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        self.process.terminate()
        self.process.wait(10)


def http_ok(url):
    try:
        with urllib.request.urlopen(url, timeout=2) as reply:
            return reply.status == 200
    except (urllib.error.URLError, OSError):
        return False


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    fail("timed out waiting for " + what)


class Browser:
    def __init__(self, directory):
        self.port = free_port()
        self.driver = subprocess.Popen(["chromedriver", "--port=%d" % self.port],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: http_ok("http://127.0.0.1:%d/status" % self.port), 30, "chromedriver")
        chrome = {"binary": shutil.which("chromium"),
                  "args": ["--headless=new", "--no-sandbox", "--disable-gpu",
                           "--disable-dev-shm-usage", "--window-size=900,820",
                           "--user-data-dir=" + os.path.join(directory, "profile")]}
        reply = self.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": chrome}}})
        self.session = reply["sessionId"]

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), data=data,
                                         method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as reply:
                return json.load(reply)["value"]
        except urllib.error.HTTPError as e:
            fail("webdriver %s %s: %s" % (method, path, e.read()[:500]))

    def session_call(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.session, path), body)

    def run(self, script, *args):
        return self.session_call("POST", "/execute/sync", {"script": script, "args": list(args)})

    def find(self, css):
        element = self.session_call("POST", "/element", {"using": "css selector", "value": css})
        return next(iter(element.values()))

    def type_into(self, css, text):
        element = self.find(css)
        self.session_call("POST", "/element/%s/clear" % element, {})
        self.session_call("POST", "/element/%s/value" % element, {"text": text})

    def click(self, css):
        self.session_call("POST", "/element/%s/click" % self.find(css), {})

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.session_call("GET", "/screenshot")))

    def close(self):
        try:
            self.call("DELETE", "/session/" + self.session)
        finally:
            self.driver.terminate()
            self.driver.wait(10)


ROWS = "return [...document.querySelectorAll(arguments[0] + ' .page .text')].map(e => e.textContent);"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--decode", required=True)
    parser.add_argument("--gen", required=True)
    parser.add_argument("--screenshot", help="save a PNG of the page here")
    args = parser.parse_args()
    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        print("SKIP: chromium or chromedriver is not installed")
        return 77

    directory = tempfile.mkdtemp(prefix="pagora-web-")
    decoder = browser = None
    try:
        first_audio = render(args.gen, directory, "first", FIRST_RUN)
        second_audio = render(args.gen, directory, "second", SECOND_RUN)
        port = free_port()
        decoder = Decoder(args, directory, port, first_audio)
        browser = Browser(directory)
        # Without the token the page is refused; with it the page opens and drops it from the
        # address bar (the browser holds it as a cookie).
        if http_ok("http://127.0.0.1:%d/" % port):
            fail("the page opened without the token")
        browser.session_call("POST", "/url", {"url": "http://127.0.0.1:%d/?token=%s" % (port, TOKEN)})
        wait_for(lambda: browser.run("return document.getElementById('connection').textContent")
                 == "live", 30, "the live stream to connect")
        if "token" in browser.session_call("GET", "/url"):
            fail("the token stayed in the address bar")

        # Pages appear one by one while the signal is still arriving.
        decoder.feeder.start()
        expected = [text for _, text in FIRST_RUN]
        shown_before_end = 0
        deadline = time.monotonic() + len(first_audio) / (2 * RATE) + 20
        while time.monotonic() < deadline:
            rows = browser.run(ROWS, "#all")
            if not decoder.feeder.done():
                shown_before_end = max(shown_before_end, len(rows))
            if len(rows) >= len(expected):
                break
            time.sleep(0.3)
        rows = browser.run(ROWS, "#all")
        if rows != list(reversed(expected)):
            fail("the live feed shows %r, expected %r" % (rows, list(reversed(expected))))
        if shown_before_end < len(expected) - 2:
            fail("only %d pages were shown while the signal was arriving" % shown_before_end)
        print("live: %d of %d pages shown before the signal ended" % (shown_before_end, len(expected)))
        # The top pane: the pages the settings' filters caught, with their labels; then the
        # pages the capcode filter box matches.
        filtered = browser.run(ROWS, "#filtered")
        if filtered != [expected[2], expected[0]]:
            fail("the filter pane shows %r" % filtered)
        labels = browser.run("return [...document.querySelectorAll('#filtered .label')]"
                             ".map(e => e.textContent);")
        if labels != ["Stadium", "Fire crew"]:
            fail("the filter pane's labels are %r" % labels)
        browser.type_into("#filter-capcode", "120000?")
        filtered = browser.run(ROWS, "#filtered")
        if filtered != list(reversed(expected)):
            fail("the capcode filter pane shows %r" % filtered)

        # Markup in page text is text: the exact characters are shown and nothing ran.
        for text in INJECTIONS:
            if text not in rows:
                fail("injected page not shown as text: %r" % text)
        created = browser.run("return document.querySelectorAll('.pane img, .pane script').length")
        if created != 0 or browser.run("return window.__pwned === undefined") is not True:
            fail("markup from a page's text reached the document")

        # The search finds a page by one word of its text, in any case.
        browser.type_into("#q", "STADIUM")
        browser.click("#search button[type=submit]")
        results = wait_for(lambda: browser.run(ROWS, "#results"), 10, "search results")
        if results != ["AMBULANCE standby at the stadium"]:
            fail("the search found %r" % results)
        browser.click("#results-close")

        if args.screenshot:
            browser.type_into("#filter-capcode", "")
            browser.type_into("#q", "fire")
            browser.click("#search button[type=submit]")
            time.sleep(1)
            browser.screenshot(args.screenshot)
            browser.click("#results-close")

        # The server goes away and comes back (a new run): the page reconnects by itself and
        # the new run's pages arrive without a reload.
        decoder.stop()
        wait_for(lambda: browser.run("return document.getElementById('connection').textContent")
                 != "live", 15, "the page to notice the dropped connection")
        decoder = Decoder(args, directory, port, second_audio)
        decoder.feeder.start()
        wait_for(lambda: SECOND_RUN[0][1] in browser.run(ROWS, "#all"), 40,
                 "the page to reconnect and show the new run's page")
        if browser.run(ROWS, "#all")[1:] != list(reversed(expected)):
            fail("the pages from before the reconnection changed")
        print("reconnected after the server restarted")

        # The search reads the archive: a page of the first run is found in the second.
        browser.type_into("#q", "stadium")
        browser.click("#search button[type=submit]")
        results = wait_for(lambda: browser.run(ROWS, "#results"), 10, "archive search results")
        if results != ["AMBULANCE standby at the stadium"]:
            fail("the archive search after the restart found %r" % results)
        print("the search reads the archive")
        print("PASS")
        return 0
    finally:
        if browser:
            browser.close()
        if decoder:
            decoder.stop()
        shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
