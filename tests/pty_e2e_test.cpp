// The built program on a pseudo-terminal, its screen read through a real
// terminal emulator (libvterm), keys typed as the escape sequences terminals
// send. The program runs as the foreground job of a small session process,
// as under a shell, so that Ctrl+Z stops it.
#include <gtest/gtest.h>

#ifdef ZW_HAVE_VTERM

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vterm.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr auto PATIENCE = std::chrono::seconds(20);

struct Options {
  int columns = 80;
  int rows = 24;
  std::string locale = "C.UTF-8";
  std::string earlier_output;       // on the screen before the program starts
  bool answer_requests = true;      // the emulator answers cursor requests
  bool input_from_file = false;     // standard input redirected from `input`
  std::string input;
  bool output_to_file = false;      // standard output redirected to a file
};

void append_utf8(std::string* s, uint32_t c) {
  if (c < 0x80) {
    s->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s->push_back(static_cast<char>(0xC0 | (c >> 6)));
    s->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    s->push_back(static_cast<char>(0xE0 | (c >> 12)));
    s->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    s->push_back(static_cast<char>(0xF0 | (c >> 18)));
    s->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    s->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string trim_right(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool same_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// A terminal emulator with the program running in it.
class Terminal {
 public:
  explicit Terminal(const Options& o) : options_(o) {
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(o.columns);
    ws.ws_row = static_cast<unsigned short>(o.rows);
    if (::openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) {
      ADD_FAILURE() << "openpty: " << std::strerror(errno);
      return;
    }
    ::tcgetattr(slave_, &before_);
    vt_ = vterm_new(o.rows, o.columns);
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(vt_, &Terminal::on_output, this);
    screen_ = vterm_obtain_screen(vt_);
    static const VTermScreenCallbacks callbacks = {
        nullptr, nullptr, nullptr, &Terminal::on_termprop, &Terminal::on_bell, nullptr,
        &Terminal::on_pushline, nullptr};
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_reset(screen_, 1);
    if (!o.earlier_output.empty()) vterm_input_write(vt_, o.earlier_output.data(), o.earlier_output.size());
    start();
  }

  ~Terminal() {
    if (program_ > 0 && !ended_) {
      ::kill(program_, SIGKILL);
      int status;
      wait_end(&status);
    }
    if (session_ > 0) ::waitpid(session_, nullptr, 0);
    if (status_pipe_ >= 0) ::close(status_pipe_);
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    if (vt_ != nullptr) vterm_free(vt_);
    if (!input_path_.empty()) ::unlink(input_path_.c_str());
    if (!output_path_.empty()) ::unlink(output_path_.c_str());
  }

  // Keys as the terminal sends them.
  void type(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Lets the program's output into the emulator until `done` holds.
  bool wait_for(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + PATIENCE;
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      pump(10);
    }
    return true;
  }
  bool wait_for_row(int y, const std::string& text) {
    return wait_for([&] { return row(y) == text; });
  }
  bool wait_for_text(const std::string& text) {
    return wait_for([&] { return all_text().find(text) != std::string::npos; });
  }
  // The `n`th "Operation: " prompt, waiting for a line with the cursor after
  // it. Keys typed before the cycle's end would be taken by its keyboard poll.
  bool wait_for_prompt(int n) {
    return wait_for([&] {
      int prompts = 0;
      for (const std::string& line : transcript()) prompts += line.rfind("Operation:", 0) == 0;
      const VTermPos c = cursor();
      return prompts == n && row(c.row) == "Operation:" && c.col == 11;
    });
  }
  // Raw input: the program has taken the terminal.
  bool wait_for_raw() {
    return wait_for([&] { return (settings().c_lflag & (ECHO | ICANON)) == 0; });
  }

  // Row `y` of the screen as UTF-8, trailing blanks removed.
  std::string row(int y) const {
    std::string s;
    for (int x = 0; x < options_.columns; ++x) {
      VTermScreenCell cell;
      vterm_screen_get_cell(screen_, VTermPos{y, x}, &cell);
      append_utf8(&s, cell.chars[0] == 0 ? ' ' : cell.chars[0]);
    }
    return trim_right(s);
  }
  std::string screen() const {
    std::string s;
    for (int y = 0; y < options_.rows; ++y) s += "|" + row(y) + "\n";
    return s;
  }
  // The scrollback and the screen, one row a line.
  std::vector<std::string> transcript() const {
    std::vector<std::string> lines = scrollback_;
    for (int y = 0; y < options_.rows; ++y) lines.push_back(row(y));
    return lines;
  }
  std::string all_text() const {
    std::string s;
    for (const std::string& line : transcript()) s += line + "\n";
    return s;
  }
  VTermPos cursor() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos;
  }
  bool cursor_visible() const { return cursor_visible_; }
  int bells() const { return bells_; }
  const termios& settings_before() const { return before_; }
  termios settings() const {
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
  }
  pid_t program() const { return program_; }

  // Waits until the program stops or ends; its wait status.
  bool wait_status(int* status) {
    const auto until = std::chrono::steady_clock::now() + PATIENCE;
    for (;;) {
      pump(0);
      int st;
      const ssize_t n = ::read(status_pipe_, &st, sizeof st);
      if (n == sizeof st) {
        *status = st;
        if (WIFEXITED(st) || WIFSIGNALED(st)) ended_ = true;
        return true;
      }
      if (std::chrono::steady_clock::now() > until) return false;
      pollfd p[2] = {{status_pipe_, POLLIN, 0}, {master_, POLLIN, 0}};
      ::poll(p, 2, 10);
    }
  }
  bool wait_end(int* status) {
    while (wait_status(status)) {
      if (WIFEXITED(*status) || WIFSIGNALED(*status)) return true;
    }
    return false;
  }

  // Cursor requests are held back until released.
  void hold_answers() { holding_ = true; }
  bool answers_held() const { return !held_.empty(); }
  void release_answers() {
    holding_ = false;
    if (!held_.empty()) type(held_);
    held_.clear();
  }

  void resize(int columns, int rows) {
    options_.columns = columns;
    options_.rows = rows;
    vterm_set_size(vt_, rows, columns);
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(columns);
    ws.ws_row = static_cast<unsigned short>(rows);
    ::ioctl(master_, TIOCSWINSZ, &ws);
  }

  void hang_up() {
    ::close(master_);
    master_ = -1;
  }

  std::string output_file() const {
    std::string s;
    if (FILE* f = std::fopen(output_path_.c_str(), "rb")) {
      char buf[4096];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
      std::fclose(f);
    }
    return s;
  }

 private:
  static void on_output(const char* s, size_t len, void* user) {
    auto* t = static_cast<Terminal*>(user);
    if (!t->options_.answer_requests) return;
    if (t->holding_) {
      t->held_.append(s, len);
      return;
    }
    if (t->master_ >= 0) [[maybe_unused]] ssize_t n = ::write(t->master_, s, len);
  }
  static int on_termprop(VTermProp prop, VTermValue* val, void* user) {
    if (prop == VTERM_PROP_CURSORVISIBLE) static_cast<Terminal*>(user)->cursor_visible_ = val->boolean;
    return 1;
  }
  static int on_bell(void* user) {
    ++static_cast<Terminal*>(user)->bells_;
    return 1;
  }
  static int on_pushline(int cols, const VTermScreenCell* cells, void* user) {
    std::string s;
    for (int x = 0; x < cols; ++x) append_utf8(&s, cells[x].chars[0] == 0 ? ' ' : cells[x].chars[0]);
    static_cast<Terminal*>(user)->scrollback_.push_back(trim_right(s));
    return 1;
  }

  void pump(int timeout_ms) {
    if (master_ < 0) return;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return;
    char buf[8192];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) vterm_input_write(vt_, buf, static_cast<size_t>(n));
  }

  std::string temp_file(const std::string& content) {
    char path[] = "/tmp/zw_pty_XXXXXX";
    const int fd = ::mkstemp(path);
    if (!content.empty()) [[maybe_unused]] ssize_t n = ::write(fd, content.data(), content.size());
    ::close(fd);
    return path;
  }

  // The session process: leader of a new session on the terminal, it runs
  // the program as the foreground job and reports its wait statuses.
  void start() {
    if (options_.input_from_file) input_path_ = temp_file(options_.input);
    if (options_.output_to_file) output_path_ = temp_file("");
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    session_ = ::fork();
    if (session_ == 0) {
      ::close(pipe_fds[0]);
      ::close(master_);
      ::setsid();
      ::ioctl(slave_, TIOCSCTTY, 0);
      ::signal(SIGHUP, SIG_IGN);  // outlives a hang-up to report the program's end
      const pid_t program = ::fork();
      if (program == 0) run_program();
      ::setpgid(program, program);
      [[maybe_unused]] ssize_t w = ::write(pipe_fds[1], &program, sizeof program);
      for (;;) {
        int st;
        if (::waitpid(program, &st, WUNTRACED) < 0) {
          if (errno == EINTR) continue;
          ::_exit(0);
        }
        w = ::write(pipe_fds[1], &st, sizeof st);
        if (WIFEXITED(st) || WIFSIGNALED(st)) ::_exit(0);
      }
    }
    ::close(pipe_fds[1]);
    status_pipe_ = pipe_fds[0];
    ASSERT_EQ(::read(status_pipe_, &program_, sizeof program_), static_cast<ssize_t>(sizeof program_));
    ::fcntl(status_pipe_, F_SETFL, O_NONBLOCK);
  }

  [[noreturn]] void run_program() {
    ::setpgid(0, 0);
    ::signal(SIGTTOU, SIG_IGN);
    ::tcsetpgrp(slave_, ::getpgrp());
    for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTSTP, SIGTTOU, SIGTERM, SIGPIPE}) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    const int in = options_.input_from_file ? ::open(input_path_.c_str(), O_RDONLY) : slave_;
    const int out = options_.output_to_file ? ::open(output_path_.c_str(), O_WRONLY | O_TRUNC) : slave_;
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(slave_, 2);
    const std::string lang = "LANG=" + options_.locale;
    const std::string all = "LC_ALL=" + options_.locale;
    char* const env[] = {const_cast<char*>("TERM=xterm"), const_cast<char*>(lang.c_str()),
                         const_cast<char*>(all.c_str()), nullptr};
    ::execle(ZW_BINARY, ZW_BINARY, static_cast<char*>(nullptr), env);
    ::_exit(127);
  }

  Options options_;
  int master_ = -1;
  int slave_ = -1;
  termios before_{};
  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  bool cursor_visible_ = true;
  int bells_ = 0;
  std::vector<std::string> scrollback_;
  bool holding_ = false;
  std::string held_;
  pid_t session_ = -1;
  pid_t program_ = -1;
  int status_pipe_ = -1;
  bool ended_ = false;
  std::string input_path_;
  std::string output_path_;
};

// Texts placed at columns, as the print zones place the menu.
std::string at_columns(const std::vector<std::pair<int, std::string>>& items) {
  std::string s;
  for (const auto& [column, text] : items) {
    s.resize(static_cast<size_t>(column), ' ');
    s += text;
  }
  return s;
}

const std::vector<std::string> START_80 = {
    "### Zahlwerk-ZW ### V.1.1 ###",
    "###Kommandozeilenparameter###",
    "",
    at_columns({{0, " + (Plus)"}, {14, " - (Minus)"}, {28, " x (Mal)"}, {42, " / (Geteilt)"}, {56, " h (Hoch)"}}),
    at_columns({{0, " kd (Kreis-Dm)"}, {28, " kr (Kreis-r)"}, {42, " ku (Kreis-U)"}, {56, " kf (Kreis-F)"}}),
    at_columns({{0, " qu (Quadrat-U)"}, {28, " qf (Quadrat-F)"}, {56, " ru (Rechteck-U)"}}),
    " rf (Rechteck-F)",
    "",
    "Operation:",
};

const std::vector<std::string> START_120 = {
    "### Zahlwerk-ZW ### V.1.1 ###",
    "###Kommandozeilenparameter###",
    "",
    at_columns({{0, " + (Plus)"}, {14, " - (Minus)"}, {28, " x (Mal)"}, {42, " / (Geteilt)"}, {56, " h (Hoch)"},
                {70, " kd (Kreis-Dm)"}, {98, " kr (Kreis-r)"}}),
    at_columns({{0, " ku (Kreis-U)"}, {14, " kf (Kreis-F)"}, {28, " qu (Quadrat-U)"}, {56, " qf (Quadrat-F)"},
                {84, " ru (Rechteck-U)"}}),
    " rf (Rechteck-F)",
    "",
    "Operation:",
};

// Ends the program with Escape after one more cycle; it must exit with 0
// and leave the terminal as it found it.
void finish_with_escape(Terminal& t) {
  ASSERT_TRUE(t.wait_for([&] { return t.row(t.cursor().row) == "Operation:" && t.cursor().col == 11; }))
      << t.screen();
  t.type("+\r1\r1\r\x1b");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status)) << t.screen();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  EXPECT_TRUE(t.cursor_visible());
}

// The line `text` typed after "Operation: " from column 0 of row `first`,
// as it shows on a screen `width` columns wide.
std::vector<std::string> wrapped(const std::string& text, int width) {
  const std::string line = "Operation: " + text;
  std::vector<std::string> rows;
  for (size_t i = 0; i < line.size(); i += static_cast<size_t>(width)) rows.push_back(line.substr(i, width));
  return rows;
}

TEST(TerminalProgram, StartTextsAndMenu) {
  struct Case {
    int columns;
    const std::vector<std::string>* want;
  };
  for (const Case& c : {Case{80, &START_80}, Case{120, &START_120}}) {
    Options o;
    o.columns = c.columns;
    Terminal t(o);
    const int prompt_row = static_cast<int>(c.want->size()) - 1;
    ASSERT_TRUE(t.wait_for_row(prompt_row, "Operation:")) << t.screen();
    for (int y = 0; y < static_cast<int>(c.want->size()); ++y) EXPECT_EQ(t.row(y), (*c.want)[y]) << c.columns;
    EXPECT_EQ(t.cursor().row, prompt_row);
    EXPECT_EQ(t.cursor().col, 11);
    // Raw input while the program runs.
    EXPECT_EQ(t.settings().c_lflag & (ECHO | ICANON), 0u);
    EXPECT_NE(t.settings().c_lflag & ISIG, 0u);
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, WholeCycles) {
  Options o;
  o.earlier_output = "$ zahlwerk\r\n";
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(9, "Operation:")) << t.screen();
  EXPECT_EQ(t.row(0), "$ zahlwerk");
  EXPECT_EQ(t.row(1), START_80[0]);
  const char* cycles[] = {"+\r2\r3\r", "-\r2\r3\r", "x\r4\r2.5\r", "h\r2\r", "kf\r1\r"};
  int n = 1;
  for (const char* keys : cycles) {
    ASSERT_TRUE(t.wait_for_prompt(n++)) << t.all_text();
    t.type(keys);
  }
  ASSERT_TRUE(t.wait_for_prompt(n)) << t.all_text();
  const std::vector<std::string> want = {
      "Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5",
      "Operation: -", "Nummmer 1: 2", "Nummmer 2: 3", "Differenz: -1",
      "Operation: x", "Nummmer 1: 4", "Nummmer 2: 2.5", "Produkt:  10",
      "Operation: h", "Nummmer 1: 2", "Ergebnis:  100",
      "Operation: kf", "Nummmer 1: 1", "Ergebnis:  6.283185307179586",
      "Operation:",
  };
  // The screen has scrolled: compare the end of the transcript.
  const std::vector<std::string> lines = t.transcript();
  std::vector<std::string> tail;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == "Operation: +") {
      tail.assign(lines.begin() + static_cast<long>(i), lines.end());
      break;
    }
  }
  while (!tail.empty() && tail.back().empty()) tail.pop_back();
  EXPECT_EQ(tail, want) << t.all_text();
  finish_with_escape(t);
}

// Each case types keys at the first "Operation: " prompt, then Enter; the
// row shows the line as edited and, for a code, the cycle computes with it.
TEST(TerminalProgram, EditingKeys) {
  struct Case {
    const char* name;
    std::vector<std::string> keys;  // typed one after another
    std::string echo;               // the prompt row after Enter
    std::string result;             // "" when the line is no code
    int bells;
  };
  const Case cases[] = {
      {"left and insert", {"d", "\x1b[D", "k"}, "Operation: kd", "Ergebnis:  4", 0},
      {"left in application mode", {"d", "\x1bOD", "k"}, "Operation: kd", "Ergebnis:  4", 0},
      {"home, xterm", {"f", "\x1b[H", "k"}, "Operation: kf", "Ergebnis:  12.56637061435917", 0},
      {"home, tmux and linux", {"u", "\x1b[1~", "q"}, "Operation: qu", "Ergebnis:  8", 0},
      {"home, rxvt", {"f", "\x1b[7~", "q"}, "Operation: qf", "Ergebnis:  4", 0},
      {"home, application", {"r", "\x1bOH", "k"}, "Operation: kr", "Ergebnis:  1", 0},
      {"end in three forms", {"u", "\x1b[H", "\x1b[F", "\x1b[H", "\x1b[4~", "\x1b[H", "\x1bOF", "x"},
       "Operation: ux", "", 0},
      {"right", {"kd", "\x1b[H", "\x1b[C", "\x1b[C", "+"}, "Operation: kd+", "", 0},
      {"backspace as 127 and as 8", {"ab", "\x7f", "\b", "+"}, "Operation: +", "Summe:  5", 0},
      {"backspace at the start", {"\x7f", "+"}, "Operation: +", "Summe:  5", 0},
      {"delete", {"qxf", "\x1b[D", "\x1b[D", "\x1b[3~"}, "Operation: qf", "Ergebnis:  4", 0},
      {"delete at the end beeps", {"+", "\x1b[3~"}, "Operation: +", "Summe:  5", 1},
      {"tab", {"ab", "\x1b[H", "\t"}, "Operation: " + std::string(8, ' ') + "ab", "", 0},
      {"keys that change nothing",
       {"+", "\x1b[2~", "\x1b[5~", "\x1b[6~", "\x1bOP", "\x1b[15~", "\x1b[1;5D", "\x1b" "a", "\x1b[Z"},
       "Operation: +", "Summe:  5", 0},
      {"unknown sequences vanish whole", {"+", "\x1b[99~", "\x1b[1;5Y", "\x1b[?7u", "\x1bO~"}, "Operation: +",
       "Summe:  5", 0},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << c.name << "\n" << t.screen();
    // One write, as a terminal sends keys typed in a burst.
    std::string keys;
    for (const std::string& k : c.keys) keys += k;
    t.type(keys + "\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 1:")) << c.name << "\n" << t.screen();
    EXPECT_EQ(t.row(8), c.echo) << c.name;
    t.type("2\r");
    if (c.result.empty() || c.result.find("Summe") != std::string::npos) t.type("3\r");
    if (!c.result.empty()) {
      EXPECT_TRUE(t.wait_for_text(c.result)) << c.name << "\n" << t.screen();
    } else {
      EXPECT_TRUE(t.wait_for_text("Nummmer 2: 3\n")) << c.name << "\n" << t.screen();
    }
    EXPECT_EQ(t.bells(), c.bells) << c.name;
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, EscapeClearsTheLine) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("abcde");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: abcde"));
  t.type("\x1b[D\x1b[D\x1b");  // a lone Escape: settled when no byte follows
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation:" && t.cursor().col == 11; })) << t.screen();
  t.type("+\r2\r3\r");
  EXPECT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, UpAndDownOnAWrappedLine) {
  std::string digits;
  for (int i = 0; i < 100; ++i) digits.push_back(static_cast<char>('0' + i % 10));
  struct Case {
    const char* name;
    std::string keys;
    std::string want;
  };
  const Case cases[] = {
      {"up, insert, down, insert", digits + "\x1b[A" "X" "\x1b[B" "Y",
       digits.substr(0, 20) + "X" + digits.substr(20) + "Y"},
      {"application-mode arrows", digits + "\x1bOA" "X" "\x1bOB" "Y",
       digits.substr(0, 20) + "X" + digits.substr(20) + "Y"},
      {"up on the first row does nothing", "ab\x1b[AX", "abX"},
      {"down short of a row does nothing", digits.substr(0, 90) + "\x1b[H\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C"
                                               "\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[C\x1b[B" "Z",
       digits.substr(0, 11) + "Z" + digits.substr(11, 79)},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
    t.type(c.keys);
    t.type("\r");
    ASSERT_TRUE(t.wait_for_text("Nummmer 1:")) << c.name << "\n" << t.screen();
    const std::vector<std::string> rows = wrapped(c.want, 80);
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(t.row(8 + static_cast<int>(i)), rows[i]) << c.name;
    t.type("1\r1\r");
    finish_with_escape(t);
  }
}

TEST(TerminalProgram, LongLineEditedNearItsStart) {
  std::string text;
  for (int i = 0; i < 150; ++i) text.push_back(static_cast<char>('a' + i % 26));
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type(text);
  ASSERT_TRUE(t.wait_for_row(9, wrapped(text, 80)[1])) << t.screen();
  t.type("\x1b[H\x1b[C\x1b[CZZ\x1b[3~\x7f");  // Home, Right, Right, ZZ, Delete, Backspace
  const std::string want = text.substr(0, 2) + "Z" + text.substr(3);
  const std::vector<std::string> rows = wrapped(want, 80);
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == rows[0] && t.cursor().row == 8 && t.cursor().col == 14; }))
      << t.screen();
  EXPECT_EQ(t.row(9), rows[1]);
  EXPECT_EQ(t.row(10), rows[2]);
  EXPECT_EQ(t.row(11), "");
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, ScrollsAtTheBottomIntoTheScrollback) {
  Options o;
  for (int i = 0; i < 20; ++i) o.earlier_output += "shell line " + std::to_string(i) + "\r\n";
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_row(23, "Operation:")) << t.screen();
  t.type("+\r2\r3\r");
  ASSERT_TRUE(t.wait_for_prompt(2)) << t.screen();
  EXPECT_EQ(t.row(22), "Summe:  5");
  // Everything that was on the screen is still there, in order, above.
  std::vector<std::string> want;
  for (int i = 0; i < 20; ++i) want.push_back("shell line " + std::to_string(i));
  want.insert(want.end(), START_80.begin(), START_80.end() - 1);
  for (const char* line : {"Operation: +", "Nummmer 1: 2", "Nummmer 2: 3", "Summe:  5", "Operation:"})
    want.push_back(line);
  EXPECT_EQ(t.transcript(), want) << t.all_text();

  // A character typed into the last cell of the bottom row scrolls by one
  // row and leaves the cursor at the start of the bottom row.
  const std::string fill(69, 'w');
  t.type(fill);
  ASSERT_TRUE(t.wait_for([&] {
    return t.row(22) == "Operation: " + fill && t.cursor().row == 23 && t.cursor().col == 0;
  })) << t.screen();
  EXPECT_EQ(t.row(23), "");
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, Utf8CharactersTakeOneCellEach) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  // a-umlaut, euro sign, an arrow (not in the code page: no key), o-umlaut;
  // Left, u-umlaut.
  t.type("\xc3\xa4\xe2\x82\xac\xe2\x86\x92\xc3\xb6\x1b[D\xc3\xbc");
  // The cursor stands on the o-umlaut: one cell per character.
  ASSERT_TRUE(t.wait_for([&] {
    return t.row(8) == "Operation: \xc3\xa4\xe2\x82\xac\xc3\xbc\xc3\xb6" && t.cursor().col == 14;
  })) << t.screen();
  t.type("\x1b[H\x1b[C\x1b[3~");  // Home, Right, Delete: the euro sign goes
  ASSERT_TRUE(t.wait_for([&] { return t.row(8) == "Operation: \xc3\xa4\xc3\xbc\xc3\xb6" && t.cursor().col == 12; }))
      << t.screen() << t.cursor().col;
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, WaysToEndGiveTheTerminalBack) {
  struct Case {
    const char* name;
    std::function<void(Terminal&)> end;
    int signal;  // 0: exits with status 0
  };
  const Case cases[] = {
      {"escape after a cycle", [](Terminal& t) { t.type("+\r1\r2\r\x1b"); }, 0},
      {"ctrl+c at the prompt", [](Terminal& t) { t.type("12\x03"); }, SIGINT},
      {"ctrl+c while the cursor is hidden", [](Terminal& t) { t.type(std::string(300, 'z') + "\x1b[H\x03"); },
       SIGINT},
      {"ctrl+backslash", [](Terminal& t) { t.type("\x1c"); }, SIGQUIT},
      {"sigterm", [](Terminal& t) { ::kill(t.program(), SIGTERM); }, SIGTERM},
      {"sighup", [](Terminal& t) { ::kill(t.program(), SIGHUP); }, SIGHUP},
      {"a crash", [](Terminal& t) { ::kill(t.program(), SIGSEGV); }, SIGSEGV},
      {"an abort", [](Terminal& t) { ::kill(t.program(), SIGABRT); }, SIGABRT},
  };
  for (const Case& c : cases) {
    Terminal t(Options{});
    ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << c.name << "\n" << t.screen();
    c.end(t);
    int status = -1;
    ASSERT_TRUE(t.wait_end(&status)) << c.name;
    if (c.signal == 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name << " status " << status;
    } else if (c.signal == SIGSEGV || c.signal == SIGABRT) {
      // A sanitizer's handler may end the process its own way.
      EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)) << c.name;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.name << " status " << status;
    }
    EXPECT_TRUE(same_settings(t.settings(), t.settings_before())) << c.name;
    EXPECT_TRUE(t.cursor_visible()) << c.name;
  }
}

TEST(TerminalProgram, CtrlZStopsWithTheTerminalGivenBack) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("+");
  // (Ctrl+Z makes the terminal drop what has not been read yet.)
  ASSERT_TRUE(t.wait_for_row(8, "Operation: +")) << t.screen();
  t.type("\x1a");
  int status = -1;
  ASSERT_TRUE(t.wait_status(&status));
  ASSERT_TRUE(WIFSTOPPED(status)) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  ::kill(t.program(), SIGCONT);
  // Raw again, and the line goes on where it was.
  ASSERT_TRUE(t.wait_for([&] { return (t.settings().c_lflag & ECHO) == 0; }));
  t.type("\r2\r3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  EXPECT_EQ(t.row(8), "Operation: +");
  finish_with_escape(t);
}

TEST(TerminalProgram, ClosingTheTerminalEndsTheProgram) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.type("12");
  ASSERT_TRUE(t.wait_for_row(8, "Operation: 12"));
  t.hang_up();
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST(TerminalProgram, ClosingTheTerminalEndsTheInputLikeTheEndOfAStream) {
  // The line being typed counts, as a stream's last line does without its
  // line end; the cycle is finished and its output handed on.
  Options o;
  o.output_to_file = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  t.type("+\r2\r3");
  ASSERT_TRUE(t.wait_for([&] { return t.output_file().find("Nummmer 2: 3") != std::string::npos; }))
      << t.output_file();
  t.hang_up();
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  const std::string out = t.output_file();
  EXPECT_NE(out.find("Nummmer 2: 3\r\nSumme:  5\r\n"), std::string::npos) << out;
}

TEST(TerminalProgram, KeysTypedBeforeTheCursorReportAreKept) {
  Terminal t(Options{});
  t.hold_answers();
  ASSERT_TRUE(t.wait_for([&] { return t.answers_held(); }));
  t.type("+\r2\r");
  t.release_answers();
  t.type("3\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  5")) << t.screen();
  EXPECT_EQ(t.row(8), "Operation: +");
  finish_with_escape(t);
}

TEST(TerminalProgram, ATerminalThatDoesNotAnswerStillWorks) {
  Options o;
  o.answer_requests = false;
  o.earlier_output = "$ zahlwerk\r\n";
  Terminal t(o);
  // Without an answer the cursor is taken to be at the start of the bottom
  // row: the output scrolls up from there.
  ASSERT_TRUE(t.wait_for_row(23, "Operation:")) << t.screen();
  for (int y = 0; y < 9; ++y) EXPECT_EQ(t.row(15 + y), START_80[y]);
  EXPECT_EQ(t.transcript()[0], "$ zahlwerk");
  t.type("+\r2\r3\r");
  ASSERT_TRUE(t.wait_for_row(22, "Summe:  5")) << t.screen();
  finish_with_escape(t);
}

TEST(TerminalProgram, SizeChangesAreSeen) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_row(8, "Operation:")) << t.screen();
  t.resize(100, 24);
  t.type("+\r1\r2\r");
  ASSERT_TRUE(t.wait_for_text("Summe:  3")) << t.screen();
  // The next line is edited on the wider screen.
  const std::string text(95, 'q');
  t.type(text);
  const std::vector<std::string> rows = wrapped(text, 100);
  ASSERT_TRUE(t.wait_for_row(13, rows[1])) << t.screen();
  EXPECT_EQ(t.row(12), rows[0]);
  t.type("\r1\r1\r");
  ASSERT_TRUE(t.wait_for_text("Nummmer 2: 1")) << t.screen();
  finish_with_escape(t);
}

// The rows within which output scrolls are fixed at the first output; a
// screen grown taller afterwards keeps its new rows out of the scrolling.
TEST(TerminalProgram, ARegionShorterThanTheScreenScrollsInItsMargin) {
  Terminal t(Options{});
  ASSERT_TRUE(t.wait_for_prompt(1)) << t.screen();
  t.resize(80, 30);
  int n = 1;
  for (int cycle = 0; cycle < 6; ++cycle) {
    ASSERT_TRUE(t.wait_for_prompt(n++)) << t.screen();
    t.type("+\r" + std::to_string(cycle) + "\r1\r");
  }
  ASSERT_TRUE(t.wait_for([&] { return t.row(23) == "Operation:" && t.row(22) == "Summe:  6"; })) << t.screen();
  EXPECT_EQ(t.row(21), "Nummmer 2: 1");
  EXPECT_EQ(t.row(20), "Nummmer 1: 5");
  for (int y = 24; y < 30; ++y) EXPECT_EQ(t.row(y), "") << y;
  EXPECT_EQ(t.cursor().row, 23);
  finish_with_escape(t);
}

TEST(TerminalProgram, RedirectedOutputWithKeysFromTheTerminal) {
  Options o;
  o.output_to_file = true;
  Terminal t(o);
  ASSERT_TRUE(t.wait_for_raw());
  t.type("+\r2\r3\r\x1b");
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  const std::string out = t.output_file();
  EXPECT_EQ(out.rfind("### Zahlwerk-ZW ### V.1.1 ###\r\n", 0), 0u) << out;
  EXPECT_NE(out.find("Operation: +"), std::string::npos) << out;
  EXPECT_NE(out.find("Summe:  5\r\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << "no escape sequence goes to a file";
  EXPECT_EQ(t.all_text(), std::string(24, '\n')) << "nothing on the screen";
}

TEST(TerminalProgram, RedirectedInputWithTheScreen) {
  Options o;
  o.input_from_file = true;
  o.input = "+,2,3\nkd,4\n";
  Terminal t(o);
  int status = -1;
  ASSERT_TRUE(t.wait_end(&status));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  EXPECT_TRUE(same_settings(t.settings(), t.settings_before()));
  ASSERT_TRUE(t.wait_for_text("Summe:  5\nErgebnis:  8\n")) << t.all_text();
  EXPECT_NE(t.all_text().find(START_80[0]), std::string::npos);
}

}  // namespace

#else

TEST(TerminalProgram, NeedsLibvterm) { GTEST_SKIP() << "libvterm not found: terminal tests not built"; }

#endif  // ZW_HAVE_VTERM
