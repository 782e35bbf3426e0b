"""A terminal of the test's own on a pseudo-terminal, whose screen follows a
change of width as tmux does, or as xterm does.

    term = RewrapTerminal(argv, columns, rows, mode="rewrap" or "keep")

Its screen is a list of rows below a history; each row holds the cells
written to it (a cell written beyond the row's end pads it with blanks,
an erase that reaches the end shortens it) and whether its text goes on
in the row below, as a row does that the terminal itself wrapped.

  rewrap  A new width joins the rows that go on into lines and wraps them
          anew, the cursor going with its cell (a cursor just after a
          line's cells at a multiple of the new width waits after the last
          piece); the cursor's row stays where it was, rows above it going
          into the history or coming back out of it. A new height drops
          blank rows below the cursor before it pushes rows into the
          history, and takes rows back from the history before it adds
          blank ones. Erasing a whole row, or to the end of the screen,
          ends the rows it clears as lines of their own.
          The program is told of a new size at once, but at most every
          250 ms: one that comes sooner is told 250 ms after the last.
  keep    A new width cuts every row (or pads it), the cursor kept in the
          row; a new height pushes rows into the history when the cursor
          would fall below the bottom, and takes them back when it grows.

It reads what the program sends to a terminal (text, CR, LF, cursor
placement, erasing cells and the rest of the screen, scrolling margins,
cursor save and restore) and answers the cursor report and the device
attributes, `answer_delay` seconds after it read the request, as a slow
link does (keys typed meanwhile go first); the keyboard-protocol query goes
unanswered.
"""
import fcntl
import os
import select
import signal
import struct
import subprocess
import termios
import time


class Row:
    def __init__(self, cells="", wraps=False):
        self.cells = list(cells)
        self.wraps = wraps


class RewrapTerminal:
    def __init__(self, argv, columns, rows, mode="rewrap", env=None):
        self.mode = mode
        self.w, self.h = columns, rows
        self.narrowest = columns  # the narrowest the screen has been
        self.history = []
        self.screen = [Row() for _ in range(rows)]
        self.x = self.y = 0
        self.saved = (0, 0)
        self.top, self.bottom = 0, rows - 1
        self.pending = b""
        self.told = 0.0       # when the program was last told of a size
        self.untold = False   # a size it has not been told of yet
        self.answer_delay = 0.0
        self.owed = []        # answers not sent yet, with when they are due
        self.master, slave = os.openpty()
        self._set_size()
        self.proc = subprocess.Popen(argv, stdin=slave, stdout=slave, stderr=subprocess.DEVNULL,
                                     env=env, preexec_fn=self._take_terminal, close_fds=True)
        os.close(slave)

    @staticmethod
    def _take_terminal():
        os.setsid()
        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    def _set_size(self):
        fcntl.ioctl(self.master, termios.TIOCSWINSZ, struct.pack("HHHH", self.h, self.w, 0, 0))

    def close(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        os.close(self.master)

    # --- what the test does --------------------------------------------------

    def keys(self, data):
        """Typed, and the program's output taken for 10 ms, as a person
        types: the echo lands before anything else happens."""
        self._answer(data)
        self.pause(0.01)

    def _answer(self, data):
        os.write(self.master, data.encode("utf-8") if isinstance(data, str) else data)

    def pause(self, seconds):
        """Takes the program's output for `seconds`."""
        end = time.monotonic() + seconds
        while True:
            self._tell_size()
            now = time.monotonic()
            while self.owed and self.owed[0][0] <= now:
                self._answer(self.owed.pop(0)[1])
            left = end - now
            if left <= 0:
                return
            if self.untold:
                left = min(left, 0.01)
            if self.owed:
                left = min(left, self.owed[0][0] - now)
            r, _, _ = select.select([self.master], [], [], left)
            if r:
                try:
                    data = os.read(self.master, 65536)
                except OSError:
                    return
                self._feed(data)

    def resize_all(self, sizes):
        for columns, rows in sizes:
            self.resize(columns, rows)

    def resize(self, columns, rows):
        self.narrowest = min(self.narrowest, columns)
        if columns != self.w:
            self._new_width(columns)
        if rows != self.h:
            self._new_height(rows)
        self.top, self.bottom = 0, self.h - 1
        self.untold = True
        self._tell_size()

    def _tell_size(self):
        now = time.monotonic()
        if self.untold and (self.mode == "keep" or now - self.told >= 0.25):
            self._set_size()
            self.told, self.untold = now, False

    def rows(self):
        return ["".join(r.cells).rstrip() for r in self.screen]

    def lines(self):
        """The screen's rows, those that go on joined to the next."""
        out, cur = [], ""
        for r in self.screen:
            cur += "".join(r.cells) if r.wraps else "".join(r.cells).rstrip()
            if not r.wraps:
                out.append(cur.rstrip())
                cur = ""
        if cur:
            out.append(cur.rstrip())
        return out

    def cursor(self):
        return self.x, self.y

    # --- the program's output ------------------------------------------------

    def _feed(self, data):
        data = self.pending + data
        self.pending = b""
        i, n = 0, len(data)
        while i < n:
            b = data[i]
            if b == 0x1B:
                end = self._escape(data, i)
                if end is None:
                    self.pending = data[i:]
                    return
                i = end
            elif b == 0x0D:
                self.x = 0
                i += 1
            elif b == 0x0A:
                self.x = min(self.x, self.w - 1)
                self._line_feed()
                i += 1
            elif b < 0x20:
                i += 1
            else:
                size = 1 if b < 0x80 else 2 if b < 0xE0 else 3 if b < 0xF0 else 4
                if i + size > n:
                    self.pending = data[i:]
                    return
                self._glyph(data[i:i + size].decode("utf-8", "replace"))
                i += size

    def _escape(self, data, i):
        if i + 1 >= len(data):
            return None
        kind = data[i + 1]
        if kind == ord("7"):
            self.saved = (min(self.x, self.w - 1), self.y)
            return i + 2
        if kind == ord("8"):
            self.x, self.y = self.saved
            return i + 2
        if kind != ord("["):
            return i + 2
        j = i + 2
        while j < len(data) and 0x20 <= data[j] <= 0x3F:
            j += 1
        if j >= len(data):
            return None
        self._csi(data[i + 2:j].decode(), chr(data[j]))
        return j + 1

    def _csi(self, params, final):
        nums = [int(p) if p.isdigit() else 0 for p in params.lstrip("?<>=").split(";")]
        first = nums[0] if nums else 0
        if final == "H":
            row = nums[0] if nums and nums[0] else 1
            col = nums[1] if len(nums) > 1 and nums[1] else 1
            self.y = min(max(row, 1), self.h) - 1
            self.x = min(max(col, 1), self.w) - 1
        elif final == "X":
            self._erase_cells(self.y, min(self.x, self.w - 1), max(first, 1))
        elif final == "J" and first == 0:
            self._erase_cells(self.y, min(self.x, self.w - 1), self.w)
            for y in range(self.y + 1, self.h):
                self.screen[y] = Row()
        elif final == "r":
            top = nums[0] if nums and nums[0] else 1
            bottom = nums[1] if len(nums) > 1 and nums[1] else self.h
            self.top, self.bottom = top - 1, min(bottom, self.h) - 1
            self.x = self.y = 0
        elif final == "n" and first == 6:
            self._reply("\x1b[%d;%dR" % (self.y + 1, self.x + 1))
        elif final == "c" and not params.startswith(">"):
            self._reply("\x1b[?62;22c")

    def _reply(self, answer):
        if self.answer_delay <= 0 and not self.owed:
            self._answer(answer)
            return
        due = time.monotonic() + self.answer_delay
        if self.owed:
            due = max(due, self.owed[-1][0])  # answers keep their order
        self.owed.append((due, answer))

    def _erase_cells(self, y, x, count):
        row = self.screen[y]
        if x + count >= len(row.cells):
            del row.cells[x:]
            if x == 0 and (self.mode == "rewrap" or count >= self.w):
                row.wraps = False
        else:
            row.cells[x:x + count] = [" "] * count

    def _glyph(self, ch):
        if self.x >= self.w:
            self.screen[self.y].wraps = True
            self.x = 0
            self._line_feed()
        row = self.screen[self.y]
        if len(row.cells) <= self.x:
            row.cells.extend([" "] * (self.x + 1 - len(row.cells)))
        row.cells[self.x] = ch
        self.x += 1

    def _line_feed(self):
        if self.y != self.bottom:
            self.y = min(self.y + 1, self.h - 1)
            return
        gone = self.screen.pop(self.top)
        if self.top == 0 and self.bottom == self.h - 1:
            self.history.append(gone)
        self.screen.insert(self.bottom, Row())

    # --- resizing ------------------------------------------------------------

    def _new_width(self, w):
        if self.mode == "keep":
            for r in self.screen:
                del r.cells[w:]
                r.wraps = False
            self.x = min(self.x, w - 1)
            self.w = w
            return
        # Lines of the history and the screen; the cursor as line and offset.
        rows = self.history + self.screen
        cursor_row = len(self.history) + self.y
        lines, at = [], None
        cur, start = [], 0
        for i, r in enumerate(rows):
            if i == cursor_row:
                at = (len(lines), len(cur) + self.x)
            cur += r.cells if r.wraps else r.cells
            if r.wraps:
                cur += [" "] * (self.w - len(r.cells))
            else:
                lines.append(cur)
                cur = []
        if cur:
            lines.append(cur)
        new_rows, cursor_at = [], None
        for k, cells in enumerate(lines):
            pieces = [cells[i:i + w] for i in range(0, len(cells), w)] or [[]]
            base = len(new_rows)
            for p, piece in enumerate(pieces):
                new_rows.append(Row(piece, p < len(pieces) - 1))
            if at and at[0] == k:
                off = at[1]
                if off == len(cells) and off > 0 and off % w == 0:
                    cursor_at = (base + off // w - 1, w)
                else:
                    cursor_at = (base + off // w, off % w)
                    while cursor_at[0] >= len(new_rows):
                        new_rows.append(Row())
        # Blank rows below the cursor are dropped; its row stays on screen.
        while len(new_rows) - 1 > cursor_at[0] and not new_rows[-1].cells and not new_rows[-1].wraps:
            new_rows.pop()
        top = max(0, cursor_at[0] - self.y)
        self.history = new_rows[:top]
        self.screen = new_rows[top:top + self.h]
        self.screen += [Row() for _ in range(self.h - len(self.screen))]
        self.w = w
        self.x, self.y = cursor_at[1], cursor_at[0] - top

    def _new_height(self, h):
        if h < self.h:
            drop = self.h - h
            if self.mode == "rewrap":
                while drop and len(self.screen) - 1 > self.y and not self.screen[-1].cells:
                    self.screen.pop()
                    drop -= 1
            else:
                del self.screen[max(self.y + 1, h):]
                drop = len(self.screen) - h
            for _ in range(max(drop, 0)):
                self.history.append(self.screen.pop(0))
                self.y -= 1
            del self.screen[h:]
        else:
            for _ in range(h - self.h):
                if self.history:
                    self.screen.insert(0, self.history.pop())
                    self.y += 1
                else:
                    self.screen.append(Row())
        self.h = h
