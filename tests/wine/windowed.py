#!/usr/bin/env python3
"""The Windows build in Wine's windowed console, its screen buffer read back
cell by cell and compared with a model of how the program places text.

    windowed.py LOADER PROBE PROGRAM [--only CASE,...]

LOADER is the Wine loader that runs PROBE (console_probe.exe), which starts
PROGRAM (a path on drive Z:, the root) in a console window of its own under
the X server of DISPLAY, as wineconsole does, types at it and reads its
buffer. Each case sets the buffer and window size a new console gets,
starts the program and, after each step, waits until every cell of the
buffer (character and attribute), the window and the cursor are what the
model says. Some cases resize the window (as the user does, by its
frame) or scroll it with the wheel.

The model (Writer) follows the program's screen rules written out on their
own: a print region fixed at the window's height, and fixed afresh at the
next write after the window changed size (a wrap pending from before still
takes the cursor to the next row); text collected and written a row piece
at a time; a line feed below the region's bottom moves the region (and the
window with it) down the buffer while rows are free below, and scrolls the
whole buffer once there are none; a run that fills the bottom row's last
cell leaves the cursor parked there until the next write; the line editor
takes the window's size before each key. The console itself (Console)
moves its window to show a cursor placed outside it, as Windows does.
"""
import os
import subprocess
import sys
import time

TIMEOUT = 15.0  # seconds a step may take to show


class Console:
    """Wine's console as the program meets it: cells, window and cursor."""

    def __init__(self, bw, bh, win, blank_attr, attr):
        self.w, self.h = bw, bh
        self.chars = [bytearray(b" " * bw) for _ in range(bh)]
        self.attrs = [bytearray([blank_attr] * bw) for _ in range(bh)]
        self.win = list(win)  # left, top, right, bottom
        self.attr = attr
        self.x = self.y = 0

    def set_cursor(self, x, y):
        self.x, self.y = x, y
        l, t, r, b = self.win
        dx = min(0, x - l) or max(0, x - r)
        dy = min(0, y - t) or max(0, y - b)
        self.win = [l + dx, t + dy, r + dx, b + dy]

    def write(self, x, y, text):
        self.chars[y][x:x + len(text)] = text
        self.attrs[y][x:x + len(text)] = bytes([self.attr]) * len(text)

    def clear(self, y0, y1):
        for y in range(y0, y1 + 1):
            self.write(0, y, b" " * self.w)

    def scroll_up(self, x0, y0, x1, y1, dest_y):
        """Moves the rectangle up to dest_y; uncovered cells become blank."""
        rows = [(self.chars[y][x0:x1 + 1], self.attrs[y][x0:x1 + 1]) for y in range(y0, y1 + 1)]
        for y in range(y0, y1 + 1):
            self.write(x0, y, b" " * (x1 - x0 + 1))
        for i, (c, a) in enumerate(rows):
            self.chars[dest_y + i][x0:x1 + 1] = c
            self.attrs[dest_y + i][x0:x1 + 1] = a


class Writer:
    """The program's screen rules, over a Console."""

    def __init__(self, con):
        self.con = con
        self.view = None   # left, top, right, bottom
        self.region = None  # rows, from the view's top
        self.region_size = None
        self.pending = False
        self.column = 0    # the print statement's column
        self.line_width = con.w

    def read_view(self):
        c = self.con
        self.view = (0, c.win[1], c.w - 1, c.win[3])

    def window_size(self):
        l, t, r, b = self.con.win
        return r - l + 1, b - t + 1

    def get_view(self):
        if self.view is None:
            self.read_view()
        elif self.region_size not in (None, self.window_size()):
            self.read_view()
            self.region = None
        return self.view

    def get_region(self):
        if self.region is None:
            v = self.get_view()
            self.region = v[3] - v[1] + 1
            self.region_size = self.window_size()
        return self.region

    def screen_size(self):
        v = self.get_view()
        return v[2] - v[0] + 1, v[3] - v[1] + 1

    def scroll(self, m):
        c = self.con
        if not self.partial:
            if self.bottom + 1 < c.h:
                k = min(m, c.h - 1 - self.bottom)
                self.top += k
                self.bottom += k
                m -= k
            if 0 < m < c.h:
                c.scroll_up(0, m, c.w - 1, c.h - 1, 0)
            elif m:
                c.clear(self.top, self.bottom)
        else:
            if m < self.bottom - self.top + 1:
                c.scroll_up(0, self.top + m, c.w - 1, self.bottom, self.top)
            else:
                c.clear(self.top, self.bottom)
        self.y = self.bottom

    def flush(self, run):
        while run:
            piece = run[:self.right - self.x + 1]
            run = run[len(piece):]
            if self.y > self.bottom:
                self.scroll(self.y - self.bottom)
            self.con.write(self.x, self.y, piece)
            self.x += len(piece)
            if self.x == self.right + 1:
                self.x, self.y = 0, self.y + 1

    def write(self, data, force=False):
        if not data and not force:
            return
        c = self.con
        v = self.get_view()
        last = self.get_region()
        self.right = v[2]
        self.top, self.bottom = v[1], v[1] + last - 1
        self.partial = (self.top, self.bottom) != (v[1], v[3])
        first_top = self.top
        self.x, self.y = min(c.x, self.right), c.y
        if self.pending:
            self.pending = False
            self.x, self.y = 0, self.y + 1
            if self.y > self.bottom:
                self.scroll(self.y - self.bottom)
        run = bytearray()
        moved = False
        for ch in data:
            if ch in (10, 13):
                self.flush(run)
                run = bytearray()
                self.x = 0
                self.y += ch == 10
                moved = True
            else:
                run.append(ch)
                moved = False
        if run:
            self.flush(run)
        elif moved and self.y > self.bottom:
            self.scroll(self.y - self.bottom)
        if (self.x, self.y) == (0, self.bottom + 1):
            self.x, self.y = self.right, self.bottom
            self.pending = True
        elif self.y > self.bottom:
            self.scroll(self.y - self.bottom)
        c.set_cursor(self.x, self.y)
        if self.top != first_top and not self.partial:
            c.win = [0, self.top, self.right, self.bottom]
        self.read_view()

    # The print statement: the column, zones of 14.
    def print(self, text, end="line"):
        self.write(text)
        self.track(text)
        if end == "line":
            self.write(b"\r\n")
            self.column = 0
        elif end == "zone":
            z = 14 * (self.column // 14 + 1)
            pad = b"\r\n" if z >= self.line_width - 14 else b" " * (z - self.column)
            self.write(pad)
            self.track(pad)

    def track(self, data):
        cut = max(data.rfind(b"\r"), data.rfind(b"\n"))
        self.column = (len(data) - cut - 1 if cut >= 0 else self.column + len(data)) % self.line_width

    # The cursor operations, 1-based and relative to the view.
    def get_cursor(self):
        v = self.get_view()
        return self.con.x - v[0] + 1, self.con.y - v[1] + 1

    def set_cursor(self, column=0, row=0):
        """A place outside the region or the width keeps the cursor's."""
        v = self.get_view()
        if not (1 <= row <= self.get_region() and 1 <= column <= self.screen_size()[0]):
            column, row = self.get_cursor()
        self.pending = False
        self.con.set_cursor(column - 1 + v[0], row - 1 + v[1])

    def move_cursor_by(self, column, row, delta):
        i = (row - 1) * self.width + column - 1 + delta
        column, row = i % self.width + 1, i // self.width + 1
        if (column, row) == (1, self.height + 1):
            self.set_cursor(self.width, self.height)
            self.write(b"\r\n")
        else:
            self.set_cursor(column, row)

    # The line editor: typing at the end of the line, and Enter.
    def edit_line(self):
        self.width, self.height = self.screen_size()
        self.set_cursor()

    def next_key(self):
        self.width, self.height = self.screen_size()
        return self.get_cursor()

    def type(self, text):
        for ch in text.encode("latin-1"):
            column, row = self.next_key()
            self.set_cursor()
            self.write(bytes([ch]))
            self.move_cursor_by(column, row, 1)
            self.set_cursor()

    def enter(self):
        self.next_key()
        self.set_cursor()
        column, row = self.get_cursor()
        self.move_cursor_by(column, row, 0)
        self.set_cursor()
        self.write(b"\r\n")
        self.column = 0

    def prompt(self, text):
        self.write(b"", force=True)
        self.print(text.encode("latin-1"), end=None)
        self.edit_line()


MENU = [" + (Plus)", " - (Minus)", " x (Mal)", " / (Geteilt)", " h (Hoch)", " kd (Kreis-Dm)", " kr (Kreis-r)",
        " ku (Kreis-U)", " kf (Kreis-F)", " qu (Quadrat-U)", " qf (Quadrat-F)", " ru (Rechteck-U)",
        " rf (Rechteck-F)"]


def start_texts(wr):
    wr.print(b"### Zahlwerk-ZW ### V.1.1 ###")
    wr.print(b"###Kommandozeilenparameter###")
    wr.print(b"")
    for i, item in enumerate(MENU):
        wr.print(item.encode(), end="line" if i == len(MENU) - 1 else "zone")
    wr.print(b"")
    wr.prompt("Operation: ")


class Probe:
    def __init__(self, loader, exe):
        self.p = subprocess.Popen([loader, exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE)

    def cmd(self, line):
        self.p.stdin.write((line + "\n").encode("latin-1"))
        self.p.stdin.flush()
        out = []
        while True:
            got = self.p.stdout.readline()
            if not got:
                raise RuntimeError("the probe ended at: " + line)
            got = got.decode("latin-1").rstrip("\n")
            if got == "end":
                break
            out.append(got)
        if out and out[-1].startswith("error"):
            raise RuntimeError(line + ": " + out[-1])
        return out

    def screen(self):
        out = self.cmd("screen")
        info = list(map(int, out[0].split()[1:]))
        w = info[0]
        return {"window": info[2:6], "cursor": info[6:8], "visible": info[8], "attr": info[9],
                "chars": [r[:w].encode("latin-1") for r in out[1:]],
                "attrs": [bytes(int(a, 16) if a != "*" else 16 for a in r[w + 1:]) for r in out[1:]]}

    def close(self):
        self.p.stdin.close()
        self.p.wait(timeout=30)


class Session:
    """One program in one console, and its model."""

    def __init__(self, args, name, buffer, window):
        self.name = name
        self.probe = Probe(args.loader, args.probe)
        self.probe.cmd("sizes %d %d %d %d" % (buffer + window))
        self.probe.cmd("start Z:" + os.path.abspath(args.program).replace("/", "\\"))
        self.failures = 0
        s = self.wait_screen(lambda s: s["chars"][0].startswith(b"###"))
        bw, bh = buffer
        # The console's own: the blank cells' colour, the text colour.
        self.con = Console(bw, bh, s["window"], s["attrs"][bh - 1][0], s["attr"])
        self.model = Writer(self.con)
        start_texts(self.model)

    def wait_screen(self, done):
        end = time.monotonic() + TIMEOUT
        while True:
            s = self.probe.screen()
            if done(s) or time.monotonic() > end:
                return s
            time.sleep(0.1)

    def expect(self, what=None):
        """Waits for the console to show what the model shows; without `what`,
        only waits (no more than 511 keys may wait for the program)."""
        c = self.con
        want = {"window": c.win, "cursor": [c.x, c.y], "visible": 1, "chars": c.chars, "attrs": c.attrs}
        got = self.wait_screen(lambda s: all(s[k] == want[k] for k in want))
        if all(got[k] == want[k] for k in want) or what is None:
            if what:
                print("ok   %s: %s" % (self.name, what))
            return True
        self.failures += 1
        print("FAIL %s: %s" % (self.name, what))
        for k in ("window", "cursor", "visible"):
            if got[k] != want[k]:
                print("     %s %s, expected %s" % (k, got[k], want[k]))
        shown = 0
        for y in range(c.h):
            if (got["chars"][y], got["attrs"][y]) != (c.chars[y], c.attrs[y]) and shown < 6:
                shown += 1
                print("     row %d: %r" % (y, got["chars"][y].rstrip().decode("latin-1")))
                print("     %s  want %r" % (" " * len(str(y)), bytes(c.chars[y]).rstrip().decode("latin-1")))
                if got["chars"][y] == c.chars[y]:
                    print("     %s  attributes %s, expected %s" % (" " * len(str(y)), got["attrs"][y].hex(),
                                                                 bytes(c.attrs[y]).hex()))
        return False

    def keys(self, text="", names=""):
        if text:
            self.probe.cmd("type " + text)
        if names:
            self.probe.cmd("key " + names)

    def typed(self, text):
        self.keys(text)
        self.model.type(text)

    def enter(self, prompt):
        """Enter, and the prompt that follows."""
        self.keys(names="Enter")
        self.model.enter()
        if prompt:
            self.model.prompt(prompt)

    def line(self, text):
        """A line typed and ended with Enter."""
        self.typed(text)
        self.enter(None)

    def rest_of_cycle(self):
        """Enter after an operation that is no code, and two numbers."""
        self.enter("Nummmer 1: ")
        self.line("1")
        self.model.prompt("Nummmer 2: ")
        self.line("2")
        self.end_cycle()

    def cycle(self, op, a, b, result):
        """One cycle at its three prompts; its result line. Keys may be typed
        before the cycle before has ended."""
        m = self.model
        for text, prompt in ((op, "Nummmer 1: "), (a, "Nummmer 2: "), (b, None)):
            self.line(text)
            if prompt:
                m.prompt(prompt)
        if result:
            label, number = result
            m.print(label.encode(), end=None)
            m.print(number.encode())
        self.end_cycle()

    def end_cycle(self):
        """The end-of-cycle poll takes a key if one is waiting: one the editor
        ignores, should it come too late for the poll."""
        self.keys(names="Insert")
        self.model.prompt("Operation: ")

    def resize(self, rows):
        """The window's X window made `rows` rows high, as the user does."""
        self.expect()
        xid = self.x_window()
        _, t, _, b = self.probe.screen()["window"]
        geo = dict(v.split("=") for v in run(["xdotool", "getwindowgeometry", "--shell", xid]).split())
        cell = int(geo["HEIGHT"]) // (b - t + 1)
        run(["xdotool", "windowsize", xid, geo["WIDTH"], str(cell * rows)])
        s = self.wait_screen(lambda s: s["window"][3] - s["window"][1] + 1 == rows)
        self.con.win = s["window"]  # where the console put it is the console's business

    def wheel(self, clicks):
        """The wheel turned up (negative) or down over the window."""
        self.expect()
        xid = self.x_window()
        before = self.probe.screen()["window"]
        button = "4" if clicks < 0 else "5"
        run(["xdotool", "mousemove", "--window", xid, "50", "50"] + ["click", button] * abs(clicks))
        s = self.wait_screen(lambda s: s["window"] != before)
        self.con.win = s["window"]

    def x_window(self):
        return run(["xdotool", "search", "--onlyvisible", "--name", "zahlwerk"]).split()[-1]

    def finish(self):
        """Ends the program with Escape typed ahead; status 0."""
        self.keys("-", "Enter")
        self.keys("1", "Enter")
        self.keys("1", "Enter Escape")
        got = self.probe.cmd("exit 10000")
        if got != ["exit 0"]:
            self.failures += 1
            print("FAIL %s: the program did not end with status 0 after Escape: %s" % (self.name, got))
        self.probe.close()
        return self.failures


def run(argv):
    return subprocess.run(argv, check=True, capture_output=True, text=True).stdout


# ---------------------------------------------------------------------------
# The cases.

def tall_buffer(args):
    """Buffer 80x300 under a window of 80x25."""
    s = Session(args, "80x300 buffer, 80x25 window", (80, 300), (80, 25))
    s.expect("start")
    s.typed("a" * 100)
    s.rest_of_cycle()
    s.expect("a line of 100 characters wraps at the 80th")
    for i in range(5):
        s.cycle("+", "2", str(i), ("Summe: ", " %d" % (2 + i)))
    s.expect("the window follows the output to its bottom row")
    for i in range(3):
        s.cycle("x", "3", str(i), ("Produkt: ", " %d" % (3 * i)))
        s.expect("the window follows the output past its bottom row (%d)" % (i + 1))
    # 11 columns of prompt and 69 characters: the last fills the bottom
    # row's last cell, and the view scrolls by one row.
    s.typed("b" * 69)
    s.expect("a character typed into the bottom-right cell")
    s.typed("b")
    s.rest_of_cycle()
    s.expect("the line goes on on the next row")
    s.wheel(-3)
    s.typed("8")
    s.expect("a key typed after the wheel scrolled the window up")
    s.rest_of_cycle()
    for i in range(70):
        s.cycle("-", str(i), "1", ("Differenz: ", " %d" % (i - 1) if i >= 1 else "-1"))
        if i % 20 == 19:
            s.expect()
    s.expect("the buffer's last row, its top rows lost")
    return s.finish()


def wide_buffer(args):
    """Buffer 120x300 under a window of 80 columns."""
    s = Session(args, "120x300 buffer, 80x25 window", (120, 300), (80, 25))
    s.expect("start: the menu in zones to 120 columns")
    s.typed("c" * 100)
    s.expect("a line of 111 characters stays on its row (the view is the buffer's width)")
    s.rest_of_cycle()
    for i in range(5):
        s.cycle("/", str(2 * i), "2", ("Quotient: ", " %d" % i))
    s.expect("the program moves the window down, the buffer's width wide")
    return s.finish()


def shorter_window(args):
    """Buffer 80x100: the window made shorter near the buffer's end."""
    s = Session(args, "80x100 buffer, window made 20 rows", (80, 100), (80, 25))
    for i in range(16):
        s.cycle("+", "1", str(i), ("Summe: ", " %d" % (1 + i)))
    s.expect("16 cycles, the window near the buffer's end")
    s.resize(20)
    for i in range(8):
        s.cycle("+", "2", str(i), ("Summe: ", " %d" % (2 + i)))
    s.expect("the shorter window goes on down to the buffer's last row")
    if s.con.y != 99:
        s.failures += 1
        print("FAIL %s: the cursor is on row %d, not the buffer's last" % (s.name, s.con.y))
    return s.finish()


def made_taller(args, name, buffer):
    """Six cycles, the window made 35 rows high, four more cycles."""
    s = Session(args, name, buffer, (80, 25))
    for i in range(6):
        s.cycle("+", "1", str(i), ("Summe: ", " %d" % (1 + i)))
    s.resize(35)
    for i in range(4):
        s.cycle("+", "3", str(i), ("Summe: ", " %d" % (3 + i)))
    s.expect("made taller between cycles: output fills the window, no line lost")
    return s


def resized_window(args):
    """A window the user makes taller and shorter, and scrolls."""
    s = made_taller(args, "80x300 buffer, window resized", (80, 300))
    s.typed("d" * 100)
    s.expect("a line of 100 characters typed at the bottom of the taller window")
    s.rest_of_cycle()
    s.resize(20)
    s.cycle("+", "4", "0", ("Summe: ", " 4"))
    s.expect("made shorter between cycles: the cursor stays in the window")
    s.typed("e" * 50)
    s.resize(30)
    s.typed("e" * 50)
    s.expect("made taller while a line is typed: the line shows whole")
    s.enter("Nummmer 1: ")
    s.typed("f" * 50)
    s.resize(22)
    s.typed("f" * 50)
    s.expect("made shorter while a line is typed: the line shows whole")
    s.enter("Nummmer 2: ")
    s.wheel(-3)
    s.typed("7")
    s.expect("a key typed after the wheel scrolled the window up")
    s.enter(None)
    s.end_cycle()
    return s.finish()


def wide_resized(args):
    """Buffer 120x300 under an 80-column window made taller."""
    return made_taller(args, "120x300 buffer, window resized", (120, 300)).finish()


def main():
    import argparse
    p = argparse.ArgumentParser()
    p.add_argument("loader")
    p.add_argument("probe")
    p.add_argument("program")
    p.add_argument("--only")
    args = p.parse_args()
    cases = [tall_buffer, wide_buffer, shorter_window, resized_window, wide_resized]
    if args.only:
        cases = [c for c in cases if c.__name__ in args.only.split(",")]
    failures = 0
    for case in cases:
        try:
            failures += case(args)
        except (RuntimeError, subprocess.SubprocessError, OSError) as e:
            failures += 1
            print("FAIL %s: %s" % (case.__doc__.splitlines()[0], e))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
