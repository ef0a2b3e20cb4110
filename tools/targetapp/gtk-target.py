#!/usr/bin/python3
"""GTK 3 twin of kivo-target-app: the same inputs and the same JSON line protocol, so the
insertion tests also meet a toolkit that counts text offsets in code points."""
import json
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def utf16_to_points(text, offset):
    """Offsets in the protocol are UTF-16 units, as in the Qt target."""
    units = 0
    for index, char in enumerate(text):
        if units >= offset:
            return index
        units += 2 if ord(char) > 0xFFFF else 1
    return len(text)


def points_to_utf16(text, points):
    return sum(2 if ord(c) > 0xFFFF else 1 for c in text[:points])


class Target:
    def __init__(self):
        self.window = Gtk.Window(title="Kivo GTK target")
        grid = Gtk.Grid(row_spacing=4, column_spacing=4)
        self.window.add(grid)
        self.fields = {}
        self.fields["line"] = Gtk.Entry()
        view = Gtk.TextView()
        self.fields["multi"] = view
        self.fields["password"] = Gtk.Entry(visibility=False)
        self.fields["disabled"] = Gtk.Entry(text="off", sensitive=False)
        combo = Gtk.ComboBoxText.new_with_entry()
        for item in ("one", "two"):
            combo.append_text(item)
        self.combo = combo
        self.fields["combo"] = combo.get_child()
        for row, (name, widget) in enumerate(self.fields.items()):
            widget.get_accessible().set_name(name)
            grid.attach(Gtk.Label(label=name), 0, row, 1, 1)
            grid.attach(combo if name == "combo" else widget, 1, row, 1, 1)
        self.window.connect("destroy", Gtk.main_quit)
        self.window.show_all()

    def handle(self, command):
        cmd = command.get("cmd")
        widget = self.fields.get(command.get("field"))
        if cmd == "focus" and widget is not None:
            self.window.present()
            widget.grab_focus()
            self.poll_focus(widget, 0)
            return None
        if cmd == "set" and widget is not None:
            text = command["text"]
            start = utf16_to_points(text, command["start"])
            end = utf16_to_points(text, command["end"])
            if isinstance(widget, Gtk.TextView):
                buffer = widget.get_buffer()
                buffer.set_text(text)
                buffer.select_range(buffer.get_iter_at_offset(start), buffer.get_iter_at_offset(end))
            else:
                widget.set_text(text)
                widget.select_region(start, end)
                if start == end:
                    widget.set_position(start)
            return {"ok": True}
        if cmd == "get" and widget is not None:
            if isinstance(widget, Gtk.TextView):
                buffer = widget.get_buffer()
                text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
                bounds = buffer.get_selection_bounds()
                if bounds:
                    start, end = bounds[0].get_offset(), bounds[1].get_offset()
                else:
                    start = end = buffer.get_iter_at_mark(buffer.get_insert()).get_offset()
            else:
                text = widget.get_text()
                bounds = widget.get_selection_bounds()
                start, end = bounds if bounds else (widget.get_position(), widget.get_position())
            return {"ok": True, "text": text, "start": points_to_utf16(text, start),
                    "end": points_to_utf16(text, end)}
        if cmd == "quit":
            reply({"ok": True})
            Gtk.main_quit()
            return None
        return {"ok": False, "error": "unknown command or field"}

    def poll_focus(self, widget, tries):
        ready = self.window.is_active() and widget.has_focus()
        if ready or tries > 200:
            reply({"ok": True} if ready else {"ok": False, "error": "focus not taken"})
            return
        if tries % 20 == 19:
            self.window.present()
            widget.grab_focus()
        GLib.timeout_add(10, self.poll_focus, widget, tries + 1)


def reply(obj):
    sys.stdout.write(json.dumps(obj, ensure_ascii=False) + "\n")
    sys.stdout.flush()


def main():
    target = Target()
    pending = b""

    def on_input(source, condition):
        nonlocal pending
        data = sys.stdin.buffer.raw.read(65536)
        if not data:
            Gtk.main_quit()
            return False
        pending += data
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            answer = target.handle(json.loads(line))
            if answer is not None:
                reply(answer)
        return True

    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, on_input)
    GLib.idle_add(lambda: reply({"ready": True}) and False)
    Gtk.main()


if __name__ == "__main__":
    main()
