#include "platform/posix/terminal_keys.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/terminal_text.h"
#include "platform/us_layout.h"

namespace zw {
namespace {

// What a test expects of one key-down event.
struct Key {
  uint16_t vk;
  uint16_t scan;
  uint8_t ch;
  uint32_t state;
};

constexpr uint32_t ENH = KeyState::ENHANCED;
constexpr uint32_t ALT = KeyState::LEFT_ALT;
constexpr uint32_t CTRL = KeyState::LEFT_CTRL;
constexpr uint32_t SHIFT = KeyState::SHIFT;

constexpr Key ESCAPE_KEY{VKEY_ESCAPE, 0x01, 27, 0};
constexpr Key UP{VKEY_UP, 0x48, 0, ENH};
constexpr Key LEFT{VKEY_LEFT, 0x4B, 0, ENH};
constexpr Key HOME{VKEY_HOME, 0x47, 0, ENH};
constexpr Key END{VKEY_END, 0x4F, 0, ENH};
constexpr Key DEL{VKEY_DELETE, 0x53, 0, ENH};
constexpr Key F1{0x70, 0x3B, 0, 0};
constexpr Key F3{0x72, 0x3D, 0, 0};
constexpr Key F12{0x7B, 0x58, 0, 0};
constexpr Key BACKSPACE{VKEY_BACK, 0x0E, 8, 0};
constexpr Key ENTER{VKEY_RETURN, 0x1C, 13, 0};
constexpr Key KEY_A{'A', 0x1E, 'a', 0};
constexpr Key KEY_B{'B', 0x30, 'b', 0};

Key with(Key k, uint32_t state) {
  k.state |= state;
  return k;
}

struct Case {
  const char* name;
  std::vector<std::string> pieces;  // fed one call each: a split read
  bool deadline;                    // no further byte came in time
  std::vector<Key> want;
};

std::vector<Key> decode(TextMode mode, const Case& c, KeyDecoder* out = nullptr,
                        KeyDialect dialect = KeyDialect::COMMON) {
  KeyDecoder d;
  reset_key_decoder(d, mode, dialect);
  std::vector<KeyEventRecord> events;
  for (const std::string& piece : c.pieces) decode_key_bytes(d, piece.data(), piece.size(), &events);
  if (c.deadline) decode_key_deadline(d, &events);
  if (out) *out = d;
  std::vector<Key> keys;
  for (const KeyEventRecord& e : events) {
    EXPECT_TRUE(e.key_down) << c.name;
    EXPECT_EQ(e.repeat_count, 1) << c.name;
    keys.push_back({e.virtual_key, e.scan_code, e.ch, e.control_state});
  }
  return keys;
}

void expect_keys(const Case& c, const std::vector<Key>& got) {
  ASSERT_EQ(got.size(), c.want.size()) << c.name;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].vk, c.want[i].vk) << c.name << " key " << i;
    EXPECT_EQ(got[i].scan, c.want[i].scan) << c.name << " key " << i;
    EXPECT_EQ(got[i].ch, c.want[i].ch) << c.name << " key " << i;
    EXPECT_EQ(got[i].state, c.want[i].state) << c.name << " key " << i;
  }
}

TEST(TerminalKeys, SequencesOfTheCommonTerminals) {
  const Case cases[] = {
      {"xterm up", {"\x1b[A"}, false, {UP}},
      {"application up", {"\x1bOA"}, false, {UP}},
      {"xterm home/end", {"\x1b[H\x1b[F"}, false, {HOME, END}},
      {"application home/end", {"\x1bOH\x1bOF"}, false, {HOME, END}},
      {"tmux/linux home/end", {"\x1b[1~\x1b[4~"}, false, {HOME, END}},
      {"rxvt home/end", {"\x1b[7~\x1b[8~"}, false, {HOME, END}},
      {"insert delete pgup pgdn", {"\x1b[2~\x1b[3~\x1b[5~\x1b[6~"}, false,
       {{VKEY_INSERT, 0x52, 0, ENH}, DEL, {VKEY_PRIOR, 0x49, 0, ENH}, {VKEY_NEXT, 0x51, 0, ENH}}},
      {"ctrl+left", {"\x1b[1;5D"}, false, {with(LEFT, CTRL)}},
      {"shift+alt+up", {"\x1b[1;4A"}, false, {with(UP, SHIFT | ALT)}},
      {"ctrl+delete", {"\x1b[3;5~"}, false, {with(DEL, CTRL)}},
      {"rxvt shift/ctrl arrows", {"\x1b[a\x1bOd"}, false, {with(UP, SHIFT), with(LEFT, CTRL)}},
      {"rxvt shift/ctrl/both delete", {"\x1b[3$\x1b[3^\x1b[3@"}, false,
       {with(DEL, SHIFT), with(DEL, CTRL), with(DEL, CTRL | SHIFT)}},
      {"F1 four ways", {"\x1bOP\x1b[11~\x1b[[A\x1b[1;2P"}, false, {F1, F1, F1, with(F1, SHIFT)}},
      {"F3 kitty and old xterm", {"\x1b[13~\x1bO5R"}, false, {F3, with(F3, CTRL)}},
      {"F12 with alt", {"\x1b[24;3~"}, false, {with(F12, ALT)}},
      {"shift+tab", {"\x1b[Z"}, false, {{VKEY_TAB, 0x0F, 9, SHIFT}}},
      {"keypad application mode", {"\x1bOx\x1bOM\x1bOo"}, false,
       {{VKEY_NUMPAD0 + 8, 0x48, '8', KeyState::NUM_LOCK}, {VKEY_RETURN, 0x1C, 13, ENH}, {VKEY_DIVIDE, 0x35, '/', ENH}}},
      {"keypad 5 num lock off", {"\x1b[E\x1b[G"}, false, {{0x0C, 0x4C, 0, 0}, {0x0C, 0x4C, 0, 0}}},
      {"alt prefix on a sequence", {"\x1b\x1b[A"}, false, {with(UP, ALT)}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c));
}

TEST(TerminalKeys, PlainBytesAndControlBytes) {
  const Case cases[] = {
      {"letters", {"aB"}, false, {KEY_A, {'B', 0x30, 'B', SHIFT}}},
      {"digit and punctuation", {"1,\""}, false,
       {{'1', 0x02, '1', 0}, {VKEY_OEM_COMMA, 0x33, ',', 0}, {VKEY_OEM_7, 0x28, '"', SHIFT}}},
      {"enter and ctrl+j", {"\r\n"}, false, {ENTER, {VKEY_RETURN, 0x1C, 10, CTRL}}},
      {"backspace as 127 and as 8", {"\x7f\b"}, false, {BACKSPACE, BACKSPACE}},
      {"tab", {"\t"}, false, {{VKEY_TAB, 0x0F, 9, 0}}},
      {"ctrl+a ctrl+z", {"\x01\x1a"}, false, {{'A', 0x1E, 1, CTRL}, {'Z', 0x2C, 26, CTRL}}},
      {"ctrl+@", {std::string(1, '\0')}, false, {{'2', 0x03, 0, CTRL | SHIFT}}},
      {"alt+a alt+shift+a", {"\x1b" "a\x1b" "A"}, false, {with(KEY_A, ALT), {'A', 0x1E, 'A', SHIFT | ALT}}},
      {"alt+backspace", {"\x1b\x7f"}, false, {with(BACKSPACE, ALT)}},
      {"alt+enter", {"\x1b\r"}, false, {with(ENTER, ALT)}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c));
}

// st 0.9 with the keypad in normal mode, as typed in it (the gray keys and
// the keypad's with Num Lock off send the same). Elsewhere "ESC [ P" stays
// F1, and in st too "ESC [ M" with its three values is a mouse report.
TEST(TerminalKeys, StsEditingKeysInNormalKeypadMode) {
  const Key INSERT{VKEY_INSERT, 0x52, 0, ENH};
  const Case cases[] = {
      {"delete, alt+delete", {"\x1b[P\x1b\x1b[P"}, false, {DEL, with(DEL, ALT)}},
      {"shift+delete", {"\x1b[2K"}, false, {with(DEL, SHIFT)}},
      {"ctrl+delete at the deadline", {"\x1b[M"}, true, {with(DEL, CTRL)}},
      {"insert, ctrl+insert", {"\x1b[4h\x1b[L"}, false, {INSERT, with(INSERT, CTRL)}},
      {"home, end, shift+home", {"\x1b[H\x1b[4~\x1b[2J"}, false, {HOME, END, with(HOME, SHIFT)}},
      {"shift+end, ctrl+end", {"\x1b[K\x1b[J"}, false, {with(END, SHIFT), with(END, CTRL)}},
      {"F1 and shift+F1", {"\x1bOP\x1b[1;2P"}, false, {F1, with(F1, SHIFT)}},
      {"mouse report", {"\x1b[M !!a"}, true, {KEY_A}},
  };
  const KeyDialect st = key_dialect_of("st-256color");
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c, nullptr, st));
  for (const char* term : {"st", "stterm-256color"}) EXPECT_EQ(key_dialect_of(term), st) << term;
  EXPECT_NE(key_dialect_of("st52"), st);
  const Case elsewhere{"xterm's F1", {"\x1b[P\x1b[M"}, true, {F1}};
  expect_keys(elsewhere, decode(TextMode::UTF8, elsewhere));
}

TEST(TerminalKeys, EscapeAndTheDeadline) {
  const Case cases[] = {
      {"lone escape waits", {"\x1b"}, false, {}},
      {"lone escape at the deadline", {"\x1b"}, true, {ESCAPE_KEY}},
      {"escape then a sequence in the next read", {"\x1b", "[A"}, false, {UP}},
      {"sequence split in three reads", {"\x1b[", "1;", "5D"}, false, {with(LEFT, CTRL)}},
      {"escape escape at the deadline", {"\x1b\x1b"}, true, {ESCAPE_KEY, ESCAPE_KEY}},
      {"escape escape letter", {"\x1b\x1b" "a"}, false, {ESCAPE_KEY, with(KEY_A, ALT)}},
      {"three escapes", {"\x1b\x1b\x1b"}, true, {ESCAPE_KEY, ESCAPE_KEY, ESCAPE_KEY}},
      {"alt+[ at the deadline", {"\x1b["}, true, {{VKEY_OEM_4, 0x1A, '[', ALT}}},
      {"alt+shift+o at the deadline", {"\x1bO"}, true, {{'O', 0x18, 'O', SHIFT | ALT}}},
      {"enter then escape typed ahead", {"\r\x1b"}, true, {ENTER, ESCAPE_KEY}},
      {"cut sequence dropped at the deadline", {"\x1b[1;"}, true, {}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c));

  KeyDecoder d;
  reset_key_decoder(d, TextMode::UTF8);
  std::vector<KeyEventRecord> keys;
  decode_key_bytes(d, "\x1b[1", 3, &keys);
  EXPECT_TRUE(key_decoder_pending(d));
  decode_key_deadline(d, &keys);
  EXPECT_FALSE(key_decoder_pending(d));
  decode_key_bytes(d, "a", 1, &keys);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].ch, 'a');
}

TEST(TerminalKeys, UnknownAndBrokenSequencesVanishWhole) {
  const Case cases[] = {
      {"unknown tilde number", {"\x1b[99~a"}, false, {KEY_A}},
      {"unknown final", {"\x1b[1;5Ya"}, false, {KEY_A}},
      {"private marker", {"\x1b[?1;2ca"}, false, {KEY_A}},
      {"mouse report", {"\x1b[<0;3;4Ma"}, false, {KEY_A}},
      {"x10 mouse report", {"\x1b[M 4%a"}, false, {KEY_A}},
      {"x10 mouse report over three reads", {"\x1b[M", " 4", "%a"}, false, {KEY_A}},
      {"x10 mouse report, utf-8 coordinates", {"\x1b[M \xc2\x80\xc3\xbf" "a"}, false, {KEY_A}},
      {"x10 mouse report, last value in utf-8", {"\x1b[M !\xc3\xbf" "a"}, false, {KEY_A}},
      {"x10 mouse report cut by a control byte", {"\x1b[M 4\ra"}, false, {ENTER, KEY_A}},
      {"too many parameters", {"\x1b[27;5;97~a"}, false, {KEY_A}},
      {"unasked cursor report row 5", {"\x1b[5;10Ra"}, false, {KEY_A}},
      {"overlong sequence", {"\x1b[" + std::string(100, '1') + "~a"}, false, {KEY_A}},
      {"control byte cuts a sequence", {"\x1b[1\ra"}, false, {ENTER, KEY_A}},
      {"escape cuts a sequence", {"\x1b[1\x1b[A"}, false, {UP}},
      {"unknown linux sequence", {"\x1b[[Za"}, false, {KEY_A}},
      {"unknown ss3", {"\x1bO~a"}, false, {KEY_A}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c));
}

TEST(TerminalKeys, Utf8BecomesWindows1252) {
  const Case cases[] = {
      {"a umlaut", {"\xc3\xa4"}, false, {{0, 0, 0xE4, 0}}},
      {"split between reads", {"\xc3", "\xa4" "b"}, false, {{0, 0, 0xE4, 0}, KEY_B}},
      {"euro sign", {"\xe2\x82\xac"}, false, {{0, 0, 0x80, 0}}},
      {"sharp s with alt", {"\x1b\xc3\x9f"}, false, {{0, 0, 0xDF, ALT}}},
      {"outside the code page", {"\xe2\x86\x92" "a"}, false, {KEY_A}},
      {"four-byte character", {"\xf0\x9f\x98\x80" "a"}, false, {KEY_A}},
      {"stray continuation", {"\xa4" "a"}, false, {KEY_A}},
      {"cut by an ascii byte", {"\xc3" "a"}, false, {KEY_A}},
      {"overlong form", {"\xe0\x83\xa4" "a"}, false, {KEY_A}},
      {"surrogate", {"\xed\xa0\x80" "a"}, false, {KEY_A}},
      {"c1 control", {"\xc2\x81" "a"}, false, {KEY_A}},
      {"cut at the deadline", {"\xc3"}, true, {}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::UTF8, c));
}

TEST(TerminalKeys, SingleByteLocalePassesBytes) {
  const Case cases[] = {
      {"latin-1 a umlaut", {"\xe4"}, false, {{0, 0, 0xE4, 0}}},
      {"utf-8 pair is two characters", {"\xc3\xa4"}, false, {{0, 0, 0xC3, 0}, {0, 0, 0xA4, 0}}},
      {"alt with a high byte", {"\x1b\xe4"}, false, {{0, 0, 0xE4, ALT}}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::SINGLE_BYTE, c));
}

// Where the terminal's encoding is not known: a UTF-8 character is that
// character, any other byte one of its own, and a character cut short its
// bytes.
TEST(TerminalKeys, UnknownEncodingTakesUtf8WhereItIsUtf8) {
  const Case cases[] = {
      {"utf-8 a umlaut", {"\xc3", "\xa4"}, false, {{0, 0, 0xE4, 0}}},
      {"latin-1 a umlaut, then a letter", {"\xe4" "a"}, false, {{0, 0, 0xE4, 0}, KEY_A}},
      {"latin-1 a umlaut at the deadline", {"\xe4"}, true, {{0, 0, 0xE4, 0}}},
      {"a byte no character starts with", {"\x80\xff"}, false, {{0, 0, 0x80, 0}, {0, 0, 0xFF, 0}}},
      {"two bytes that are no character", {"\xc3\xc3\xa4"}, false, {{0, 0, 0xC3, 0}, {0, 0, 0xE4, 0}}},
      {"an overlong form", {"\xe0\x83"}, false, {{0, 0, 0xE0, 0}, {0, 0, 0x83, 0}}},
      {"alt with latin-1", {"\x1b\xe4" "b"}, false, {{0, 0, 0xE4, ALT}, KEY_B}},
      {"alt with utf-8", {"\x1b\xc3\xa4"}, false, {{0, 0, 0xE4, ALT}}},
  };
  for (const Case& c : cases) expect_keys(c, decode(TextMode::ASCII, c));
}

// However the terminal's bytes are cut into reads, the keys are the same.
TEST(TerminalKeys, SplitReadsChangeNothing) {
  std::mt19937 rng(20240607);
  static const char bytes[] = "\x1b[O;0123456789~ABCDHFPQRSZabcdxyMjR$^@\x7f\r\t\x01\xc3\xa4\xe2\x82\xac";
  const std::string alphabet(bytes, sizeof bytes - 1);
  for (int round = 0; round < 2000; ++round) {
    std::string input;
    const int length = static_cast<int>(rng() % 40);
    for (int i = 0; i < length; ++i) input.push_back(alphabet[rng() % alphabet.size()]);
    for (TextMode mode : {TextMode::UTF8, TextMode::SINGLE_BYTE, TextMode::ASCII}) {
      KeyDecoder whole, pieces;
      reset_key_decoder(whole, mode);
      reset_key_decoder(pieces, mode);
      std::vector<KeyEventRecord> a, b;
      decode_key_bytes(whole, input.data(), input.size(), &a);
      for (size_t i = 0; i < input.size();) {
        const size_t n = std::min<size_t>(1 + rng() % 4, input.size() - i);
        decode_key_bytes(pieces, input.data() + i, n, &b);
        i += n;
      }
      ASSERT_EQ(a.size(), b.size()) << round;
      for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].virtual_key, b[i].virtual_key);
        EXPECT_EQ(a[i].scan_code, b[i].scan_code);
        EXPECT_EQ(a[i].ch, b[i].ch);
        EXPECT_EQ(a[i].control_state, b[i].control_state);
      }
      EXPECT_EQ(key_decoder_pending(whole), key_decoder_pending(pieces));
    }
  }
}

TEST(TerminalKeys, AnswersAreTakenOutOfTheKeys) {
  KeyDecoder d;
  reset_key_decoder(d, TextMode::UTF8);
  d.reports_expected = 1;
  d.attributes_expected = true;
  std::vector<KeyEventRecord> keys;
  // Keys typed before and after the answers stay keys, in order.
  const std::string input = "a\x1b[12;34R\x1b[?64;1;2;6;9;15;16;17;18;21;22;28;29c\x1b[1;5R";
  decode_key_bytes(d, input.data(), 4, &keys);
  decode_key_bytes(d, input.data() + 4, input.size() - 4, &keys);
  EXPECT_EQ(d.reports_received, 1);
  EXPECT_EQ(d.reports_expected, 0);
  EXPECT_EQ(d.reports[0].row, 12);
  EXPECT_EQ(d.reports[0].column, 34);
  EXPECT_TRUE(d.attributes_received);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].ch, 'a');
  // Once the report is in, the same form is Ctrl+F3 again.
  EXPECT_EQ(keys[1].virtual_key, 0x72);
  EXPECT_EQ(keys[1].control_state, KeyState::LEFT_CTRL);

  // An Escape typed just before an answer is kept; the device attributes
  // come last, so a report still awaited then never comes.
  reset_key_decoder(d, TextMode::UTF8);
  d.reports_expected = 1;
  d.attributes_expected = true;
  keys.clear();
  const std::string escape_and_answers = "\x1b\x1b[?62c\x1b[1;5R";
  decode_key_bytes(d, escape_and_answers.data(), escape_and_answers.size(), &keys);
  EXPECT_TRUE(d.attributes_received);
  EXPECT_EQ(d.reports_received, 0);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].ch, 27);
  EXPECT_EQ(keys[1].virtual_key, 0x72);
}

// With the kitty protocol on: its reports are keys with their own releases,
// what still comes as bytes gets a release at once, the cursor report and
// the flags answer are no keys, and a report split across reads is one.
TEST(TerminalKeys, KittyReportsWhileTheProtocolIsOn) {
  struct Event {
    bool down;
    uint16_t vk;
    uint8_t ch;
  };
  struct KittyCase {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<Event> want;
  };
  const KittyCase cases[] = {
      {"Escape, then h", {"\x1b[27u\x1b[104;;104u\x1b[27;1:3u"},
       {{true, VKEY_ESCAPE, 27}, {true, 'H', 'h'}, {false, VKEY_ESCAPE, 27}}},
      {"split report", {"\x1b[10", "4;1:3", "u"}, {{false, 'H', 'h'}}},
      {"pasted bytes", {"ab"}, {{true, 'A', 'a'}, {false, 'A', 'a'}, {true, 'B', 'b'}, {false, 'B', 'b'}}},
      {"cursor report first, then Ctrl+F3", {"\x1b[3;1R\x1b[1;5R"}, {{true, 0x72, 0}}},
      {"flags answer, Up and its release", {"\x1b[?31u\x1b[A\x1b[1;1:3A"}, {{true, VKEY_UP, 0}, {false, VKEY_UP, 0}}},
      {"Escape byte before a report", {"\x1b\x1b[97u"}, {{true, VKEY_ESCAPE, 27}, {false, VKEY_ESCAPE, 27}, {true, 'A', 'a'}}},
      // A report whose bytes stop short ("" marks a pause past the deadline)
      // is awaited: a lone Escape byte is no Escape key with the protocol on.
      {"report cut after the escape", {"\x1b", "", "[51;;51u"}, {{true, '3', '3'}}},
      {"report cut in its parameters", {"\x1b[5", "", "", "1;;51u"}, {{true, '3', '3'}}},
  };
  for (const KittyCase& c : cases) {
    KeyDecoder d;
    reset_key_decoder(d, TextMode::UTF8);
    d.kitty = true;
    d.reports_expected = 1;
    std::vector<KeyEventRecord> keys;
    for (const std::string& piece : c.pieces) {
      if (piece.empty()) {
        EXPECT_TRUE(key_decoder_pending(d)) << c.name;
        EXPECT_FALSE(key_decoder_awaits_deadline(d)) << c.name;
      }
      decode_key_bytes(d, piece.data(), piece.size(), &keys);
    }
    ASSERT_EQ(keys.size(), c.want.size()) << c.name;
    for (size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(keys[i].key_down, c.want[i].down) << c.name << " key " << i;
      EXPECT_EQ(keys[i].virtual_key, c.want[i].vk) << c.name << " key " << i;
      EXPECT_EQ(keys[i].ch, c.want[i].ch) << c.name << " key " << i;
    }
  }
  // The flags answer is noted with the protocol off too, and is no key.
  KeyDecoder d;
  reset_key_decoder(d, TextMode::UTF8);
  std::vector<KeyEventRecord> keys;
  decode_key_bytes(d, "\x1b[?0u\x1b[u", 8, &keys);
  EXPECT_EQ(d.kitty_flags, 0);
  EXPECT_TRUE(keys.empty());
}

// Each bit of the modifier parameter ("ESC [ 1 ; 1+bits A") alone, as the
// two protocols define it: the kitty keyboard protocol's shift 1, alt 2,
// ctrl 4, super 8, hyper 16, meta 32, caps_lock 64, num_lock 128, and
// xterm's Shift 1, Alt 2, Ctrl 4, Meta 8, whose locks follow kitty's. The
// console has Shift, Ctrl, Alt and the locks; Meta is taken as Alt, Super
// and Hyper have no state of their own.
TEST(TerminalKeys, EachModifierBitIsItsOwnKeyState) {
  struct Case {
    int bit;
    uint32_t kitty;
    uint32_t xterm;
  };
  const Case cases[] = {
      {1, SHIFT, SHIFT},
      {2, ALT, ALT},
      {4, CTRL, CTRL},
      {8, 0, ALT},
      {16, 0, 0},
      {32, ALT, 0},
      {64, KeyState::CAPS_LOCK, KeyState::CAPS_LOCK},
      {128, KeyState::NUM_LOCK, KeyState::NUM_LOCK},
  };
  for (const Case& c : cases) {
    const std::string report = "\x1b[1;" + std::to_string(c.bit + 1) + "A";
    for (bool kitty : {true, false}) {
      KeyDecoder d;
      reset_key_decoder(d, TextMode::UTF8);
      d.kitty = kitty;
      std::vector<KeyEventRecord> keys;
      decode_key_bytes(d, report.data(), report.size(), &keys);
      ASSERT_FALSE(keys.empty()) << c.bit;
      EXPECT_EQ(keys[0].virtual_key, VKEY_UP) << c.bit;
      EXPECT_EQ(keys[0].control_state, ENH | (kitty ? c.kitty : c.xterm))
          << "bit " << c.bit << (kitty ? " kitty" : " xterm");
    }
  }
}

}  // namespace
}  // namespace zw
