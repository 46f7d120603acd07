// The shared file helpers in process: a name quoted for the shell, and the
// new file that replaces an old one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/process.hpp"
#include "platform/quote.hpp"
#include "platform/replacement.hpp"
#include "platform/tempfile.hpp"

#if !defined(_WIN32)
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velkoran::platform {
namespace {

namespace fs = std::filesystem;

TEST(QuoteForShell, GivesTheShellTheNameUnchanged) {
  struct Case {
    const char* name;
    const char* posix;
    const char* cmd;
    bool cmd_safe = true;  // cmd and PowerShell run nothing else for it
  };
  for (const Case& c : {
           Case{"take.wav", "take.wav", "take.wav"},
           Case{"Day 1/Take 01.wav", "'Day 1/Take 01.wav'", "\"Day 1/Take 01.wav\""},
           Case{"it's.wav", "'it'\\''s.wav'", "\"it's.wav\""},
           Case{"-lead.wav", "./-lead.wav", ".\\-lead.wav"},
           Case{"a&b;c$(d)|e.wav", "'a&b;c$(d)|e.wav'", "\"a&b;c$(d)|e.wav\"", false},
           Case{"100%.wav", "'100%.wav'", "\"100%.wav\"", false},
           Case{"x`y.wav", "'x`y.wav'", "\"x`y.wav\"", false},
           Case{"\xC3\x9C"
                "bung.wav",
                "\xC3\x9C"
                "bung.wav",
                "\xC3\x9C"
                "bung.wav"},
           Case{"C:\\rec\\x.wav", "'C:\\rec\\x.wav'", "C:\\rec\\x.wav"},
       }) {
    EXPECT_EQ(quote_for_shell(c.name, Shell::kPosix), c.posix) << c.name;
    EXPECT_EQ(quote_for_shell(c.name, Shell::kCmd), c.cmd) << c.name;
    EXPECT_TRUE(unquotable(c.name, Shell::kPosix).empty()) << c.name;
    EXPECT_EQ(unquotable(c.name, Shell::kCmd).empty(), c.cmd_safe) << c.name;
  }
  // A control character: no quoting keeps the command to one line.
  EXPECT_FALSE(unquotable("a\nb.wav", Shell::kPosix).empty());
  EXPECT_FALSE(unquotable("a\xC2\x9B"
                          "b.wav",
                          Shell::kCmd)
                   .empty());
}

TEST(ShownName, EscapesWhatCouldForgeALineOrDriveTheTerminal) {
  EXPECT_EQ(shown_name("a\nb\033[1m\x7F.wav"), "a\\012b\\033[1m\\177.wav");
  EXPECT_EQ(shown_name("c\xC2\x9B"
                       "d \xC3\x9C.wav"),
            "c\\302\\233d \xC3\x9C.wav");
#if !defined(_WIN32)
  EXPECT_EQ(shown_name("e\\012.wav"), "e\\\\012.wav");  // an escape cannot be forged
#endif
}

#if !defined(_WIN32)
std::string contents(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& s) {
  std::ofstream(p, std::ios::binary) << s;
}

// The names drawn: the first two stand there already, a link and a leftover.
std::uint64_t drawn[] = {0xaaaaaaaa, 0xbbbbbbbb, 0xcccccccc};
std::size_t next_draw = 0;
std::uint64_t draw_in_turn() {
  return drawn[next_draw++ % 3];
}

// Whatever stands under a name the new file would take (a link planted by
// someone else, a leftover of a killed run) is passed over, never written.
TEST(Replacement, NeverOpensANameThatStandsThereAlready) {
  char tmpl[] = "/tmp/velkoran-replacement-XXXXXX";
  const fs::path dir = ::mkdtemp(tmpl);
  put(dir / "victim", "victim");
  put(dir / "in.wav", "input");
  put(dir / ".velkoran-bbbbbbbb.tmp", "leftover");
  fs::create_symlink(dir / "victim", dir / ".velkoran-aaaaaaaa.tmp");
  std::FILE* input = std::fopen((dir / "in.wav").c_str(), "rb");
  next_draw = 0;
  Replacement out(draw_in_turn);
  ASSERT_EQ(out.open((dir / "out.wav").string(), input), Replacement::Refusal::kNone);
  std::fputs("new", out.file());
  EXPECT_TRUE(out.commit());
  std::fclose(input);
  EXPECT_EQ(contents(dir / "out.wav"), "new");
  EXPECT_EQ(contents(dir / "victim"), "victim");
  EXPECT_EQ(contents(dir / ".velkoran-bbbbbbbb.tmp"), "leftover");
  EXPECT_FALSE(fs::exists(dir / ".velkoran-cccccccc.tmp"));
  fs::remove_all(dir);
}

// A second signal ends the process at once, before the run could remove its
// new file: the process removes it itself, after more files were made and
// kept than it can hold at once (each kept one lets its place go).
fs::path g_folder;
int create_then_signal_twice(const std::vector<std::string>&) {
  for (int i = 0; i < 100; ++i) {
    TempFile kept;
    if (!kept.create(g_folder.string() + "/") ||
        std::rename(kept.name().c_str(), (g_folder / ("kept" + std::to_string(i))).c_str()) != 0) {
      return 2;
    }
    kept.keep();
  }
  TempFile t;
  if (!t.create(g_folder.string() + "/")) return 2;
  std::raise(SIGTERM);  // asks the run to stop
  std::raise(SIGTERM);  // ends the process
  return 3;
}

TEST(TempFile, GoesWithAProcessEndedByASecondSignal) {
  char tmpl[] = "/tmp/velkoran-tempfile-XXXXXX";
  g_folder = ::mkdtemp(tmpl);
  const pid_t child = ::fork();
  if (child == 0) {
    char name[] = "velkoran-prep";
    char* argv[] = {name, nullptr};
    std::_Exit(run_process(1, argv, create_then_signal_twice, StopSignals::kAllThatEnd));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  std::size_t kept = 0;
  for (const auto& e : fs::directory_iterator(g_folder)) {
    EXPECT_EQ(e.path().filename().string().rfind("kept", 0), 0u) << e.path();
    ++kept;
  }
  EXPECT_EQ(kept, 100u);
  fs::remove_all(g_folder);
}
#endif

}  // namespace
}  // namespace velkoran::platform
