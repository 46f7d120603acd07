// The command line and the two files, seen from outside.
#include <gtest/gtest.h>

#include "messages.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

// A complete, tiny 24-bit input: its header alone is what these tests need.
Bytes small_wav() {
  return pcm_wave(Format::pcm24(), 6, samples(3, {1, 2}));
}

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    names.push_back(fs::relative(e.path(), dir).u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FrontEnd, WrongArgumentCountPrintsUsageAndTouchesNothing) {
  for (const auto& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a.wav", "b.wav"}}) {
    TempDir dir;
    write_file(dir / "a.wav", small_wav());
    const RunResult r = run_program(dir.path(), args);
    EXPECT_EQ(r.console, kUsage);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"a.wav"});
  }
}

TEST(FrontEnd, InputThatCannotBeOpenedCreatesNoOutput) {
  TempDir dir;
  fs::create_directory(dir / "takes.wav");
  for (const std::string name : {"missing.wav", "takes.wav"}) {
    const RunResult r = run_program(dir.path(), {name});
    EXPECT_EQ(r.console, banner(name) + "Could not open " + name);
    EXPECT_EQ(r.status, 1);
  }
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"takes.wav"});
}

TEST(FrontEnd, PrefixGoesBeforeTheWholeArgument) {
  TempDir dir;
  fs::create_directory(dir / "sub");
  write_file(dir / "sub/in.wav", small_wav());

  const RunResult missing = run_program(dir.path(), {"sub/in.wav"});
  EXPECT_EQ(missing.console, banner("sub/in.wav") + "Could not open velkoran-sub/in.wav\n");
  EXPECT_EQ(missing.status, 1);

  fs::create_directory(dir / "velkoran-sub");
  const RunResult present = run_program(dir.path(), {"sub/in.wav"});
  EXPECT_EQ(present.console, banner("sub/in.wav") + "tag=1");
  EXPECT_EQ(present.status, 0);
  EXPECT_TRUE(fs::exists(dir / "velkoran-sub/in.wav"));
}

// Names of any length and in any script convert; so does a name holding a
// colon, except on Windows (below).
TEST(FrontEnd, NamesWork) {
  std::vector<std::string> names = {
      std::string(196, 'n') + ".wav",
      "Aufnahme-\xC3\xBC-\xE6\x97\xA5\xE6\x9C\xAC.wav",  // Aufnahme-ü-日本.wav
  };
  if (!testing_windows_build()) names.push_back("Z:take.wav");
  for (const std::string& name : names) {
    TempDir dir;
    write_file(dir / name, small_wav());
    const RunResult r = run_program(dir.path(), {name});
    EXPECT_EQ(r.console, banner(name) + "tag=1");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / ("velkoran-" + name)));
  }
}

TEST(FrontEnd, ColonInTheOutputNameIsRefusedOnWindows) {
  if (!testing_windows_build()) GTEST_SKIP() << "a colon is a character like any other";
  // A drive-relative name: its output name, velkoran-Z:take.wav, would be a
  // hidden stream named take.wav of a file velkoran-Z.
  TempDir dir;
  write_file(dir / "take.wav", small_wav());
  const RunResult r = run_program(dir.path(), {"Z:take.wav"});
  EXPECT_EQ(r.console, banner("Z:take.wav") + "Could not open velkoran-Z:take.wav\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"take.wav"});
}

TEST(FrontEnd, ExistingOutputIsTruncatedOnceTheInputOpens) {
  TempDir dir;
  write_file(dir / "in.wav", std::string("not a wave file"));
  write_file(dir / "velkoran-in.wav", std::string("an older conversion"));
  const RunResult r = run_program(dir.path(), {"in.wav"});
  EXPECT_EQ(r.console, banner("in.wav") + header_error(1));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"), "");
}

}  // namespace
}  // namespace velkoran::test
