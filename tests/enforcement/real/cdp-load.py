#!/usr/bin/env python3
# Loads pages one after the other in one headless Chromium, driven over its
# DevTools pipe, and prints for each address read from standard input whether
# the page's script ran: "ADDRESS ran", "ADDRESS blocked", or "ADDRESS none"
# when no page came. The page's own text tells, read without a script.
#   cdp-load.py PROFILE_FOLDER < addresses
import json
import os
import select
import subprocess
import sys
import time

TIMEOUT = 30


class Browser:
    def __init__(self, profile):
        to_read, self.to_write = os.pipe()
        self.from_read, from_write = os.pipe()

        def pipes():
            # The browser reads its commands from fd 3 and answers on fd 4;
            # copied there through fresh numbers, as the pipes may be 3 and 4
            # already, and dup2 marks a copy inheritable.
            read, write = os.dup(to_read), os.dup(from_write)
            os.dup2(read, 3)
            os.dup2(write, 4)

        self.process = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-extensions", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--disable-default-apps", "--user-data-dir=" + profile,
             "--ignore-certificate-errors", "--host-resolver-rules=MAP * 127.0.0.1",
             "--remote-debugging-pipe", "about:blank"],
            preexec_fn=pipes, close_fds=False, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=open(profile + ".log", "w"))
        os.close(to_read)
        os.close(from_write)
        self.buffer = b""
        self.events = []
        self.next_id = 0

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_write, json.dumps(message).encode() + b"\0")
        return self.next_id

    def receive(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_read], [], [], left)[0]:
                return None
            chunk = os.read(self.from_read, 65536)
            if not chunk:
                return None
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        wanted = self.send(method, params, session)
        deadline = time.monotonic() + TIMEOUT
        while True:
            message = self.receive(deadline)
            if message is None:
                raise TimeoutError(method)
            if message.get("id") == wanted:
                if "error" in message:
                    raise RuntimeError(method + ": " + message["error"].get("message", ""))
                return message.get("result", {})
            self.events.append(message)

    def wait_event(self, method, session):
        deadline = time.monotonic() + TIMEOUT
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method and event.get("sessionId") == session:
                    del self.events[i]
                    return True
            message = self.receive(deadline)
            if message is None:
                return False
            self.events.append(message)

    def close(self):
        try:
            self.send("Browser.close")
            self.process.wait(10)
        except Exception:
            self.process.kill()


def main():
    browser = Browser(sys.argv[1])
    try:
        target = browser.call("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        browser.call("Page.enable", session=session)
        for address in sys.stdin.read().split():
            browser.events.clear()
            shown = "none"
            try:
                browser.call("Page.navigate", {"url": address}, session)
                if browser.wait_event("Page.loadEventFired", session):
                    root = browser.call("DOM.getDocument", {"depth": 0}, session)["root"]["nodeId"]
                    html = browser.call("DOM.getOuterHTML", {"nodeId": root}, session)["outerHTML"]
                    shown = "ran" if "script-ran" in html else "blocked" if "script-blocked" in html else "none"
            except (TimeoutError, RuntimeError) as error:
                print("cdp-load: " + address + ": " + str(error), file=sys.stderr)
            print(address, shown, flush=True)
    finally:
        browser.close()


main()
