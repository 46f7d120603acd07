// velkoran-prep seen from outside: each layout is re-laid (or refused with its
// line), and what it writes then converts with velkoran, whose samples
// libsndfile must find exact; the output's name is written only as a regular
// file, in one step; a signal leaves nothing behind.
#include <gtest/gtest.h>

#include "decode.hpp"
#include "named_case.hpp"
#include "prep_layouts.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

using namespace layouts;

const std::string kOlder = "an older, good file";

class Prep : public testing::TestWithParam<PrepCase> {};

TEST_P(Prep, RelaysWhatVelkoranRefusesAndRefusesTheRest) {
  const PrepCase& c = GetParam();
  if (c.posix_names && testing_windows_build()) GTEST_SKIP() << "cmd quotes names otherwise";
  TempDir dir;
  Shell shell;
  if (c.through_pipe) {
    write_file(dir / "delivered", c.input);
    shell.before = "mkfifo '" + c.in + "' && { cat delivered >'" + c.in + "' & }";
  } else {
    write_file(dir / c.in, c.input);
  }
  write_file(dir / "out.wav", kOlder);
  const RunResult r = run_prep(dir.path(), {c.in, "out.wav"}, shell);
  EXPECT_EQ(r.console, c.said);
  // Nothing is ever left beside the output: only the input, the output and
  // what the test made.
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    files += e.path().filename() != ".errors";
  }
  EXPECT_EQ(files, c.through_pipe ? 3u : 2u);
  if (!c.through_pipe) {
    EXPECT_TRUE(read_file(dir / c.in) == c.input.str());
  }
  if (c.relaid.size() == 0) {
    // Refused: nothing written, and the good file kept.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "out.wav"), kOlder);
    return;
  }
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(read_file(dir / "out.wav") == c.relaid.str());
  const RunResult v = run_program(dir.path(), {"out.wav"});
  EXPECT_EQ(v.status, 0) << v.console;
  if (!c.decodable) return;
  const Decoded d = decode(dir / "velkoran-out.wav");
  const std::vector<std::int32_t> want = c.samples.empty() ? values(c.width) : c.samples;
  ASSERT_EQ(d.samples.size(), want.size());
  const float scale = c.width == 2 ? 32768.0f : 8388608.0f;
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(d.samples[i], static_cast<float>(want[i]) / scale) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, Prep, testing::ValuesIn(prep_layouts()), ByName());

// What the output's name leads to decides whether and how it is written: a
// regular file is replaced in one step, keeping its permission bits and
// owner; a link keeps leading to the file it led to, now the new one; a
// FIFO, a device, a folder, a file of several names, or one the user could
// not open for writing is refused, and left as it was.
struct OutCase : NamedCase {
  std::string setup;  // shell commands run first; want.wav holds what a written output must hold
  std::string said;   // velkoran-prep's line
  std::string check;  // shell commands that must succeed afterwards
  std::string out = "out.wav";
  bool as_user = false;     // run as a user who owns nothing here (root's rights bypass modes)
  bool posix_only = false;  // links, FIFOs, devices, modes: not tried with the Windows build
  std::string groups = "";  // with as_user: the user's groups besides its own
};

class OutputName : public testing::TestWithParam<OutCase> {};

const Bytes kRelayable = riff(Bytes().add(kJunk).add(k16Format).add(data(2)));
const std::string kWrote =
    "Wrote out.wav: the format chunk moved to the front, before 1 other chunk, every other chunk "
    "kept byte for byte.\n";
// No new file is left anywhere below the folder.
const std::string kNothingLeft = "[ -z \"$(find . -name '.velkoran-*')\" ]";

TEST_P(OutputName, IsWrittenOnlyAsARegularFile) {
  const OutCase& c = GetParam();
  if (c.posix_only && testing_windows_build()) GTEST_SKIP() << "POSIX files";
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);  // the user may look in, not own anything
  write_file(dir / "in.wav", kRelayable);
  write_file(dir / "want.wav", riff(Bytes().add(k16Format).add(kJunk).add(data(2))));
  Shell shell{"umask 022 && " + (c.setup.empty() ? std::string(":") : c.setup)};
  shell.as_user = c.as_user;
  shell.groups = c.groups;
  const RunResult r = run_prep(dir.path(), {"in.wav", c.out}, shell);
  EXPECT_EQ(r.console, c.said);
  EXPECT_EQ(r.status, c.said.rfind("Wrote ", 0) == 0 ? 0 : 1);
  const std::string check =
      "cd '" + dir.path().string() + "' && " + c.check + " && " + kNothingLeft;
  EXPECT_EQ(std::system(check.c_str()), 0) << c.check;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputName,
    testing::Values(
        OutCase{"Missing", "", kWrote,
                "cmp out.wav want.wav && [ \"$(stat -c %a out.wav)\" = 644 ]"},
        OutCase{"RegularFileKeepsItsMode", "printf old >out.wav && chmod 600 out.wav", kWrote,
                "cmp out.wav want.wav && [ \"$(stat -c %a out.wav)\" = 600 ]", "out.wav", false,
                true},
        OutCase{"OwnerAndGroupKept",
                "printf old >out.wav && chmod 640 out.wav && (chown 65534:65534 out.wav || :)",
                kWrote,
                "cmp out.wav want.wav && [ \"$(stat -c %a out.wav)\" = 640 ] && { [ \"$(id -u)\" "
                "!= 0 ] || [ \"$(stat -c %u:%g out.wav)\" = 65534:65534 ]; }",
                "out.wav", false, true},
        // A user who may not give it the old owner keeps its group all the same.
        OutCase{"GroupKeptWhereTheOwnerCannotBe",
                "printf old >out.wav && chmod 664 out.wav && (chown 0:100 out.wav || :)", kWrote,
                "cmp out.wav want.wav && { [ \"$(id -u)\" != 0 ] || [ \"$(stat -c %u:%g:%a "
                "out.wav)\" = 65534:100:664 ]; }",
                "out.wav", true, true, "100"},
        // Whom its mode refuses, it refuses; root it does not, as with velkoran.
        // (On Windows, the read-only attribute refuses everyone.)
        OutCase{"ReadOnlyForAUser", "printf old >out.wav && chmod 444 out.wav",
                "Could not open out.wav\n", "[ \"$(cat out.wav)\" = old ]", "out.wav", true},
        OutCase{"FolderTheUserCannotWrite", "mkdir sub && chmod 555 sub",
                "Could not open sub/out.wav\n", "[ -z \"$(ls -A sub)\" ]", "sub/out.wav", true,
                true},
        OutCase{"LinkToAFileElsewhere",
                "mkdir real && printf old >real/take.wav && ln -s real/take.wav out.wav", kWrote,
                "[ -L out.wav ] && cmp real/take.wav want.wav && [ \"$(ls -A real)\" = take.wav ]",
                "out.wav", false, true},
        // A relative link leads from its own folder, not the current one,
        // where a file of the same name stands as a decoy.
        OutCase{
            "RelativeLinkInASubfolder",
            "mkdir sub && printf old >sub/take.wav && ln -s take.wav sub/out.wav && printf "
            "decoy >take.wav",
            "Wrote sub/" + kWrote.substr(6),
            "[ -L sub/out.wav ] && cmp sub/take.wav want.wav && [ \"$(cat take.wav)\" = decoy ]",
            "sub/out.wav", false, true},
        // The rename into place refused (a sticky folder, the old file
        // another user's): no line says it was written.
        OutCase{"RenameRefused",
                "mkdir -m 1777 sticky && printf old >sticky/out.wav && chmod 666 sticky/out.wav",
                "\nERROR: Failed to write output file.\n", "[ \"$(cat sticky/out.wav)\" = old ]",
                "sticky/out.wav", true, true},
        OutCase{"LinkToNothingYet", "mkdir real && ln -s real/new.wav out.wav", kWrote,
                "[ -L out.wav ] && cmp real/new.wav want.wav", "out.wav", false, true},
        OutCase{"Fifo", "mkfifo out.wav", "Could not open out.wav: it is a FIFO, not a file.\n",
                "[ -p out.wav ]"},
        OutCase{"Device", "mknod out.wav c 1 3 2>/dev/null || ln -s /dev/null out.wav",
                "Could not open out.wav: it is a device, not a file.\n", "[ -c out.wav ]",
                "out.wav", false, true},
        OutCase{"Folder", "mkdir out.wav", "Could not open out.wav: it is a folder, not a file.\n",
                "[ -d out.wav ] && [ -z \"$(ls -A out.wav)\" ]"},
        OutCase{"HardLinks", "printf old >out.wav && ln out.wav other.wav",
                "Could not open out.wav: the file has 2 names (hard links), which replacing it "
                "would part.\n",
                "[ \"$(cat out.wav)\" = old ] && [ \"$(stat -c %h out.wav)\" = 2 ]"},
        // Replaced, the input would be gone: by its name or by a link to it.
        OutCase{"TheInputItself", "", "Could not open in.wav: it is the input itself.\n",
                "! cmp -s in.wav want.wav", "in.wav"},
        OutCase{"LinkToTheInput", "ln -s in.wav out.wav",
                "Could not open out.wav: it is the input itself.\n",
                "[ -L out.wav ] && ! cmp -s in.wav want.wav", "out.wav", false, true},
        // The new file's name does not grow with the output's.
        OutCase{"NameOf250Bytes", "", "Wrote " + std::string(246, 'n') + ".wav" + kWrote.substr(13),
                "cmp " + std::string(246, 'n') + ".wav want.wav", std::string(246, 'n') + ".wav",
                false, true}),
    ByName());

// A signal that ends the process (Ctrl-C, a timeout, a closed terminal, any
// other that can be caught) leaves nothing behind: no new file, the good
// file of that name kept, and the process ended by that signal, promptly,
// though the input still waits for more.
class PrepSignal : public testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(PrepSignal, LeavesNothingBehind) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
  const auto& [signal, number] = GetParam();
  TempDir dir;
  // Through a pipe, stopped inside the data.
  write_file(dir / "delivered", riff(Bytes().add(kJunk).add(k16Format).add(kSeveralMiB)));
  write_file(dir / "out.wav", kOlder);
  const RunResult r = run_prep(dir.path(), {"in.wav", "out.wav"}, signal_after(500000, signal));
  EXPECT_EQ(r.status, 128 + number);
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(read_file(dir / "out.wav"), kOlder);
  EXPECT_FALSE(fs::exists(dir / ".fifo-closed"));
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "delivered" || name == "in.wav" || name == "out.wav" || name == ".pid" ||
                name == ".errors")
        << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, PrepSignal,
                         testing::Values(std::pair{"INT", 2}, std::pair{"TERM", 15},
                                         std::pair{"HUP", 1}, std::pair{"QUIT", 3},
                                         std::pair{"ALRM", 14}, std::pair{"USR1", 10},
                                         std::pair{"USR2", 12}),
                         [](const auto& p) { return std::string(p.param.first); });

// A run killed outright (SIGKILL) leaves its new file, which no later run
// minds; and a million chunks before the format chunk take no memory of
// their own, from a file or a pipe.
TEST(Prep, LeftoversAndManyChunksStopNothing) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals and limits";
  TempDir dir;
  write_file(dir / "delivered", kRelayable);
  run_prep(dir.path(), {"in.wav", "out.wav"}, signal_after(20, "KILL"));
  fs::remove(dir / "in.wav");
  Bytes many;
  for (int i = 0; i < 1000000; ++i) many.id("JUNK").u32(0);
  const Bytes input = riff(Bytes().add(many).add(k16Format).add(data(2)));
  write_file(dir / "in.wav", input);
  for (const std::string& pipe :
       {std::string(), std::string("mkfifo p.wav && { cat in.wav >p.wav & } && ")}) {
    const std::string name = pipe.empty() ? "in.wav" : "p.wav";
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit = ":";  // the sanitizer reserves terabytes of address space
#else
    const std::string limit = "ulimit -v 60000";
#endif
    const RunResult r = run_prep(dir.path(), {name, "out.wav"}, Shell{pipe + limit});
    EXPECT_EQ(r.status, 0) << r.console;
    EXPECT_TRUE(read_file(dir / "out.wav") ==
                riff(Bytes().add(k16Format).add(many).add(data(2))).str());
  }
}

}  // namespace
}  // namespace velkoran::test
