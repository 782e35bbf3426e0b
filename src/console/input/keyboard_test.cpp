#include "console/input/keyboard.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "console/console_binding.h"
#include "console/console.h"
#include "testing/virtual_console.h"

namespace zw {
namespace {

constexpr uint32_t ALT = KeyState::LEFT_ALT;
constexpr uint32_t ALTGR = KeyState::RIGHT_ALT | KeyState::LEFT_CTRL;
constexpr uint32_t CTRL = KeyState::LEFT_CTRL;
constexpr uint32_t SHIFT = KeyState::SHIFT;
constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint16_t VKEY_F4 = VKEY_F1 + 3;

const std::string CLOSE_TEXT = "\xFF" "k";

std::string ext_text(int n) { return std::string{'\xFF', static_cast<char>(n)}; }

TEST(TranslateKeyEvent, ModifierColumnsAndCharacters) {
  struct Case {
    const char* name;
    uint8_t ch;
    uint16_t sc, vk;
    uint32_t ks;
    KeyCode want;
  };
  const Case cases[] = {
      {"Esc", 27, 0x01, VKEY_ESCAPE, 0, 27},
      {"Shift+Esc", 27, 0x01, VKEY_ESCAPE, SHIFT, 27},
      {"Ctrl+Esc", 27, 0x01, VKEY_ESCAPE, CTRL, 27},
      {"Alt+Esc", 27, 0x01, VKEY_ESCAPE, ALT, extended_key(0x01)},
      {"F1", 0, 0x3B, VKEY_F1, 0, extended_key(0x3B)},
      {"Shift+F1", 0, 0x3B, VKEY_F1, SHIFT, extended_key(0x54)},
      {"Ctrl+F1", 0, 0x3B, VKEY_F1, CTRL, extended_key(0x5E)},
      {"Ctrl+Shift+F1 takes Ctrl", 0, 0x3B, VKEY_F1, CTRL | SHIFT, extended_key(0x5E)},
      {"Alt+F4", 0, 0x3E, VKEY_F4, ALT, CLOSE_KEY},
      {"F11", 0, 0x57, VKEY_F1 + 10, 0, extended_key(0x85)},
      {"Shift+F12", 0, 0x58, VKEY_F12, SHIFT, extended_key(0x88)},
      {"Alt+Ctrl+F12 takes Alt", 0, 0x58, VKEY_F12, ALT | CTRL, extended_key(0x8C)},
      {"gray Up", 0, 0x48, VKEY_UP, ENH, extended_key(0x48)},
      {"keypad 8, Num Lock off", 0, 0x48, VKEY_UP, 0, extended_key(0x48)},
      {"keypad 8, Num Lock on", '8', 0x48, VKEY_NUMPAD0 + 8, KeyState::NUM_LOCK, '8'},
      {"Ctrl+gray Up", 0, 0x48, VKEY_UP, ENH | CTRL, extended_key(0x8D)},
      {"Alt+gray Up", 0, 0x48, VKEY_UP, ENH | ALT, extended_key(0x98)},
      {"Shift+gray Delete", 0, 0x53, VKEY_DELETE, ENH | SHIFT, extended_key(0x53)},
      {"Alt+keypad 8, Num Lock off", 0, 0x48, VKEY_UP, ALT, NO_KEY},
      {"Alt+keypad 5, Num Lock off", 0, 0x4C, VKEY_CLEAR, ALT, extended_key(0x4C)},
      {"a", 'a', 0x1E, 'A', 0, 'a'},
      {"Shift+a", 'A', 0x1E, 'A', SHIFT, 'A'},
      {"Ctrl+a", 1, 0x1E, 'A', CTRL, 1},
      {"Alt+a", 'a', 0x1E, 'A', ALT, extended_key(0x1E)},
      {"Alt+A with Caps Lock", 'A', 0x1E, 'A', ALT | KeyState::CAPS_LOCK, extended_key(0x1E)},
      {"Alt+2", '2', 0x03, '2', ALT, extended_key(0x79)},
      {"AltGr+7 is {", '{', 0x08, '7', ALTGR, '{'},
      {"Shift+Tab", 9, 0x0F, VKEY_TAB, SHIFT, extended_key(0x0F)},
      {"Ctrl+Tab", 9, 0x0F, VKEY_TAB, CTRL, extended_key(0x94)},
      {"Ctrl+Enter", 10, 0x1C, VKEY_RETURN, CTRL, 10},
      {"Alt+Enter", 13, 0x1C, VKEY_RETURN, ALT, extended_key(0x1C)},
      {"keypad Enter", 13, 0x1C, VKEY_RETURN, ENH, 13},
      {"keypad Enter, no character", 0, 0x1C, VKEY_RETURN, ENH, 13},
      {"Ctrl+keypad Enter, no character", 0, 0x1C, VKEY_RETURN, ENH | CTRL, 10},
      {"Alt+keypad Enter, no character", 0, 0x1C, VKEY_RETURN, ENH | ALT, extended_key(0xA6)},
      {"keypad /", '/', 0x35, VKEY_DIVIDE, ENH, '/'},
      {"Shift+keypad /, no character", 0, 0x35, VKEY_DIVIDE, ENH | SHIFT, '?'},
      {"Ctrl+keypad /, no character", 0, 0x35, VKEY_DIVIDE, ENH | CTRL, extended_key(0x95)},
      {"right Ctrl alone", 0, 0x1D, VKEY_CONTROL, ENH | CTRL, NO_KEY},
      {"Shift alone", 0, 0x2A, VKEY_SHIFT, SHIFT, NO_KEY},
      {"Alt alone", 0, 0x38, VKEY_MENU, ALT, NO_KEY},
      {"Ctrl+Space", ' ', 0x39, VKEY_SPACE, CTRL, ' '},
      {"beyond the table, character", 'x', 0x70, 0, CTRL, 'x'},
      {"beyond the table, none", 0, 0x70, 0, 0, NO_KEY},
      {"scan code far beyond", 0, 0xFFFF, 0, ALT, NO_KEY},
      {"high byte", 0xE4, 0x28, 0, 0, 0xE4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(translate_key_event(c.ch, c.sc, c.ks, us_layout_vk_char(c.vk)), c.want)
        << c.name;
  }
}

// The port's key character can be wider than a byte or carry flag bits.
TEST(TranslateKeyEvent, KeyCharacterFromThePort) {
  struct Case {
    const char* name;
    uint8_t ch;
    uint16_t sc;
    uint32_t ks;
    unsigned map;
    KeyCode want;
  };
  const Case cases[] = {
      {"dead key flag ignored", '^', 0x29, ALT, 0x8000005Eu, extended_key(0x29)},
      {"upper bits ignored", 'a', 0x1E, ALT, 0x12340061u, extended_key(0x1E)},
      {"wide character never matches a byte", 'a', 0x1E, ALT, 0x0141u, 'a'},
      {"wide character, uppercase byte", 'A', 0x1E, ALT, 0x0161u, 'A'},
      {"high byte matches itself", 0xE4, 0x28, ALT, 0xE4u, extended_key(0x28)},
      {"high byte, other character", 0xC4, 0x28, ALT, 0xE4u, 0xC4},
  };
  for (const Case& c : cases)
    EXPECT_EQ(translate_key_event(c.ch, c.sc, c.ks, c.map), c.want) << c.name;
}

TEST(KeyText, OneByteOrTwo) {
  struct Case {
    KeyCode code;
    std::string want;
  };
  const Case cases[] = {
      {27, "\x1b"},
      {0, std::string(1, '\0')},
      {255, "\xFF"},
      {extended_key(0x3B), "\xFF\x3B"},
      {extended_key(0x48), "\xFF\x48"},
      {0x6BFF, "\xFF\x6B"},
  };
  for (const Case& c : cases) EXPECT_EQ(key_text(c.code), c.want) << c.code;
}

InputRecord key(bool down, uint8_t ch, uint16_t sc, uint16_t vk, uint32_t ks,
                uint16_t repeat = 1) {
  InputRecord r;
  r.type = InputEventKind::KEY;
  r.key.key_down = down;
  r.key.repeat_count = repeat;
  r.key.ch = ch;
  r.key.scan_code = sc;
  r.key.virtual_key = vk;
  r.key.control_state = ks;
  return r;
}

InputRecord other_event(InputEventKind type) {
  InputRecord r;
  r.type = type;
  return r;
}

// Keypad digits typed with Num Lock on and Alt held, as the console reports
// them: no character.
std::vector<InputRecord> alt_digits(const std::string& digits) {
  static const uint16_t kScan[] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
  std::vector<InputRecord> ev;
  for (char d : digits) {
    const int n = d - '0';
    const auto vk = static_cast<uint16_t>(VKEY_NUMPAD0 + n);
    ev.push_back(key(true, 0, kScan[n], vk, ALT | KeyState::NUM_LOCK));
    ev.push_back(key(false, 0, kScan[n], vk, ALT | KeyState::NUM_LOCK));
  }
  return ev;
}

const InputRecord ALT_DOWN = key(true, 0, 0x38, VKEY_MENU, ALT);
const InputRecord ALT_UP = key(false, 0, 0x38, VKEY_MENU, 0);

std::vector<InputRecord> join(std::initializer_list<std::vector<InputRecord>> parts) {
  std::vector<InputRecord> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override { reset_console(*con, &vc); }
  // The control handler must not outlive this console.
  void TearDown() override { remove_ctrl_handler(*con); }

  std::vector<std::string> drain() {
    std::vector<std::string> got;
    for (KeyText t; (t = poll_key(*con)).length != 0;) got.emplace_back(t.view());
    return got;
  }

  VirtualConsole vc{80, 25, 25};
  std::unique_ptr<Console> con = std::make_unique<Console>();
};

TEST_F(KeyboardTest, EmptyQueueAnswersAtOnceAndBindsTheConsole) {
  EXPECT_EQ(poll_key(*con), "");
  EXPECT_FALSE(key_waiting(*con));
  EXPECT_TRUE(vc.processed_input);
  EXPECT_NE(vc.ctrl_handler, nullptr);
  // The handler is registered once, however often the queue is pumped.
  int registrations = 0;
  for (const std::string& c : vc.calls) registrations += c == "add_ctrl_handler";
  EXPECT_EQ(registrations, 1);
}

TEST_F(KeyboardTest, EventScripts) {
  struct Case {
    const char* name;
    std::vector<InputRecord> events;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"Alt, keypad 6 5, Alt up", join({{ALT_DOWN}, alt_digits("65"), {ALT_UP}}), {"A"}},
      {"321 wraps to 65", join({{ALT_DOWN}, alt_digits("321"), {ALT_UP}}), {"A"}},
      {"256 gives byte 0", join({{ALT_DOWN}, alt_digits("256"), {ALT_UP}}), {std::string(1, '\0')}},
      {"0 alone gives nothing", join({{ALT_DOWN}, alt_digits("0"), {ALT_UP}}), {}},
      {"2^32 + 65 wraps to 65", join({{ALT_DOWN}, alt_digits("4294967361"), {ALT_UP}}), {"A"}},
      {"Alt repeats keep the entry",
       join({{ALT_DOWN}, alt_digits("6"), {ALT_DOWN, ALT_DOWN}, alt_digits("6"), {ALT_UP}}),
       {"B"}},
      {"Alt+X drops the entry",
       join({{ALT_DOWN},
             alt_digits("65"),
             {key(true, 'x', 0x2D, 'X', ALT), key(false, 'x', 0x2D, 'X', ALT), ALT_UP}}),
       {ext_text(0x2D)}},
      {"entry then a key",
       join({{ALT_DOWN}, alt_digits("97"), {ALT_UP}, {key(true, 'b', 0x30, 'B', 0)}}),
       {"a", "b"}},
      {"Shift held: no entry",
       {ALT_DOWN, key(true, 0, 0x4D, VKEY_NUMPAD0 + 6, ALT | SHIFT),
        key(false, 0, 0x4D, VKEY_NUMPAD0 + 6, ALT | SHIFT), ALT_UP},
       {}},
      {"Alt+keypad 5 with Num Lock off is a key",
       {ALT_DOWN, key(true, 0, 0x4C, VKEY_CLEAR, ALT), key(false, 0, 0x4C, VKEY_CLEAR, ALT), ALT_UP},
       {ext_text(0x4C)}},
      {"repeat count 5 gives one code", {key(true, 'z', 0x2C, 'Z', 0, 5)}, {"z"}},
      {"repeat count 0 gives none", {key(true, 'z', 0x2C, 'Z', 0, 0)}, {}},
      {"key-up alone gives none", {key(false, 'z', 0x2C, 'Z', 0)}, {}},
      {"mouse, window, menu and focus events are dropped",
       {other_event(InputEventKind::MOUSE), other_event(InputEventKind::BUFFER_SIZE),
        key(true, 'q', 0x10, 'Q', 0), other_event(InputEventKind::MENU),
        other_event(InputEventKind::FOCUS)},
       {"q"}},
      {"Escape with modifiers",
       {key(true, 27, 0x01, VKEY_ESCAPE, 0), key(true, 27, 0x01, VKEY_ESCAPE, SHIFT),
        key(true, 27, 0x01, VKEY_ESCAPE, CTRL), key(true, 27, 0x01, VKEY_ESCAPE, ALT)},
       {"\x1b", "\x1b", "\x1b", ext_text(0x01)}},
  };
  for (const Case& c : cases) {
    reset_console(*con, &vc);
    for (const InputRecord& r : c.events) vc.push_event(r);
    EXPECT_EQ(drain(), c.want) << c.name;
    EXPECT_EQ(vc.pending_events(), 0u) << c.name;
  }
}

TEST_F(KeyboardTest, PortHelpersGiveTheDocumentedCodes) {
  vc.press_function(1);
  vc.press_function(1, SHIFT);
  vc.press_function(4, ALT);
  vc.press_function(12, CTRL);
  vc.press_enhanced(VKEY_LEFT, 0x4B);
  vc.press_enhanced(VKEY_HOME, 0x47, CTRL);
  vc.type("7\r\x1b");
  EXPECT_EQ(drain(), (std::vector<std::string>{ext_text(0x3B), ext_text(0x54), CLOSE_TEXT,
                                               ext_text(0x8A), ext_text(0x4B), ext_text(0x77),
                                               "7", "\r", "\x1b"}));
}

// One call moves every waiting event into the queue, which keeps the last
// 511 codes.
TEST_F(KeyboardTest, FullQueueKeepsTheNewest511) {
  for (int i = 0; i < 600; ++i) {
    const auto ch = static_cast<uint8_t>('a' + i % 26);
    vc.push_event(key(true, ch, 0, 0, 0));
  }
  for (int i = 600 - 511; i < 600; ++i) {
    ASSERT_EQ(poll_key(*con), std::string(1, static_cast<char>('a' + i % 26))) << i;
  }
  EXPECT_EQ(poll_key(*con), "");
  EXPECT_FALSE(key_waiting(*con));
}

TEST_F(KeyboardTest, KeysWaitUntilTaken) {
  vc.type("ab");
  EXPECT_TRUE(key_waiting(*con));
  EXPECT_TRUE(key_waiting(*con));
  EXPECT_EQ(poll_key(*con), "a");
  EXPECT_EQ(poll_key(*con), "b");
  EXPECT_FALSE(key_waiting(*con));
}

TEST_F(KeyboardTest, InputThatCannotBeReadGivesNoKeys) {
  struct Case {
    const char* name;
    bool redirect, peek_fails, read_fails;
  };
  const Case cases[] = {
      {"redirected", true, false, false},
      {"peek fails", false, true, false},
      {"read fails", false, false, true},
  };
  for (const Case& c : cases) {
    VirtualConsole port(80, 25, 25);
    if (c.redirect) port.redirect_input("1,2\r\n");
    port.fail.peek = c.peek_fails;
    port.fail.read = c.read_fails;
    reset_console(*con, &port);
    port.type("x\x1b");
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(poll_key(*con), "") << c.name;
      EXPECT_FALSE(key_waiting(*con)) << c.name;
    }
    remove_ctrl_handler(*con);
    reset_console(*con, &vc);
  }
}

// A read that succeeds without filling a record leaves nothing to translate.
TEST_F(KeyboardTest, ReadOfNoEventEndsThePump) {
  struct EmptyReads : VirtualConsole {
    using VirtualConsole::VirtualConsole;
    bool read_input(InputRecord*, int* count) override {
      *count = 0;
      return true;
    }
  } port(80, 25, 25);
  reset_console(*con, &port);
  port.type("x");
  EXPECT_EQ(poll_key(*con), "");
  EXPECT_EQ(port.pending_events(), 2u);
  remove_ctrl_handler(*con);
  reset_console(*con, &vc);
}

TEST_F(KeyboardTest, ControlEvents) {
  struct Case {
    ConsoleEvent event;
    bool handled;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {ConsoleEvent::CLOSE, true, {CLOSE_TEXT}},
      {ConsoleEvent::LOGOFF, true, {CLOSE_TEXT}},
      {ConsoleEvent::SHUTDOWN, true, {CLOSE_TEXT}},
      {ConsoleEvent::CTRL_C, false, {}},
      {ConsoleEvent::CTRL_BREAK, false, {}},
  };
  for (const Case& c : cases) {
    reset_console(*con, &vc);
    EXPECT_EQ(poll_key(*con), "");  // the first pump installs the handler
    EXPECT_EQ(vc.send_ctrl_event(c.event), c.handled) << static_cast<int>(c.event);
    EXPECT_EQ(drain(), c.want) << static_cast<int>(c.event);
    remove_ctrl_handler(*con);
  }
}

// Keys already pumped stay ahead of the close key; keys still in the
// console's buffer come after it.
TEST_F(KeyboardTest, CloseKeyKeepsItsPlace) {
  vc.type("ab");
  EXPECT_EQ(poll_key(*con), "a");  // b is queued now
  ASSERT_TRUE(vc.send_ctrl_event(ConsoleEvent::CLOSE));
  ASSERT_TRUE(vc.send_ctrl_event(ConsoleEvent::CLOSE));
  vc.type("c");
  EXPECT_EQ(drain(), (std::vector<std::string>{"b", CLOSE_TEXT, CLOSE_TEXT, "c"}));
}

// Close keys arrive from the handler's own thread while this thread types
// and pumps; none may be lost or made up.
TEST_F(KeyboardTest, CloseKeysFromAnotherThread) {
  constexpr int kCloses = 300;
  constexpr int kTyped = 300;
  EXPECT_EQ(poll_key(*con), "");  // installs the handler before the thread starts
  std::atomic<bool> done{false};
  std::thread handler([&] {
    for (int i = 0; i < kCloses; ++i) vc.send_ctrl_event(ConsoleEvent::CLOSE);
    done.store(true);
  });
  int closes = 0, xs = 0, typed = 0, others = 0;
  for (;;) {
    const bool finished = done.load();
    if (typed < kTyped) {
      vc.type("x");
      ++typed;
    }
    for (const std::string& s : drain()) {
      if (s == CLOSE_TEXT)
        ++closes;
      else if (s == "x")
        ++xs;
      else
        ++others;
    }
    if (finished && typed == kTyped) break;
    std::this_thread::yield();
  }
  handler.join();
  EXPECT_EQ(closes, kCloses);
  EXPECT_EQ(xs, kTyped);
  EXPECT_EQ(others, 0);
}

}  // namespace
}  // namespace zw
