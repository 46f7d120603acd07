// velkoran-drop seen from outside: trees of recordings as users have them
// (names that a shell or cmd would read as commands, nested folders, an
// earlier output, every refused kind, the layouts velkoran-prep re-lays, a
// file that fails part-way) converted in one run. Each output must be, byte
// for byte, what velkoran (after velkoran-prep, where the layout needs it)
// gives by hand; the lines, the summary and the status must say what
// became of each; and nothing else may be created or changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "app/quote.hpp"
#include "named_case.hpp"
#include "prep_layouts.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

using namespace layouts;

enum class Expect {
  kConverted,
  kRelaid,      // re-laid by velkoran-prep first: `why` is what it changed
  kRefused,     // `why` is the reason, "{q}" standing for the quoted path
  kFailed,      // part-way or at the output: `why` is velkoran's message
  kPassedOver,  // not a recording: an earlier output, another kind of file
};

struct Entry {
  std::string path;  // in the tree, '/' between folders
  Bytes bytes;
  Expect expect;
  std::string why = "";
};

struct TreeCase : NamedCase {
  std::vector<Entry> entries;
  std::string setup = "";  // shell commands run in the tree first
  std::string limit = "";  // shell commands that limit the runs (ulimit)
  bool posix_only = false;
};

const Bytes kTones = Bytes().raw(read_file(fs::path(VELKORAN_SOURCE_DIR) / "examples/tones.wav"));
const Bytes kMono =
    riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2)));
const Bytes kJunkFirst = riff(Bytes().add(kJunk).add(k16Format).add(data(2)).add(kList));

std::string mono_why() {
  return "it is mono; velkoran takes stereo. Re-save it as stereo with: sox {q} -t wavpcm -c 2 "
         "fixed.wav";
}

// The path a line shows: the folder given, its separator, the path in it.
std::string shown(const std::string& given, const std::string& path) {
  const char sep = testing_windows_build() ? '\\' : '/';
  std::string p = path;
  std::replace(p.begin(), p.end(), '/', sep);
  return given + sep + p;
}

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = path.find('/', from)) != std::string::npos; from = at + 1) {
    parts.push_back(path.substr(from, at - from));
  }
  parts.push_back(path.substr(from));
  return parts;
}

// What velkoran, after velkoran-prep where `relay`, writes for `input`, by
// hand in a folder of its own, under the same limits.
std::string by_hand(const Bytes& input, bool relay, const std::string& limit) {
  TempDir dir;
  write_file(dir / "in.wav", input);
  std::string name = "in.wav";
  if (relay) {
    EXPECT_EQ(run_prep(dir.path(), {"in.wav", "t.wav"}).status, 0);
    name = "t.wav";
  }
  run_program(dir.path(), {name}, Shell{limit.empty() ? ":" : limit});
  return read_file(dir / ("velkoran-" + name));
}

// The folder as the program is given it: its full Windows path, as a drop
// passes it, for the Windows build; "." otherwise.
std::string given(const fs::path& tree) {
  if (!testing_windows_build()) return ".";
  std::string cmd = "winepath -w '" + tree.string() + "' 2>/dev/null";
  std::FILE* p = popen(cmd.c_str(), "r");
  char buf[4096] = {};
  const std::size_t n = p != nullptr ? std::fread(buf, 1, sizeof buf - 1, p) : 0;
  if (p != nullptr) pclose(p);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

class Drop : public testing::TestWithParam<TreeCase> {};

TEST_P(Drop, ConvertsEachAsByHandAndListsTheRest) {
  const TreeCase& c = GetParam();
  if (c.posix_only && testing_windows_build()) GTEST_SKIP() << "POSIX names and limits";
  TempDir dir;
  const fs::path tree = dir / "tree";
  for (const Entry& e : c.entries) {
    fs::create_directories((tree / fs::u8path(e.path)).parent_path());
    write_file(tree / fs::u8path(e.path), e.bytes);
  }
  if (!c.setup.empty()) {
    ASSERT_EQ(std::system(("cd '" + tree.string() + "' && " + c.setup).c_str()), 0);
  }
  std::map<std::string, std::string> before;  // every file, by its path in the tree
  for (const auto& f : fs::recursive_directory_iterator(tree)) {
    if (f.is_regular_file()) before[fs::relative(f.path(), tree).u8string()] = read_file(f.path());
  }

  // The lines, in the order of the walk: by the names in each folder.
  std::vector<Entry> order = c.entries;
  std::sort(order.begin(), order.end(),
            [](const Entry& a, const Entry& b) { return components(a.path) < components(b.path); });
  const std::string folder = given(tree);
  const app::Shell quoting = testing_windows_build() ? app::Shell::kCmd : app::Shell::kPosix;
  std::string lines;
  std::string failures;
  std::size_t recordings = 0;
  std::size_t converted = 0;
  for (const Entry& e : order) {
    if (e.expect == Expect::kPassedOver) continue;
    ++recordings;
    const std::string path = shown(folder, e.path);
    std::string what;
    switch (e.expect) {
      case Expect::kConverted:
        what = "converted";
        break;
      case Expect::kRelaid:
        what = "re-laid and converted (" + e.why + ")";
        break;
      default: {
        std::string why = e.why;
        const std::size_t q = why.find("{q}");
        if (q != std::string::npos) why.replace(q, 3, app::quote_for_shell(path, quoting));
        what = "not converted: " + why;
      }
    }
    lines += path + ": " + what + "\n";
    if (e.expect == Expect::kConverted || e.expect == Expect::kRelaid) {
      ++converted;
    } else {
      failures += "  " + path + ": " + what + "\n";
    }
  }
  const std::string summary =
      failures.empty() ? "\nAll " + std::to_string(recordings) + " recordings converted.\n"
                       : "\n" + std::to_string(converted) + " of " + std::to_string(recordings) +
                             " recordings converted. Not converted:\n" + failures;

  const RunResult r = run_drop(tree, {folder}, Shell{c.limit.empty() ? ":" : c.limit});
  EXPECT_EQ(r.console, lines + summary);
  EXPECT_EQ(r.status, failures.empty() ? 0 : 1);

  // Every file as it was; beside each converted one (and each that failed
  // part-way), its output as by hand; nothing else.
  std::map<std::string, std::string> want = before;
  for (const Entry& e : c.entries) {
    const bool output = e.expect == Expect::kConverted || e.expect == Expect::kRelaid ||
                        (e.expect == Expect::kFailed && e.why.rfind("ERROR", 0) == 0);
    if (!output) continue;
    const fs::path p = fs::u8path(e.path);
    const std::string out = (p.parent_path() / ("velkoran-" + p.filename().u8string())).u8string();
    want[out] = by_hand(e.bytes, e.expect == Expect::kRelaid, c.limit);
  }
  std::map<std::string, std::string> after;
  for (const auto& f : fs::recursive_directory_iterator(tree)) {
    if (f.is_regular_file()) after[fs::relative(f.path(), tree).u8string()] = read_file(f.path());
  }
  for (const auto& [path, bytes] : want) {
    EXPECT_TRUE(after.count(path) != 0 && after[path] == bytes) << path;
  }
  for (const auto& [path, bytes] : after) EXPECT_TRUE(want.count(path) != 0) << "made: " << path;
}

INSTANTIATE_TEST_SUITE_P(
    Trees, Drop,
    testing::Values(
        // Names that cmd or a shell would read as commands, or split: each is
        // an ordinary name. The one that is refused runs no command either.
        TreeCase{"HostileNames",
                 {{"bad & md PWNED.wav", kMono, Expect::kRefused, mono_why()},
                  {"100%.wav", kTones, Expect::kConverted},
                  {"R&B.wav", kTones, Expect::kConverted},
                  {"a,b;c=d.wav", kTones, Expect::kConverted},
                  {"g^h!i.wav", kTones, Expect::kConverted},
                  {"(p) it's $HOME.wav", kTones, Expect::kConverted},
                  {"-lead.wav", kTones, Expect::kConverted},
                  {"\xC3\x9C"
                   "bung-\xE6\x97\xA5\xE6\x9C\xAC.wav",
                   kTones, Expect::kConverted},
                  {"with space.wav", kJunkFirst, Expect::kRelaid,
                   "the format chunk moved to the front, before 1 other chunk, every other chunk "
                   "kept byte for byte"}}},
        TreeCase{"DoubleQuoteAndALinkToAFolder",
                 {{"q\"r.wav", kTones, Expect::kConverted},
                  {"m\"n.wav", kMono, Expect::kRefused, mono_why()}},
                 // A link to the folder itself: followed, the walk would
                 // never end.
                 "ln -s . again",
                 "",
                 true},
        // Folders within folders, an earlier output, every refused kind, the
        // layouts velkoran-prep re-lays, an output that cannot be opened.
        TreeCase{
            "Kinds",
            {{"Day 1/Take 01.wav", kTones, Expect::kConverted},
             {"Day 1/Sub/deep.WAV", kTones, Expect::kConverted},
             {"Day 1/velkoran-Take 01.wav", kTones, Expect::kPassedOver},
             {"Day 1/notes.txt", Bytes().raw("notes"), Expect::kPassedOver},
             {"Day 2/junk first.wav", kJunkFirst, Expect::kRelaid,
              "the format chunk moved to the front, before 1 other chunk, every other chunk "
              "kept byte for byte"},
             {"Day 2/extensible.wav", riff(Bytes().add(extensible(k24, 3)).add(data(3))),
              Expect::kRelaid,
              "the extensible format written as plain PCM, every other chunk kept byte for "
              "byte"},
             {"Day 2/rf64.wav",
              rf64("RF64", Bytes(), Bytes().add(k16Format).add(rf64_data(2)), kDataSize16),
              Expect::kRelaid,
              "RF64 written as RIFF, its data size taken from its ds64 chunk, which is "
              "dropped, every other chunk kept byte for byte"},
             {"Refused/bad.wav", Bytes().raw("not a recording"), Expect::kRefused,
              "it is not a WAVE file."},
             {"Refused/mono.wav", kMono, Expect::kRefused, mono_why()},
             {"Refused/six.wav",
              riff(Bytes()
                       .add(format_chunk(k16.with_channels(6).with_block_align(12)))
                       .add(data(2))),
              Expect::kRefused,
              "it has 6 channels; velkoran takes stereo. Keep the first two with: sox {q} "
              "-t wavpcm fixed.wav remix 1 2"},
             {"Refused/float.wav",
              riff(Bytes().add(format_chunk(k16.with_tag(3).with_block_align(8))).add(data(2))),
              Expect::kRefused,
              "it is floating point already: it needs no conversion. To make 24-bit PCM of "
              "it anyway: sox -D {q} -t wavpcm -e signed-integer -b 24 fixed.wav"},
             {"blocked.wav", kTones, Expect::kFailed, "Could not open velkoran-blocked.wav"}},
            "mkdir velkoran-blocked.wav"},
        // A file whose output passes the file-size limit fails part-way, and
        // keeps what velkoran keeps; the others convert.
        TreeCase{"PartWay",
                 {{"long.wav", kTones, Expect::kFailed, "ERROR: Failed to write output file."},
                  {"short.wav", pcm_wave(k16, 0, samples(2, values(2))), Expect::kConverted}},
                 "",
                 "ulimit -f 64",
                 true}),
    ByName());

TEST(Drop, NothingFoundIsNoSuccess) {
  TempDir dir;
  write_file(dir / "notes.txt", std::string("notes"));
  const RunResult r = run_drop(dir.path(), {"."});
  EXPECT_EQ(r.console, "No recording (.wav file) was found.\n");
  EXPECT_EQ(r.status, 1);
  const RunResult none = run_drop(dir.path(), {});
  EXPECT_EQ(none.status, 1);
}

}  // namespace
}  // namespace velkoran::test
