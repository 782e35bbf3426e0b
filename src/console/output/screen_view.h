// The screen's view: the part of the console buffer the screen writer
// works in, read at the console's first use and again after every console
// write, re-based when the port reports a size change or the window is
// found resized; the print region within it; and, while output goes to a
// file or a pipe, the port's block the bytes go into.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/console_port.h"
#include "platform/output_block.h"

namespace zw {

struct Console;

// The window's rows across the buffer's full width, in buffer
// coordinates: left is always 0 and right the buffer's last column; all
// zeros until read, and when standard output cannot be queried.
using ScreenView = SmallRect;

// Rows within which output scrolls, 1-based from the view's top.
struct PrintRegion {
  bool set = false;
  int32_t first = 0;
  int32_t last = 0;
};

struct ScreenState {
  bool view_read = false;
  // The port's block for redirected output, when it keeps one (asked once,
  // when the console records are bound).
  RedirectedOutput* redirected = nullptr;
  // The same while the view shows no console, so that output goes
  // straight into it; nullptr otherwise.
  RedirectedOutput* block = nullptr;
  ScreenView view;
  PrintRegion region;
  bool pending_wrap = false;
  // Size changes the port reported so far: each one re-based the view.
  uint32_t size_changes = 0;
  // What size changes have shown of this terminal's way with its rows
  // (line_layout.h): the ways still possible, as bits; none until the
  // first change, which starts from what the port knows.
  uint8_t resize_habits = 0;
};

struct ScreenSize {
  int32_t width = 80;
  int32_t height = 25;
};

// Binds the console and reads the view, once, at the first use of the
// screen (the print device's set-up, or a write or cursor operation before
// it). Later calls do nothing.
void bind_screen(Console& con);
// Reads the view from the port again, as every console write does at its
// end: a window the user moved or resized is picked up there.
void read_view(Console& con);
// Takes in a size change the port reported since the last look, if any:
// the view is read again and the print region fixed afresh the next time
// it is needed. Output that goes straight to a file or a pipe has no size
// to change and does not ask. Returns the count of size changes taken so
// far (ScreenState::size_changes).
uint32_t take_size_change(Console& con);
// A window whose size differs from the view's (a console window the user
// resized: no port reports that) re-bases the view on `info`, the buffer as
// just read, and the print region is fixed afresh at the window's height.
// A window only moved is left to the read at the end of the next write, and
// one squeezed below two rows or two columns is not followed (one that comes
// back from there is).
void follow_window_size(Console& con, const ScreenBufferInfo& info);
// The same from a look at the buffer of its own.
void follow_window_size(Console& con);
// The view for an operation that works in it: bound, and any size change
// taken in first.
const ScreenView& current_view(Console& con);
// Fixed the first time it is needed (from the view's height, 25 without a
// console) and again whenever the view's size changed: a region that kept
// its first height would scroll inside part of a taller window, losing the
// lines it scrolls off, or reach below a shorter one.
const PrintRegion& print_region(Console& con);

// Reading only, the view as last read:
// A console exactly when the view is wider than one column and taller than
// one row; a nonsense report (right left of left) counts as none.
inline bool shows_console(const ScreenView& v) { return v.right > v.left && v.bottom > v.top; }
bool output_is_console(const Console& con);
// The buffer's width and the window's height; 80 and 25 with no console.
ScreenSize get_screen_size(const Console& con);

// The one entry for output that goes straight to a file or a pipe: the
// port's block, while the view shows no console and the block has `room`
// bytes free (and its device has not failed). The caller puts its bytes at
// block->bytes + block->length and adds their count to block->length.
// nullptr otherwise, and write_console takes the bytes.
inline OutputBlock* output_block(ScreenState& s, size_t room) {
  RedirectedOutput* out = s.block;
  if (out == nullptr || out->failed || out->block.length + room > OUTPUT_BLOCK) return nullptr;
  return &out->block;
}

}  // namespace zw
