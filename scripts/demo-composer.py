#!/usr/bin/python3
"""Waits until a browser shows a page and gives keyboard focus to its composer.

    demo-composer.py PID URL SECONDS

Looks through the browser's accessibility tree (AT-SPI) for the document
showing URL and the first multi-line text field in it, and focuses that field,
so what is typed next goes into the chat's composer. Exits 0 once focused,
1 when the page or its composer did not appear in time.
"""
import sys
import time
import warnings

import gi

# The older accessor names work on every AT-SPI release this runs on.
warnings.filterwarnings("ignore", category=DeprecationWarning)

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

MAX_DEPTH = 60


def document_url(node):
    try:
        doc = node.get_document_iface()
        if doc is None:
            return None
        for key in ("DocURL", "URI"):
            value = doc.get_document_attribute_value(key)
            if value:
                return value
    except Exception:
        return None
    return None


def find(node, want, depth=0):
    """The first node for which want(node) holds, depth-first."""
    if node is None or depth > MAX_DEPTH:
        return None
    try:
        if want(node):
            return node
        count = node.get_child_count()
    except Exception:
        return None
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except Exception:
            continue
        hit = find(child, want, depth + 1)
        if hit is not None:
            return hit
    return None


def browser(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def is_composer(node):
    role = node.get_role()
    if role not in (Atspi.Role.ENTRY, Atspi.Role.TEXT):
        return False
    return node.get_state_set().contains(Atspi.StateType.MULTI_LINE)


def focus_composer(pid, url):
    app = browser(pid)
    if app is None:
        return False
    page = find(app, lambda n: n.get_role() == Atspi.Role.DOCUMENT_WEB and document_url(n) == url)
    if page is None:
        return False
    composer = find(page, is_composer)
    if composer is None:
        return False
    component = composer.get_component_iface()
    if component is None or not component.grab_focus():
        return False
    time.sleep(0.2)
    return composer.get_state_set().contains(Atspi.StateType.FOCUSED)


def main():
    pid, url, seconds = int(sys.argv[1]), sys.argv[2], float(sys.argv[3])
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if focus_composer(pid, url):
            return 0
        time.sleep(0.25)
    return 1


if __name__ == "__main__":
    sys.exit(main())
