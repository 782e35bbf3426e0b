#!/usr/bin/env python3
"""The calculator's screen while its window changes size as a line is typed:
at tmux itself, and at the test's own terminal (tests/support/
rewrap_terminal.py) that wraps its rows anew as tmux does, or keeps them as
xterm does.

    run.py PROGRAM [--at tmux,rewrap,keep] [--storms N] [--seed S]

Every case types at one of the prompts of a cycle whose operation is no
code ("z": no result line), so that the whole dialogue is what was typed.
After each, the screen must read exactly the dialogue (each line as the
program last drew it, a row at a time at the width of the time; rows the
terminal wrapped read joined, and a terminal that cuts its rows may have
cut them), with nothing else on it, and the cursor on the cell of the
line's position. The cases: the window's width changed four times while a
line is typed; storms of 6 changes 0.2 s apart, 20 changes 50 ms apart and
150 at once; at the test's own terminal, changes it answers a second late
(a slow link, a terminal busy redrawing), keys typed before the answer;
then N storms of random sizes with keys typed in between, followed by
Home, End, Backspace and Left.
"""
import argparse
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from rewrap_terminal import RewrapTerminal  # noqa: E402

HOME, END, BACKSPACE, LEFT, ENTER = "\x1b[H", "\x1b[F", "\x7f", "\x1b[D", "\r"
PATIENCE = 5.0


class Tmux:
    """The program in a tmux window of its own; the same calls as
    RewrapTerminal's."""

    def __init__(self, program, columns, rows):
        self.tmux = ["tmux", "-L", "zw-resize-%d" % os.getpid(), "-f", "/dev/null"]
        self.run("kill-server", check=False)
        self.run("new-session", "-d", "-x", str(columns), "-y", str(rows),
                 "env LANG=C.UTF-8 LC_ALL=C.UTF-8 %s" % program)
        self.w = self.narrowest = columns

    def run(self, *args, check=True):
        return subprocess.run(self.tmux + list(args), check=check, capture_output=True, text=True).stdout

    def keys(self, data):
        self.run("send-keys", "-l", data)

    def resize_all(self, sizes):
        """One size after the other, as one list of commands."""
        args = []
        for w, h in sizes:
            args += ["resize-window", "-x", str(w), "-y", str(h), ";"]
        self.run(*args[:-1])
        self.w = sizes[-1][0]
        self.narrowest = min([self.narrowest] + [w for w, _ in sizes])

    def resize(self, columns, rows):
        self.resize_all([(columns, rows)])

    def pause(self, seconds):
        time.sleep(seconds)

    def lines(self):
        return [l.rstrip() for l in self.run("capture-pane", "-p", "-J").split("\n")[:-1]]

    def rows(self):
        return [l.rstrip() for l in self.run("capture-pane", "-p").split("\n")[:-1]]

    def cursor(self):
        x, y = self.run("display", "-p", "#{cursor_x} #{cursor_y}").split()
        return int(x), int(y)

    def close(self):
        self.run("kill-server", check=False)


class Dialogue:
    """What has been typed: the rows of each line as the program drew it."""

    def __init__(self, start_rows, cuts):
        self.rows = list(start_rows)
        self.cuts = cuts
        self.prompt, self.text, self.pos = "", "", 0

    def begin(self, prompt):
        self.prompt, self.text, self.pos = prompt, "", 0

    def type(self, s):
        self.text = self.text[:self.pos] + s + self.text[self.pos:]
        self.pos += len(s)

    def key(self, k):
        if k == HOME:
            self.pos = 0
        elif k == END:
            self.pos = len(self.text)
        elif k == LEFT:
            self.pos = max(self.pos - 1, 0)
        elif k == BACKSPACE and self.pos > 0:
            self.text = self.text[:self.pos - 1] + self.text[self.pos:]
            self.pos -= 1

    def current(self, width):
        line = self.prompt + self.text
        return [line[i:i + width] for i in range(0, len(line), width)] or [""]

    def finish(self, width):
        """Enter: a line that fills its last row leaves an empty row below
        it (the cursor went on to the next row before the line end)."""
        self.rows += self.current(width)
        if len(self.prompt + self.text) % width == 0:
            self.rows.append("")

    def problem(self, term):
        """What is wrong with the screen, or None."""
        w = term.w
        want = [r.rstrip() for r in self.rows + self.current(w)]
        got = term.lines()
        while got and not got[-1]:
            got.pop()
        if len(got) > len(want):
            return "more lines than the dialogue"
        for i, line in enumerate(got):
            expected = want[len(want) - len(got) + i]
            if i == 0 and expected.endswith(line) and (len(expected) - len(line)) % w == 0:
                continue
            # A row cut at some width no narrower than the narrowest yet.
            cut = self.cuts and expected.startswith(line) and not expected[len(line):term.narrowest].strip()
            if line != expected and not cut:
                return "line %d is %r, not %r" % (i, line, expected) + "".join("\n     >" + l for l in want[-len(got):])
        rows = term.rows()
        while rows and not rows[-1]:
            rows.pop()
        current = [r.rstrip() for r in self.current(w)]
        first = len(rows) - len(current)
        if rows[first:] != current:
            return "the line's rows are %r" % rows[first:]
        at = len(self.prompt) + self.pos
        want_cursor = (at % w, first + at // w)
        if term.cursor() != want_cursor:
            return "cursor at %s, not %s" % (term.cursor(), want_cursor)
        return None


class Run:
    def __init__(self, term, name):
        self.term, self.name = term, name
        self.checks = self.failures = 0
        self.dialogue = None

    def wait(self, what):
        """Until the screen reads as the dialogue."""
        self.checks += 1
        end = time.monotonic() + PATIENCE
        while True:
            problem = self.dialogue.problem(self.term)
            if problem is None:
                return True
            if time.monotonic() > end:
                self.failures += 1
                print("FAIL %s: %s: %s" % (self.name, what, problem))
                for row in self.term.rows():
                    print("     |" + row)
                return False
            self.term.pause(0.1)

    def start(self, cuts):
        end = time.monotonic() + PATIENCE
        while not any(r.startswith("Operation:") for r in self.term.rows()) and time.monotonic() < end:
            self.term.pause(0.1)
        rows = self.term.lines()
        while rows and not rows[-1]:
            rows.pop()
        self.dialogue = Dialogue(rows[:-1], cuts)
        self.dialogue.begin("Operation: ")

    def type(self, s):
        self.term.keys(s)
        self.dialogue.type(s)

    def key(self, k):
        self.term.keys(k)
        self.dialogue.key(k)

    def enter(self, prompt):
        self.term.keys(ENTER)
        self.dialogue.finish(self.term.w)
        self.dialogue.begin(prompt)
        self.wait("Enter")


PROMPTS = ["Operation: ", "Nummmer 1: ", "Nummmer 2: "]


def next_prompt(prompt):
    return PROMPTS[(PROMPTS.index(prompt) + 1) % 3]


def digits(n, start=1):
    return "".join(str((start + i) % 10) for i in range(n))


def cases(run, storms, rng, width_range, height_range):
    d = run.dialogue
    run.type("z")
    run.enter("Nummmer 1: ")

    # Ten digits at a time, the width changed after each, 0.6 s apart.
    h = 20
    for w in (30, 70, 20, 50):
        run.type(digits(10))
        run.term.pause(0.6)
        run.term.resize(w, h)
        run.term.pause(0.6)
    run.key(HOME)
    run.type("9")
    run.wait("four widths, 0.6 s apart, then Home and 9")
    run.enter(next_prompt(d.prompt))

    quick = [("6 changes 0.2 s apart", [(35, 20), (60, 20), (25, 16), (45, 24), (22, 20), (50, 20)], 0.2),
             ("20 changes 50 ms apart", [(20 + 3 * i, 12 + i % 9) for i in range(20)], 0.05),
             ("150 changes at once", [(20 + (7 * i) % 60, 10 + (5 * i) % 15) for i in range(149)] + [(50, 20)], None)]
    for what, sizes, gap in quick:
        run.type(digits(45, 3))
        run.wait(what + ": before")
        if gap is None:
            run.term.resize_all(sizes)
        else:
            for w, hh in sizes:
                run.term.resize(w, hh)
                run.term.pause(gap)
        run.key(HOME)
        run.type("9")
        run.key(END)
        run.key(BACKSPACE)
        run.wait(what)
        run.enter(next_prompt(d.prompt))

    if hasattr(run.term, "answer_delay"):
        run.term.answer_delay = 1.0
        for w, hh in ((40, 20), (65, 18)):
            run.type(digits(45, 5))
            run.wait("answers late, %d columns: before" % w)
            run.term.resize(w, hh)
            run.term.pause(0.4)
            run.type("12")
            run.wait("answers 1 s late, %d columns" % w)
            run.enter(next_prompt(d.prompt))
        run.term.answer_delay = 0.0

    for n in range(storms):
        run.type(digits(rng.randint(5, 60), n))
        for _ in range(rng.randint(3, 10)):
            run.term.resize(rng.randint(*width_range), rng.randint(*height_range))
            if rng.random() < 0.5:
                run.type(digits(rng.randint(1, 4), n))
            run.term.pause(rng.uniform(0, 0.06))
        for k in rng.choices([HOME, END, BACKSPACE, LEFT, "7"], k=rng.randint(2, 6)):
            if k == "7":
                run.type(k)
            else:
                run.key(k)
        run.wait("random storm %d" % (n + 1))
        run.enter(next_prompt(d.prompt))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("program")
    p.add_argument("--at", default="tmux,rewrap,keep")
    p.add_argument("--storms", type=int, default=3)
    p.add_argument("--seed", type=int, default=int(time.time()))
    args = p.parse_args()
    program = os.path.abspath(args.program)
    total_checks = total_failures = 0
    for at in args.at.split(","):
        rng = random.Random(args.seed)
        start = time.monotonic()
        if at == "tmux":
            term = Tmux(program, 50, 20)
        else:
            env = {"TERM": "xterm-256color" if at == "rewrap" else "xterm", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}
            term = RewrapTerminal([program], 50, 20, at, env)
        run = Run(term, at)
        try:
            run.start(cuts=at == "keep")
            # A terminal that cuts its rows keeps them readable at 30
            # columns and more.
            cases(run, args.storms, rng, (15, 90) if at != "keep" else (30, 90), (8, 30))
        finally:
            term.close()
        print("%-6s %d checks, %d failed, %.1f s (seed %d)" % (at, run.checks, run.failures,
                                                               time.monotonic() - start, args.seed))
        total_checks += run.checks
        total_failures += run.failures
    sys.exit(1 if total_failures else 0)


if __name__ == "__main__":
    main()
