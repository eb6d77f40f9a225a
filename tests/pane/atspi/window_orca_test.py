#!/usr/bin/python3
"""What the Orca screen reader says about the settings window.

Orca runs with its speech off; its debug log records every text it would speak. The real window runs beside it, and the keys a person would type go through the
X server. The test waits, key by key, for what Orca says.

usage: window_orca_test.py <the Tessaly program>
Exits 77 (skipped) when Orca or AT-SPI is not installed.
"""

import os
import pty
import re
import select
import shutil
import subprocess
import sys

try:
    from desktop_session import (ALT, KEY_DOWN, KEY_TAB, SKIP, Session, missing_requirements,
                                 press, press_with, wait_until)
except (ImportError, ValueError) as missing:
    print(f"skipped: {missing}")
    sys.exit(77)


class Speech:
    """The texts Orca has spoken so far, read from its debug output. The output goes to a
    terminal, so that Orca writes each line as it comes rather than in blocks."""

    SPOKEN = re.compile(r"SPEECH OUTPUT: '(.*?)'(?: voice=[^{]*)? ?\{")

    def __init__(self):
        self.terminal, self.output = pty.openpty()
        self.path = os.ttyname(self.output)
        self.text = ""
        self.heard = 0

    def read(self):
        while select.select([self.terminal], [], [], 0)[0]:
            try:
                chunk = os.read(self.terminal, 65536)
            except OSError:
                break
            if not chunk:
                break
            self.text += chunk.decode("utf-8", "replace")

    def logged(self, text):
        self.read()
        return text in self.text

    def said(self):
        self.read()
        return self.SPOKEN.findall(self.text)

    def expect(self, *texts, seconds=60):
        """Waits until Orca has said each text, in order, after what was heard before; a text
        ending with "…" is a beginning."""
        for text in texts:
            def found():
                for index, spoken in enumerate(self.said()[self.heard:], self.heard):
                    if spoken == text or (text.endswith("…") and spoken.startswith(text[:-1])):
                        self.heard = index + 1
                        return True
                return False
            wait_until(found, seconds, f"Orca to say {text!r}; it said {self.said()[self.heard:]}")


def main(program):
    if not shutil.which("orca"):
        print("skipped: orca is not installed")
        return SKIP
    if missing_requirements():
        print(f"skipped: {missing_requirements()}")
        return SKIP
    session = Session()
    # What Orca says is checked word for word, and Orca names roles in the user's language (the
    # suite runs a second time in German): this session speaks English.
    session.environment.update(LC_ALL="C.UTF-8", LANGUAGE="en")
    failed = False
    try:
        session.start_accessibility_bus()
        speech = Speech()
        # Speech itself is off: Orca still writes down every text it would speak, and does not
        # wait for a speech server that has no voice to speak with here.
        session.start(["orca", "--replace", "--disable=speech", "--debug",
                       f"--debug-file={speech.path}"],
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: speech.logged("Startup complete"), 60, "Orca to start")
        session.start([program])
        session.raise_window()

        # The window opens on the check interval, read in minutes by its label.
        speech.expect("Check interval slider 1.", "1 minute.")
        # Tab to the first popup: named by its label, then its value; the arrows change it and
        # the new value is said.
        for _ in range(5):
            press(KEY_TAB)
        speech.expect("Columns combo box.", "4.")
        press(KEY_DOWN)
        speech.expect("5.")
        # The saved looks: the list by its label, then each look the arrows reach.
        press_with(ALT, ord("k"))
        press_with(ALT, ord("v"))
        speech.expect("Saved looks.", "List with 4 items.")
        press(KEY_DOWN)
        speech.expect("Dark Gallery.plist.")
        press(KEY_DOWN)
        speech.expect("Light Paper.plist.")
        # A change that cannot be saved is said the moment it shows.
        session.make_settings_unwritable()
        press_with(ALT, ord("r"))
        press_with(ALT, ord("c"))
        speech.expect("Columns combo box.")
        press(KEY_DOWN)
        speech.expect("6.", "notification This change was not saved: the settings file…")
        print("Orca said:\n  " + "\n  ".join(speech.said()))
    except AssertionError as failure:
        print(f"FAIL: {failure}")
        failed = True
    finally:
        session.close()
    print("0 passed, 1 failed" if failed else "1 passed, 0 failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
