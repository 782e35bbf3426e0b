// The built program with piped standard input and output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <string>
#include <vector>

extern char** environ;

#include "testing/calculator_test_texts.h"

namespace {

const std::string& START_TEXT = zw::EXPECTED_START_TEXT;

struct Result {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs the program through the shell so that redirections can be given.
Result run_shell(const std::string& command, const std::string& input,
              const std::vector<std::string>& env = {}) {
  char in_path[] = "/tmp/zw_in_XXXXXX";
  char out_path[] = "/tmp/zw_out_XXXXXX";
  char err_path[] = "/tmp/zw_err_XXXXXX";
  const int in_fd = mkstemp(in_path);
  const int out_fd = mkstemp(out_path);
  const int err_fd = mkstemp(err_path);
  EXPECT_EQ(write(in_fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(in_fd);
  close(out_fd);
  close(err_fd);
  std::string env_prefix;
  for (const std::string& e : env) env_prefix += e + " ";
  const std::string cmd = env_prefix + command + " <" + in_path + " >" + out_path + " 2>" + err_path;
  Result r;
  const int rc = std::system(cmd.c_str());
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  auto slurp = [](const char* path) {
    std::string s;
    if (FILE* f = std::fopen(path, "rb")) {
      char buf[65536];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
      std::fclose(f);
    }
    return s;
  };
  r.out = slurp(out_path);
  r.err = slurp(err_path);
  unlink(in_path);
  unlink(out_path);
  unlink(err_path);
  return r;
}

Result run(const std::string& input, const std::string& args = "",
        const std::vector<std::string>& env = {}) {
  return run_shell(std::string(ZW_BINARY) + " " + args, input, env);
}

TEST(PipedProgram, ByteExactOutputAndStatusZeroAtEndOfInput) {
  struct Case {
    std::string input;
    std::string want;
  };
  const Case cases[] = {
      {"+,2,3\n", "Summe:  5\r\n"},
      {"", ""},
      {"+,2,3\nh,2\nh,0.5\n", "Summe:  5\r\nErgebnis:  25\r\nErgebnis:  5\r\n"},
      {"kd,3 kd,4\n", "Ergebnis:  6\r\nErgebnis:  8\r\n"},
      {"/,0,0\n/,1,0\n", "Quotient: -nan\r\nQuotient:  inf\r\n"},
      {"-\r\n2\r\n4\r\nh\r\n.5\r\n", "Differenz: -2\r\nErgebnis: -nan\r\n"},
      {"x,&HFF,1d2\nkf,1\nku,1\n",
       "Produkt:  25500\r\nErgebnis:  6.283185307179586\r\nErgebnis:  6.283185307179586\r\n"},
      {"\"BEANTWORTE DIE ULTIMATIVE FRAGE AUF DAS LEBEN, DIE WELT, UND ALLES\"\n1\n2\n",
       "Sie ist Definitiv 10.5*4\r\n"},
      {std::string("+,1,\0\xff", 7) + "\n", "Summe:  1\r\n"},
  };
  for (const Case& c : cases) {
    const Result r = run(c.input);
    EXPECT_EQ(r.status, 0) << c.input;
    EXPECT_EQ(r.out, START_TEXT + c.want) << c.input;
    EXPECT_EQ(r.err, "");
  }
}

TEST(PipedProgram, ArgumentsAreIgnored) {
  const Result plain = run("+,2,3\n");
  const Result with_args = run("+,2,3\n", "--help -x 'a b' 42");
  EXPECT_EQ(with_args.status, 0);
  EXPECT_EQ(with_args.out, plain.out);
}

TEST(PipedProgram, CommaLocaleStillUsesThePoint) {
  // Whatever locale the environment names, numbers use ".".
  for (const char* locale : {"de_DE.UTF-8", "de_DE.ISO-8859-1", "fr_FR.UTF-8", "C.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, locale) == nullptr) continue;
    std::setlocale(LC_NUMERIC, "C");
    const Result r = run("+,1.25,1.5\n/,1,4\n", "", {std::string("LC_ALL=") + locale});
    EXPECT_EQ(r.out, START_TEXT + "Summe:  2.75\r\nQuotient:  0.25\r\n") << locale;
  }
}

TEST(PipedProgram, LargeInputIsReadWhole) {
  std::string input;
  std::string want = START_TEXT;
  for (int i = 0; i < 20000; ++i) {
    input += "+," + std::to_string(i) + ",1\n";
    want += "Summe:  " + std::to_string(i + 1) + "\r\n";
  }
  const Result r = run(input);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.out == want) << "output of " << r.out.size() << " bytes differs";
}

TEST(PipedProgram, ClosedOrOddStandardStreams) {
  // Standard input closed, or a directory: no input at all.
  Result closed = run_shell(std::string("( ") + ZW_BINARY + " <&- )", "");
  EXPECT_EQ(closed.status, 0);
  Result dir = run_shell(std::string("( ") + ZW_BINARY + " < /tmp )", "");
  EXPECT_EQ(dir.status, 0);
  EXPECT_EQ(closed.out, START_TEXT);
  EXPECT_EQ(dir.out, START_TEXT);
}

}  // namespace
