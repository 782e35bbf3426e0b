// Every sequence the POSIX port sends to a terminal, and when:
//
// The screen (terminal_screen.cpp), collected in one update per console
// write:
//   ESC [ row ; col H    cursor placement
//   glyphs               one cell per byte: Windows-1252 as UTF-8 on a UTF-8
//                        terminal, bytes unchanged on a single-byte one;
//                        control bytes as visible pictures, never raw
//   ESC [ n X            erase n cells from the cursor (blank fill)
//   ESC [ J              erase from the cursor to the end of the screen (a
//                        blank fill that reaches it): the rows it clears
//                        hold nothing a later re-wrap of the terminal's own
//                        could join to the row above
//   LF                   at the bottom row: scrolls the screen, the rows
//                        scrolled off go to the terminal's scrollback
//   ESC [ t ; b r        scrolling margin for a band of rows, then the cursor
//   ESC [ b ; 1 H        to its bottom row and LF there, then margins off
//   ESC [ r              again (which homes the cursor)
//   ESC [ ? 25 l / h     cursor hidden / shown
//   BEL                  the bell
//
// The handshake (terminal_handshake.cpp), each batch of requests in one
// write:
//   ESC [ 6 n            cursor position request, once at start, on resume
//                        and after a size change (answer: ESC [ row ; col R);
//                        with standard input elsewhere, once at start,
//                        answered on the controlling terminal
//   ESC 7 C2 A0 ESC [ 6 n ESC 8
//                        the encoding probe, at start right after the first
//                        cursor request (and so before the keyboard query),
//                        when the locale does not tell the terminal's
//                        encoding (C, POSIX, unset or unknown): a no-break
//                        space in UTF-8, one cell at a terminal that decodes
//                        UTF-8 and two at one that takes a byte a cell, then
//                        a second cursor request, and the cursor back where
//                        it was. The banner is written over it.
//   ESC [ c              primary device attributes request, at the end of
//                        every batch (answer: ESC [ ? ... c, the last of the
//                        batch's answers, awaited at most ANSWER_WAIT_MS);
//                        left out once a terminal answered a cursor request
//                        but not this one
//   ESC 7 ESC [ ? u ESC 8
//                        kitty keyboard protocol query, at start, in the
//                        same write as the first cursor request: before it,
//                        or after the probe when there is one; an answer
//                        (ESC [ ? flags u) before the device attributes
//                        means the terminal speaks the protocol. The query
//                        goes between cursor save and restore: a terminal
//                        that reads it as "restore cursor" (CSI u) would
//                        otherwise move its cursor to where it last saved it
//   ESC [ > 31 u         push of the keyboard flags (kitty_keys.h), after
//                        such an answer and again on resume
//   CR LF                at start, when the cursor stood in the last column
//   ESC [ ? 25 l         on resume, when the program had the cursor hidden
//
// The way out (terminal_guard.cpp), on every one, as far as the terminal
// takes the bytes at once:
//   ESC [ < u            pop of the keyboard flags, once per push
//   ESC 7 ESC [ r ESC 8  margins off with the cursor kept, when a margin was
//                        ever set
//   ESC [ ? 25 h         cursor shown, when the screen was used
//
// Nothing else is switched on: no alternate screen, no keypad or cursor-key
// mode, no mouse. Colours are not used: every cell shows in the terminal's
// default colours.
#pragma once

namespace zw {

constexpr char ESC = '\x1b';

constexpr char CURSOR_SAVE[] = "\x1b" "7";
constexpr char CURSOR_RESTORE[] = "\x1b" "8";
constexpr char CURSOR_SHOW[] = "\x1b[?25h";
constexpr char CURSOR_HIDE[] = "\x1b[?25l";
constexpr char CURSOR_REQUEST[] = "\x1b[6n";
constexpr char ATTRIBUTES_REQUEST[] = "\x1b[c";
constexpr char ENCODING_PROBE[] = "\xc2\xa0";
constexpr char MARGINS_OFF[] = "\x1b[r";
constexpr char ERASE_BELOW[] = "\x1b[J";
constexpr char KITTY_QUERY[] = "\x1b[?u";
constexpr char KITTY_PUSH[] = "\x1b[>31u";
constexpr char KITTY_POP[] = "\x1b[<u";

// printf formats: row and column 1-based; a cell count; top and bottom
// rows 1-based.
constexpr char CURSOR_TO_FORMAT[] = "\x1b[%d;%dH";
constexpr char ERASE_CELLS_FORMAT[] = "\x1b[%dX";
constexpr char MARGINS_FORMAT[] = "\x1b[%d;%dr";

}  // namespace zw
