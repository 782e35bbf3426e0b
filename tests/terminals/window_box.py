#!/usr/bin/env python3
"""Where things are in a window, from its picture (xwd on standard input).

  window_box.py content   the box "X0 Y0 X1 Y1" of the window shown on a
                          black desktop
  window_box.py bottom    the first row "Y" of the block at the bottom whose
                          right edge has the colour of the bottom-right pixel
                          (a terminal's text area under a tool bar)
"""
import struct
import sys


def read_xwd(data):
    head = struct.unpack('>25I', data[:100])
    header_size, width, height = head[0], head[4], head[5]
    bits_per_pixel, bytes_per_line, colours = head[11], head[12], head[19]
    if bits_per_pixel != 32:
        sys.exit('window_box: %d bits a pixel, not 32' % bits_per_pixel)
    start = header_size + colours * 12
    rows = [data[start + y * bytes_per_line:start + y * bytes_per_line + width * 4]
            for y in range(height)]
    return width, height, rows


def pixel(rows, x, y):
    return rows[y][4 * x:4 * x + 3]


def content(width, height, rows):
    # Rows with a run of at least 64 pixels that are not black: a pointer
    # drawn on the desktop is narrower.
    black = bytes(3)
    box = None
    for y, row in enumerate(rows):
        run_start = best = None
        for x in range(width + 1):
            lit = x < width and row[4 * x:4 * x + 3] != black
            if lit and run_start is None:
                run_start = x
            elif not lit and run_start is not None:
                if best is None or x - run_start > best[1] - best[0]:
                    best = (run_start, x)
                run_start = None
        if best is None or best[1] - best[0] < 64:
            continue
        if box is None:
            box = [best[0], y, best[1] - 1, y]
        box = [min(box[0], best[0]), box[1], max(box[2], best[1] - 1), y]
    return box


def bottom(width, height, rows):
    x = width - 3
    colour = pixel(rows, x, height - 2)
    y = height - 2
    while y > 0 and pixel(rows, x, y - 1) == colour:
        y -= 1
    return [y]


def main():
    width, height, rows = read_xwd(sys.stdin.buffer.read())
    found = {'content': content, 'bottom': bottom}[sys.argv[1]](width, height, rows)
    if not found:
        sys.exit('window_box: nothing found')
    print(*found)


main()
