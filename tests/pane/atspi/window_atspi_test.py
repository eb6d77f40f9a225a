#!/usr/bin/python3
"""The settings window as a screen reader reads it.

The real program runs on an X server (Xvfb) with a private session bus and a home folder of its
own. The accessibility bus is started as a desktop session starts it, switched on as a screen
reader switches it on, and the window is read and driven through AT-SPI with the library screen
readers use (libatspi). Values are read the way Orca 43 reads them.

usage: window_atspi_test.py <the Tessaly program>
Exits 77 (skipped) when AT-SPI or its Python binding is not installed.
"""

import os
import plistlib
import sys
import unittest

try:
    from desktop_session import (KEY_DOWN, KEY_END, KEY_HOME, KEY_RIGHT, SKIP, Session, call,
                                 missing_requirements, press, wait_until)
    from gi.repository import GLib
except (ImportError, ValueError) as missing:
    print(f"skipped: {missing}")
    sys.exit(77)

PROGRAM = None
session = None
events = []


def settings():
    path = os.path.join(session.settings_folder(), "Tessaly.plist")
    with open(path, "rb") as file:
        return plistlib.load(file)


def setUpModule():
    global session, Atspi
    session = Session()
    session.start_accessibility_bus()
    # What Orca does when it starts: say that a screen reader is running.
    call("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
         GLib.Variant("(ssv)", ("org.a11y.Status", "ScreenReaderEnabled",
                                GLib.Variant("b", True))))

    # Only now: libatspi looks for the accessibility bus when first used.
    from gi.repository import Atspi as atspi
    Atspi = atspi
    listener = Atspi.EventListener.new(heard)
    for kind in ("object:", "focus:"):
        listener.register(kind)
    globals()["listener"] = listener

    session.start([PROGRAM])
    wait_until(lambda: application() is not None, 30, "the window on the accessibility bus")
    session.raise_window()
    wait_until(lambda: "active" in states(application().get_child_at_index(0)), 20,
               "the window to become active")


def tearDownModule():
    if session:
        session.close()


def heard(event):
    try:
        data = event.any_data
        if hasattr(data, "get_role_name"):
            data = data.get_name()
        events.append((event.type, event.source.get_role_name(), event.source.get_name(),
                       event.detail1, data))
    except GLib.Error:
        pass


def application():
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        candidate = desktop.get_child_at_index(index)
        if candidate is not None and candidate.get_name() == "Tessaly":
            return candidate
    return None


def walk(accessible):
    yield accessible
    for index in range(accessible.get_child_count()):
        child = accessible.get_child_at_index(index)
        if child is not None:
            yield from walk(child)


def find(role, name):
    found = [a for a in walk(application()) if a.get_role_name() == role and a.get_name() == name]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} {role} named {name!r}")
    return found[0]


def tab_list():
    """The tabs, named after the one shown."""
    found = [a for a in walk(application()) if a.get_role_name() == "page tab list"]
    if len(found) != 1:
        raise AssertionError(f"{len(found)} tab lists")
    return found[0]


def states(accessible):
    return {state.value_nick for state in accessible.get_state_set().get_states()}


def text_of(accessible):
    text = accessible.get_text_iface()
    return text.get_text(0, text.get_character_count()) if text else None


def value_of(accessible):
    value = accessible.get_value_iface()
    return value.get_current_value() if value else None


def selected_children(accessible):
    selection = accessible.get_selection_iface()
    if selection is None:
        return []
    return [selection.get_selected_child(i) for i in range(selection.get_n_selected_children())]


def combo_value(combo):
    """A popup's value as Orca 43 reads it: the selected item of the popup or of its list, else
    the popup's text. A name is never taken as a popup's value."""
    children = selected_children(combo) or (
        selected_children(combo.get_child_at_index(0)) if combo.get_child_count() else [])
    if len(children) == 1:
        return children[0].get_name() or text_of(children[0])
    return text_of(combo)


def labels_of(accessible):
    names = []
    for relation in accessible.get_relation_set():
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            names += [relation.get_target(i).get_name() for i in range(relation.get_n_targets())]
    return names


def focus(accessible):
    accessible.get_component_iface().grab_focus()
    wait_until(lambda: "focused" in states(accessible), what=f"focus on {accessible.get_name()}")


def heard_since(start, kind, name=None, role=None, detail1=None):
    return [e for e in events[start:] if e[0] == kind and (name is None or e[2] == name)
            and (role is None or e[1] == role) and (detail1 is None or e[3] == detail1)]


# Both tabs the tests use show their controls in the tree whichever tab is shown: the tree holds
# every tab's controls, hidden ones without the "showing" state.
POPUPS = [
    ("Columns", "4", "Num_Of_Col_Key"),
    ("Picture spacing (pixels)", "10", "Picture_SPace_Key"),
    ("Picture title font size (steps from normal)", "-1", "PictureTitleFontSize_Key"),
    ("Picture comment font size (steps from normal)", "-2", "PictureCommentFontSize_Key"),
    ("Menu width (pixels)", "120", "MenuWidth_Key"),
    ("Menu font size (steps from normal)", "-2", "MenuFontSize_Key"),
    ("Album title heading size (1 largest)", "2", "AlbumTitleFontSize_Key"),
    ("Album comment heading size (1 largest)", "3", "AlbumCommentFontSize_Key"),
]


class Window(unittest.TestCase):
    """The tests run in the order of their names: each goes on from the window the last left."""

    def test_1_every_control_says_its_role_name_and_value(self):
        # (role, name, text or value); None: not checked
        controls = [
            ("text", "Site folder", "iPhotoPictureSite"),
            ("text", "Top page", "Tessaly.html"),
            ("text", "Published at", ""),
            ("push button", "Open in Browser", None),
            ("slider", "Check interval", 1.0),
            ("push button", "About", None),
            ("push button", "Start Publishing", None),
            ("label", "Not publishing", None),
            ("spin button", "Picture size", 150.0),
            ("push button", "Picture background colour", None),
            ("push button", "Picture title colour", None),
            ("push button", "Picture comment colour", None),
            ("push button", "Menu text colour", None),
            ("push button", "Menu background colour", None),
            ("push button", "Album title colour", None),
            ("push button", "Album comment colour", None),
            ("check box", "Publish events", None),
            ("list", "Saved looks", None),
            ("push button", "Save Look…", None),
            ("push button", "Use Selected Look", None),
            ("push button", "Delete Selected Look", None),
        ]
        for role, name, expected in controls:
            with self.subTest(name):
                control = find(role, name)
                if isinstance(expected, float):
                    self.assertEqual(value_of(control), expected)
                elif expected is not None:
                    self.assertEqual(text_of(control), expected)
                if role in ("text", "slider", "spin button", "list"):
                    self.assertIn(name, labels_of(control))
        for name, value, _ in POPUPS:
            with self.subTest(name):
                self.assertEqual(combo_value(find("combo box", name)), value)
                self.assertIn(name, labels_of(find("combo box", name)))
        # The fields that only show a value say so. (Qt 6.4 calls them editable as well.)
        for name in ("Site folder", "Top page", "Published at"):
            with self.subTest(name):
                self.assertIn("read-only", states(find("text", name)))
        tabs = [a.get_name() for a in walk(tab_list()) if a.get_role_name() == "page tab"]
        self.assertEqual(tabs, ["Pictures", "Menu", "Albums", "Saved Looks"])

    def test_2_popup_values_are_read_again_after_a_change(self):
        for name, value, key in POPUPS[:2] + POPUPS[4:5] + POPUPS[6:7]:
            with self.subTest(name):
                combo = find("combo box", name)
                # Its tab first, as a person would choose it.
                tab = {"Menu width (pixels)": "Menu",
                       "Album title heading size (1 largest)": "Albums"}.get(name, "Pictures")
                find("page tab", tab).get_action_iface().do_action(0)
                wait_until(lambda: "showing" in states(combo), what=f"{name} on screen")
                focus(combo)
                items = [combo.get_child_at_index(0).get_child_at_index(i).get_name()
                         for i in range(combo.get_child_at_index(0).get_child_count())]
                expected = items[items.index(value) + 1]
                start = len(events)
                press(KEY_DOWN)
                wait_until(lambda: combo_value(combo) == expected, what=f"{name} to read {expected}")
                self.assertEqual(settings()[key], int(expected))
                # The item now holding the value is the selected one, and the screen reader was
                # told: the item has the focus while the popup has it.
                selected = [combo.get_child_at_index(0).get_child_at_index(i).get_name()
                            for i in range(len(items))
                            if "selected" in states(combo.get_child_at_index(0)
                                                    .get_child_at_index(i))]
                self.assertEqual(selected, [expected])
                wait_until(lambda: heard_since(start, "object:state-changed:focused", expected,
                                               "list item", 1),
                           what=f"the focus event for {expected}")

    def test_3_the_interval_is_read_in_minutes(self):
        slider = find("slider", "Check interval")
        focus(slider)
        start = len(events)
        press(KEY_RIGHT)
        wait_until(lambda: value_of(slider) == 2.0, what="the slider to read 2 minutes")
        self.assertEqual(slider.get_description(), "2 minutes")
        self.assertIn("2 minutes", labels_of(slider))
        self.assertEqual(slider.get_value_iface().get_maximum_value(), 60.0)
        wait_until(lambda: heard_since(start, "object:property-change:accessible-value",
                                       "Check interval"), what="the value event")
        self.assertEqual(settings()["Check_Interval_Key"], 2.0)

    def test_4_the_list_says_its_items_and_the_selected_one(self):
        find("page tab", "Saved Looks").get_action_iface().do_action(0)
        looks = find("list", "Saved looks")
        wait_until(lambda: "showing" in states(looks), what="the saved looks on screen")
        names = [looks.get_child_at_index(i).get_name() for i in range(looks.get_child_count())]
        self.assertEqual(names, ["Dark Gallery.plist", "Light Paper.plist", "Ocean.plist",
                                 "Print.plist"])
        self.assertTrue(all(looks.get_child_at_index(i).get_role_name() == "list item"
                            for i in range(len(names))))
        focus(looks)
        for key, line in ((KEY_DOWN, 0), (KEY_END, 3), (KEY_HOME, 0)):
            with self.subTest(line=names[line]):
                start = len(events)
                press(key)
                item = looks.get_child_at_index(line)
                wait_until(lambda: {"selected", "focused"} <= states(item),
                           what=f"{names[line]} selected and focused")
                others = [names[i] for i in range(len(names)) if i != line
                          and "selected" in states(looks.get_child_at_index(i))]
                self.assertEqual(others, [])
                wait_until(lambda: heard_since(start, "object:state-changed:selected",
                                               names[line], "list item", 1)
                           and heard_since(start, "object:state-changed:focused", names[line],
                                           "list item", 1),
                           what=f"the selection and focus events for {names[line]}")
        self.assertIn("enabled", states(find("push button", "Use Selected Look")))
        self.assertNotIn("enabled", states(find("push button", "Save Look…")))

    def test_5_a_change_that_is_not_saved_is_announced(self):
        session.make_settings_unwritable()
        find("page tab", "Pictures").get_action_iface().do_action(0)
        combo = find("combo box", "Columns")
        wait_until(lambda: "showing" in states(combo), what="Columns on screen")
        focus(combo)
        start = len(events)
        press(KEY_DOWN)
        shown = wait_until(lambda: heard_since(start, "object:state-changed:showing",
                                               role="notification", detail1=1),
                           what="the problem to be shown to the screen reader")
        self.assertIn("This change was not saved", shown[0][2])
        self.assertIn("could not be written", shown[0][2])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__)
        sys.exit(2)
    PROGRAM = sys.argv.pop(1)
    if missing_requirements():
        print(f"skipped: {missing_requirements()}")
        sys.exit(SKIP)
    unittest.main(verbosity=2)
