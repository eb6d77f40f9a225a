"""A small desktop session for the window's accessibility tests.

The tests run inside `xvfb-run` and `dbus-run-session`: an X server and a session bus of their own.
This adds a home folder of its own, the accessibility bus as a desktop session starts it, the real
window raised as a second start of the program would raise it, and keys typed through the X server
as a keyboard would type them. Everything started here is ended by `close`.
"""

import os
import shutil
import subprocess
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

SKIP = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
WINDOW_NAME = "org.tessaly.Tessaly"

KEY_TAB, KEY_DOWN, KEY_RIGHT, KEY_END, KEY_HOME = 0xFF09, 0xFF54, 0xFF53, 0xFF57, 0xFF50
# Key codes of the X server's default keyboard, for modifiers held down while a key is typed.
ALT, CONTROL = 64, 37


def call(bus_name, path, interface, method, args=None, signature=None):
    return Gio.bus_get_sync(Gio.BusType.SESSION, None).call_sync(
        bus_name, path, interface, method, args,
        GLib.VariantType(signature) if signature else None,
        Gio.DBusCallFlags.NONE, 10000, None)


def name_has_owner(name):
    reply = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "NameHasOwner", GLib.Variant("(s)", (name,)), "(b)")
    return reply.unpack()[0]


def wait_until(condition, seconds=20, what="condition"):
    """Polls `condition`, letting AT-SPI's events in, until it holds or time is up."""
    deadline = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while True:
        while context.pending():
            context.iteration(False)
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


def missing_requirements():
    """Why the session cannot be had here, or None."""
    if not os.access(LAUNCHER, os.X_OK):
        return f"{LAUNCHER} is not installed"
    if not os.environ.get("DISPLAY"):
        return "no X server (run under xvfb-run)"
    return None


class Session:
    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="tessaly-a11y-")
        runtime = os.path.join(self.home, "run")
        os.mkdir(runtime, 0o700)
        self.environment = dict(os.environ, HOME=self.home,
                                XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                                XDG_DATA_HOME=os.path.join(self.home, ".local/share"),
                                XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
        # Qt's bridge must come on because a screen reader asks for it, not because it is forced.
        self.environment.pop("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", None)
        self.environment.pop("AT_SPI_BUS_ADDRESS", None)
        os.environ.update(HOME=self.home, XDG_RUNTIME_DIR=runtime)
        self.processes = []

    def start(self, argv, **options):
        process = subprocess.Popen(argv, env=self.environment, **options)
        self.processes.append(process)
        return process

    def start_accessibility_bus(self):
        self.start([LAUNCHER, "--launch-immediately"])
        wait_until(lambda: name_has_owner("org.a11y.Bus"), what="the accessibility bus")

    def raise_window(self):
        # Without a window manager nobody activates the window.
        wait_until(lambda: name_has_owner(WINDOW_NAME), 30, "the window's bus name")
        call(WINDOW_NAME, "/org/tessaly/Tessaly", WINDOW_NAME, "Raise")

    def settings_folder(self):
        return os.path.join(self.home, "Library/Preferences")

    def make_settings_unwritable(self):
        """The settings folder becomes a file: the next change cannot be written."""
        shutil.rmtree(self.settings_folder())
        with open(self.settings_folder(), "w") as file:
            file.write("a file where the folder should be")

    def close(self):
        try:
            if name_has_owner(WINDOW_NAME):
                call(WINDOW_NAME, "/org/tessaly/Tessaly", WINDOW_NAME, "Quit")
        except GLib.Error:
            pass
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(self.home, ignore_errors=True)


def press(keysym):
    from gi.repository import Atspi
    Atspi.generate_keyboard_event(keysym, None, Atspi.KeySynthType.SYM)


def press_with(modifier, keysym):
    """Types `keysym` while the modifier key (a key code: ALT, CONTROL) is held down."""
    from gi.repository import Atspi
    Atspi.generate_keyboard_event(modifier, None, Atspi.KeySynthType.PRESS)
    Atspi.generate_keyboard_event(keysym, None, Atspi.KeySynthType.SYM)
    Atspi.generate_keyboard_event(modifier, None, Atspi.KeySynthType.RELEASE)
