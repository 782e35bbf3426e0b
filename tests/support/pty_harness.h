// The built program on a pseudo-terminal, its screen read through a real
// terminal emulator (libvterm). The program runs as the foreground job of a
// small session process, as under a shell, so that Ctrl+Z stops it.
#pragma once

#include <termios.h>

namespace zw::e2e {

// Whether two terminal settings are the same as far as a user can tell (what
// `stty -g` shows): a program must give back the settings it found.
bool same_settings(const termios& a, const termios& b);

}  // namespace zw::e2e

#ifdef ZW_HAVE_VTERM

#include <sys/types.h>
#include <vterm.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zw::e2e {

struct Options {
  int columns = 80;
  int rows = 24;
  std::string locale = "C.UTF-8";  // LANG and LC_ALL; "" for neither
  std::string term = "xterm";
  std::string earlier_output;       // on the screen before the program starts
  bool answer_requests = true;      // the emulator answers requests (cursor, attributes)
  bool answer_cursor_requests = true;  // ... cursor requests among them
  int answer_delay_ms = 0;          // each answer sent this long after the request came (a slow link)
  bool utf8 = true;                 // the emulator decodes UTF-8; else Latin-1, one byte a cell
  bool input_from_file = false;     // standard input redirected from `input`
  std::string input;
  bool output_to_file = false;      // standard output redirected to a file
  bool output_to_pipe = false;      // standard output a pipe (close_output)
  bool kitty_keyboard = false;      // the terminal answers ESC [ ? u, keeps a flag stack
  // A window made taller pulls rows back from the scrollback into view, as
  // xterm, tmux and most terminals do: the content and the cursor move down.
  bool pull_scrollback = false;
  // A resize leaves the cursor one column right of where it was, as kitty
  // re-wraps a prompt's row.
  bool resize_moves_cursor_right = false;
  // ESC [ ? u is read as "restore cursor" (CSI u), as st reads it.
  bool query_restores_cursor = false;
  // A cursor restore (ESC 8) drops a pending wrap, as tmux's does.
  bool restore_drops_wrap = false;
  // When set, `sh -c shell_command` is the foreground job instead of the
  // program, which it finds as "$ZW".
  std::string shell_command;
};

// A terminal emulator with the program running in it.
class Terminal {
 public:
  explicit Terminal(const Options& o);
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Keys as the terminal sends them.
  void type(const std::string& bytes);
  // A paste: `bytes` as fast as the program takes them, its output let
  // into the emulator meanwhile.
  void paste(const std::string& bytes);
  // The program's peak resident memory so far, in KiB; -1 when unknown.
  long peak_rss_kib() const;

  // Lets the program's output into the emulator until `done` holds; false
  // when it has not after a generous while.
  bool wait_for(const std::function<bool()>& done);
  bool wait_for_row(int y, const std::string& text);
  bool wait_for_text(const std::string& text);
  // The `n`th "Operation: " prompt, waiting for a line with the cursor after
  // it. Keys typed before the cycle's end would be taken by its keyboard poll.
  bool wait_for_prompt(int n);
  // Raw input: the program has taken the terminal.
  bool wait_for_raw();

  // Row `y` of the screen as UTF-8, trailing blanks removed.
  std::string row(int y) const;
  // The screen, each row between "|" and a line end, for failure messages.
  std::string screen() const;
  // The scrollback and the screen, one row a line.
  std::vector<std::string> transcript() const;
  std::string all_text() const;
  VTermPos cursor() const;
  bool cursor_visible() const { return cursor_visible_; }
  int bells() const { return bells_; }
  const termios& settings_before() const { return before_; }
  // Keyboard flags (Options::kitty_keyboard) in force, and how many pushes
  // are on the stack.
  int keyboard_flags() const { return keyboard_flags_; }
  int keyboard_pushes() const { return static_cast<int>(keyboard_stack_.size()); }
  termios settings() const;
  pid_t program() const { return program_; }

  // Waits until the program stops or ends; its wait status.
  bool wait_status(int* status);
  bool wait_end(int* status);

  // Cursor requests are held back until released.
  void hold_answers() { holding_ = true; }
  bool answers_held() const { return !held_.empty(); }
  // Cursor reports among them.
  int reports_held() const;
  // Lets the program's output into the emulator for `ms` milliseconds.
  void pause(int ms);
  void release_answers();
  // What waits on the terminal to be read by whoever reads it next (read
  // with the settings unchanged afterwards).
  std::string pending_input();

  void resize(int columns, int rows);
  // Output to the terminal stopped (as by Ctrl+S) / going again.
  void stop_output();
  void start_output();
  // Closes the terminal's side, as when its window is closed.
  void hang_up();

  // The reader of the pipe on standard output leaves (Options::output_to_pipe).
  void close_output();

  // What the program wrote to standard output (Options::output_to_file).
  std::string output_file() const;

 private:
  static void on_output(const char* s, size_t len, void* user);
  static int on_termprop(VTermProp prop, VTermValue* val, void* user);
  static int on_bell(void* user);
  static int on_pushline(int cols, const VTermScreenCell* cells, void* user);
  static int on_popline(int cols, VTermScreenCell* cells, void* user);

  void pump(int timeout_ms);
  std::string temp_file(const std::string& content);
  void start();

  Options options_;
  int master_ = -1;
  int slave_ = -1;
  termios before_{};
  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  bool cursor_visible_ = true;
  int bells_ = 0;
  std::vector<std::string> scrollback_;
  std::vector<std::vector<VTermScreenCell>> scrollback_cells_;  // for on_popline
  bool holding_ = false;
  std::string held_;
  std::vector<std::pair<std::chrono::steady_clock::time_point, std::string>> delayed_;  // answer_delay_ms
  pid_t session_ = -1;
  pid_t program_ = -1;
  int status_pipe_ = -1;
  bool ended_ = false;
  std::string input_path_;
  std::string output_path_;
  int output_pipe_[2] = {-1, -1};
  int keyboard_flags_ = 0;
  std::vector<int> keyboard_stack_;
  void keyboard_requests(const char* s, size_t len);
};

}  // namespace zw::e2e

#endif  // ZW_HAVE_VTERM
