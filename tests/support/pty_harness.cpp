#include "support/pty_harness.h"

#include <cstring>

namespace zw::e2e {

bool same_settings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace zw::e2e

#ifdef ZW_HAVE_VTERM

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "support/pty_spawn.h"

namespace zw::e2e {
namespace {

constexpr auto PATIENCE = std::chrono::seconds(20);

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

}  // namespace

Terminal::Terminal(const Options& o) : options_(o) {
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
      &Terminal::on_pushline, &Terminal::on_popline};
  vterm_screen_set_callbacks(screen_, &callbacks, this);
  vterm_screen_reset(screen_, 1);
  if (!o.earlier_output.empty()) vterm_input_write(vt_, o.earlier_output.data(), o.earlier_output.size());
  start();
}

Terminal::~Terminal() {
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
  close_output();
  if (!input_path_.empty()) ::unlink(input_path_.c_str());
  if (!output_path_.empty()) ::unlink(output_path_.c_str());
}

void Terminal::type(const std::string& bytes) {
  ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void Terminal::paste(const std::string& bytes) {
  const int flags = ::fcntl(master_, F_GETFL);
  ::fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  size_t done = 0;
  const auto until = std::chrono::steady_clock::now() + PATIENCE;
  while (done < bytes.size() && std::chrono::steady_clock::now() < until) {
    pollfd p{master_, POLLIN | POLLOUT, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    if (p.revents & POLLIN) pump(0);
    if (p.revents & POLLOUT) {
      const ssize_t n = ::write(master_, bytes.data() + done, std::min<size_t>(bytes.size() - done, 4096));
      if (n > 0) done += static_cast<size_t>(n);
    }
  }
  ::fcntl(master_, F_SETFL, flags);
  EXPECT_EQ(done, bytes.size()) << "the program stopped taking input";
}

long Terminal::peak_rss_kib() const {
  const std::string path = "/proc/" + std::to_string(program_) + "/status";
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(f);
  return kib;
}

bool Terminal::wait_for(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + PATIENCE;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    pump(10);
  }
  return true;
}

bool Terminal::wait_for_row(int y, const std::string& text) {
  return wait_for([&] { return row(y) == text; });
}

bool Terminal::wait_for_text(const std::string& text) {
  return wait_for([&] { return all_text().find(text) != std::string::npos; });
}

bool Terminal::wait_for_prompt(int n) {
  return wait_for([&] {
    int prompts = 0;
    for (const std::string& line : transcript()) prompts += line.rfind("Operation:", 0) == 0;
    const VTermPos c = cursor();
    return prompts == n && row(c.row) == "Operation:" && c.col == 11;
  });
}

bool Terminal::wait_for_raw() {
  return wait_for([&] { return (settings().c_lflag & (ECHO | ICANON)) == 0; });
}

std::string Terminal::row(int y) const {
  std::string s;
  for (int x = 0; x < options_.columns; ++x) {
    VTermScreenCell cell;
    vterm_screen_get_cell(screen_, VTermPos{y, x}, &cell);
    append_utf8(&s, cell.chars[0] == 0 ? ' ' : cell.chars[0]);
  }
  return trim_right(s);
}

std::string Terminal::screen() const {
  std::string s;
  for (int y = 0; y < options_.rows; ++y) {
    s += '|';
    s += row(y);
    s += '\n';
  }
  return s;
}

std::vector<std::string> Terminal::transcript() const {
  std::vector<std::string> lines = scrollback_;
  for (int y = 0; y < options_.rows; ++y) lines.push_back(row(y));
  return lines;
}

std::string Terminal::all_text() const {
  std::string s;
  for (const std::string& line : transcript()) s += line + "\n";
  return s;
}

VTermPos Terminal::cursor() const {
  VTermPos pos;
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return pos;
}

termios Terminal::settings() const {
  termios t{};
  ::tcgetattr(slave_, &t);
  return t;
}

bool Terminal::wait_status(int* status) {
  const auto until = std::chrono::steady_clock::now() + PATIENCE;
  for (;;) {
    pump(0);
    pty::Report report;
    if (pty::next_report(pty::Job{session_, program_, status_pipe_}, &report)) {
      *status = report.status;
      if (WIFEXITED(report.status) || WIFSIGNALED(report.status)) ended_ = true;
      return true;
    }
    if (std::chrono::steady_clock::now() > until) return false;
    pollfd p[2] = {{status_pipe_, POLLIN, 0}, {master_, POLLIN, 0}};
    ::poll(p, 2, 10);
  }
}

bool Terminal::wait_end(int* status) {
  while (wait_status(status)) {
    if (WIFEXITED(*status) || WIFSIGNALED(*status)) return true;
  }
  return false;
}

void Terminal::release_answers() {
  holding_ = false;
  if (!held_.empty()) type(held_);
  held_.clear();
}

int Terminal::reports_held() const { return static_cast<int>(std::count(held_.begin(), held_.end(), 'R')); }

void Terminal::pause(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) pump(10);
}

std::string Terminal::pending_input() {
  pump(50);  // what the terminal itself sent in answer is in by now
  const termios was = settings();
  termios raw = was;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(slave_, TCSANOW, &raw);
  std::string s;
  char buf[256];
  ssize_t n;
  while ((n = ::read(slave_, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
  ::tcsetattr(slave_, TCSANOW, &was);
  return s;
}

void Terminal::resize(int columns, int rows) {
  options_.columns = columns;
  options_.rows = rows;
  vterm_set_size(vt_, rows, columns);
  if (options_.resize_moves_cursor_right) vterm_input_write(vt_, "\x1b[C", 3);
  winsize ws{};
  ws.ws_col = static_cast<unsigned short>(columns);
  ws.ws_row = static_cast<unsigned short>(rows);
  ::ioctl(master_, TIOCSWINSZ, &ws);
}

void Terminal::stop_output() { ::tcflow(slave_, TCOOFF); }

void Terminal::start_output() { ::tcflow(slave_, TCOON); }

void Terminal::hang_up() {
  ::close(master_);
  master_ = -1;
}

void Terminal::close_output() {
  if (output_pipe_[0] >= 0) ::close(output_pipe_[0]);
  output_pipe_[0] = -1;
}

std::string Terminal::output_file() const {
  std::string s;
  if (FILE* f = std::fopen(output_path_.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
  }
  return s;
}

void Terminal::on_output(const char* s, size_t len, void* user) {
  auto* t = static_cast<Terminal*>(user);
  if (!t->options_.answer_requests) return;
  // Each answer comes in a call of its own.
  if (!t->options_.answer_cursor_requests && len > 2 && s[0] == '\x1b' && s[1] == '[' && s[len - 1] == 'R') return;
  if (t->options_.answer_delay_ms > 0) {
    t->delayed_.emplace_back(std::chrono::steady_clock::now() + std::chrono::milliseconds(t->options_.answer_delay_ms),
                             std::string(s, len));
    return;
  }
  if (t->holding_) {
    t->held_.append(s, len);
    return;
  }
  if (t->master_ >= 0) [[maybe_unused]] ssize_t n = ::write(t->master_, s, len);
}

int Terminal::on_termprop(VTermProp prop, VTermValue* val, void* user) {
  if (prop == VTERM_PROP_CURSORVISIBLE) static_cast<Terminal*>(user)->cursor_visible_ = val->boolean;
  return 1;
}

int Terminal::on_bell(void* user) {
  ++static_cast<Terminal*>(user)->bells_;
  return 1;
}

int Terminal::on_pushline(int cols, const VTermScreenCell* cells, void* user) {
  std::string s;
  for (int x = 0; x < cols; ++x) append_utf8(&s, cells[x].chars[0] == 0 ? ' ' : cells[x].chars[0]);
  auto* t = static_cast<Terminal*>(user);
  t->scrollback_.push_back(trim_right(s));
  t->scrollback_cells_.emplace_back(cells, cells + cols);
  return 1;
}

// libvterm asks for a row back when the screen grows taller; it gets the
// newest row of the scrollback, cut or padded to the new width.
int Terminal::on_popline(int cols, VTermScreenCell* cells, void* user) {
  auto* t = static_cast<Terminal*>(user);
  if (!t->options_.pull_scrollback || t->scrollback_cells_.empty()) return 0;
  const std::vector<VTermScreenCell>& row = t->scrollback_cells_.back();
  VTermScreenCell blank{};
  blank.width = 1;
  for (int x = 0; x < cols; ++x) cells[x] = x < static_cast<int>(row.size()) ? row[static_cast<size_t>(x)] : blank;
  t->scrollback_cells_.pop_back();
  t->scrollback_.pop_back();
  return 1;
}

void Terminal::pump(int timeout_ms) {
  if (master_ < 0) return;
  const auto now = std::chrono::steady_clock::now();
  while (!delayed_.empty() && delayed_.front().first <= now) {
    type(delayed_.front().second);
    delayed_.erase(delayed_.begin());
  }
  pollfd p{master_, POLLIN, 0};
  if (::poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return;
  char buf[8192];
  const ssize_t n = ::read(master_, buf, sizeof buf);
  if (n <= 0) return;
  if (options_.kitty_keyboard) keyboard_requests(buf, static_cast<size_t>(n));
  if (!options_.utf8) {
    // A Latin-1 terminal: each byte one cell, shown as the character of its
    // number.
    std::string latin1;
    for (ssize_t i = 0; i < n; ++i) append_utf8(&latin1, static_cast<uint8_t>(buf[i]));
    vterm_input_write(vt_, latin1.data(), latin1.size());
    return;
  }
  std::string out(buf, static_cast<size_t>(n));
  if (options_.query_restores_cursor) {
    for (size_t at = out.find("\x1b[?u"); at != std::string::npos; at = out.find("\x1b[?u", at))
      out.replace(at, 4, "\x1b" "8");
  }
  // After each cursor restore, the cursor placed where it stands: no wrap
  // is pending any more.
  size_t done = 0;
  for (size_t at = out.find("\x1b" "8"); options_.restore_drops_wrap && at != std::string::npos;
       at = out.find("\x1b" "8", done)) {
    done = at + 2;
    vterm_input_write(vt_, out.data(), done);
    out.erase(0, done);
    done = 0;
    const VTermPos c = cursor();
    const std::string place = "\x1b[" + std::to_string(c.row + 1) + ";" + std::to_string(c.col + 1) + "H";
    vterm_input_write(vt_, place.data(), place.size());
  }
  vterm_input_write(vt_, out.data(), out.size());
}

// The kitty keyboard protocol's query, push and pop, as a terminal that
// speaks it takes them (each within one read). The answer goes out before
// the emulator answers what follows in the same read.
void Terminal::keyboard_requests(const char* s, size_t len) {
  const std::string out(s, len);
  for (size_t at = out.find("\x1b["); at != std::string::npos; at = out.find("\x1b[", at + 1)) {
    size_t end = at + 2;
    while (end < out.size() && out[end] >= 0x20 && out[end] <= 0x3F) ++end;
    if (end >= out.size() || out[end] != 'u' || end == at + 2) continue;
    const std::string params = out.substr(at + 2, end - at - 2);
    if (params == "?") {
      const std::string answer = "\x1b[?" + std::to_string(keyboard_flags_) + "u";
      on_output(answer.data(), answer.size(), this);
    } else if (params[0] == '>') {
      keyboard_stack_.push_back(keyboard_flags_);
      keyboard_flags_ = std::atoi(params.c_str() + 1);
    } else if (params[0] == '<') {
      keyboard_flags_ = keyboard_stack_.empty() ? 0 : keyboard_stack_.back();
      if (!keyboard_stack_.empty()) keyboard_stack_.pop_back();
    }
  }
}

std::string Terminal::temp_file(const std::string& content) {
  char path[] = "/tmp/zw_pty_XXXXXX";
  const int fd = ::mkstemp(path);
  if (!content.empty()) [[maybe_unused]] ssize_t n = ::write(fd, content.data(), content.size());
  ::close(fd);
  return path;
}

// The program as the foreground job of a session of its own on the
// terminal, as a terminal emulator and a shell start it.
void Terminal::start() {
  if (options_.input_from_file) input_path_ = temp_file(options_.input);
  if (options_.output_to_file) output_path_ = temp_file("");
  if (options_.output_to_pipe) {
    ASSERT_EQ(::pipe(output_pipe_), 0);
  }
  const int in = options_.input_from_file ? ::open(input_path_.c_str(), O_RDONLY) : -1;
  const int out = options_.output_to_file   ? ::open(output_path_.c_str(), O_WRONLY | O_TRUNC)
                  : options_.output_to_pipe ? output_pipe_[1]
                                            : -1;
  const std::string lang = "LANG=" + options_.locale;
  const std::string all = "LC_ALL=" + options_.locale;
  const std::string term = "TERM=" + options_.term;
  std::vector<char*> env = {const_cast<char*>(term.c_str())};
  if (!options_.locale.empty()) {
    env.push_back(const_cast<char*>(lang.c_str()));
    env.push_back(const_cast<char*>(all.c_str()));
  }
  // With a shell command, sh runs it as the job, the program's path in ZW.
  std::string zw = "ZW=" ZW_BINARY;
  std::string sh = "/bin/sh", dash_c = "-c", command = options_.shell_command;
  char* const program_argv[] = {const_cast<char*>(ZW_BINARY), nullptr};
  char* const shell_argv[] = {sh.data(), dash_c.data(), command.data(), nullptr};
  const bool shell = !options_.shell_command.empty();
  char* const* argv = shell ? shell_argv : program_argv;
  std::vector<int> parent_only = {master_};
  if (output_pipe_[0] >= 0) parent_only.push_back(output_pipe_[0]);
  if (shell) env.push_back(zw.data());
  env.push_back(nullptr);
  const pty::Job job = pty::spawn(slave_, in, out, parent_only, argv, env.data());
  if (options_.input_from_file) ::close(in);
  if (out >= 0) ::close(out);
  output_pipe_[1] = -1;
  ASSERT_GT(job.program, 0) << "the program did not start";
  session_ = job.session;
  program_ = job.program;
  status_pipe_ = job.reports;
}


}  // namespace zw::e2e

#endif  // ZW_HAVE_VTERM
