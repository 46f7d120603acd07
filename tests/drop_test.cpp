// velkoran-drop seen from outside: trees of recordings as users have them
// (names that a shell or cmd would read as commands, nested folders, an
// earlier output, every refused kind, the layouts velkoran-prep re-lays, a
// file that fails part-way) converted in one run. Each output must be, byte
// for byte, what velkoran (after velkoran-prep, where the layout needs it)
// gives by hand; the lines, the summary and the status must say what
// became of each; and nothing else may be created or changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "named_case.hpp"
#include "platform/quote.hpp"
#include "prep_layouts.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

using namespace layouts;

enum class Expect {
  kConverted,
  kRelaid,      // re-laid by velkoran-prep first: `why` is what it changed
  kAlready,     // converted by an earlier run, and up to date
  kRefused,     // `why` is the reason, "{q}" standing for the quoted path, "{q-x}" for the
                // quoted name of the file its suggested command writes (suffix -x)
  kFailed,      // part-way, at the output, or by the walk: `why` says why; no output is left
  kPassedOver,  // not a recording: an earlier output, another kind of file
  kFloat,       // of 32-bit floats already: passed over, with --into copied
  kAlreadyCopied,
};

struct Entry {
  std::string path;  // in the tree, '/' between folders
  Bytes bytes;
  Expect expect;
  std::string why = "";
  std::string shown =
      "";  // what its line names, where not its path (a folder the walk could not read)
  std::string out = "";  // its output's path in the tree, where not beside it
  Bytes made = Bytes();  // its output, built here, where velkoran by hand cannot make it
};

struct TreeCase : NamedCase {
  std::vector<Entry> entries;
  std::string summary;     // its first line, after the lines of each recording
  std::string setup = "";  // shell commands run in the tree first
  std::string limit = "";  // shell commands that limit the runs (ulimit)
  bool posix_only = false;
  std::vector<std::string> options = {};  // before the paths
  std::vector<std::string> paths = {};    // the tree itself where none
  std::string between = "";  // where given: a first run, then these commands, then the run checked
  bool as_user = false;      // run as a user who owns nothing here (where the tests are root)
  std::string cwd = "";      // the folder of the tree the runs start in, where not its top

  TreeCase& set_up(std::string commands) { return setup = std::move(commands), *this; }
  TreeCase& limited(std::string commands) { return limit = std::move(commands), *this; }
  TreeCase& posix() { return posix_only = true, *this; }
  TreeCase& with(std::vector<std::string> o) { return options = std::move(o), *this; }
  TreeCase& given(std::vector<std::string> p) { return paths = std::move(p), *this; }
  TreeCase& after_a_run_and(std::string commands) { return between = std::move(commands), *this; }
  TreeCase& as_another_user() { return as_user = true, *this; }
  TreeCase& from(std::string folder) { return cwd = std::move(folder), *this; }
};

const Bytes kTones = Bytes().raw(read_file(fs::path(VELKORAN_SOURCE_DIR) / "examples/tones.wav"));
// ADPCM (format tag 2), which is refused with a command that decodes it.
const Bytes kAdpcm = riff(Bytes().add(format_chunk(k16.with_tag(2))).add(data(2)));
const Bytes kJunkFirst = riff(Bytes().add(kJunk).add(k16Format).add(data(2)).add(kList));
// So many chunks before the format chunk that their description passes what
// is held of it at once.
const Bytes kManyChunksFirst = [] {
  Bytes chunks;
  for (int i = 0; i < 70000; ++i) chunks.chunk("JUNK", Bytes().u8(7));
  return riff(chunks.add(k16Format).add(data(2)));
}();
const Bytes kTrailingList = riff(Bytes().add(k16Format).add(data(2)).add(kList));
// An iXML chunk of `n` bytes, and a JUNK chunk of 8 bytes in all.
Bytes ixml(std::size_t n) {
  return Bytes().chunk("iXML", Bytes().fill(n, 'x'));
}
const Bytes kEight = Bytes().chunk("JUNK", Bytes());
const std::string kMoved =
    "the format chunk moved to the front, before 1 other chunk, every other chunk kept byte for "
    "byte";

std::string adpcm_why() {
  return "it is not PCM (format tag 2). Decode it first, for instance with: ffmpeg -i {q} -c:a "
         "pcm_s24le {q-pcm}" +
         kByFfmpeg;
}

// A recording of `channels` channels in containers of `bytes` bytes, of which
// `valid` bits are significant (the rest 0, as a recorder writes them), its
// format plain or extensible with `mask`, `before` standing before its
// format chunk and `after` after its data; and the output velkoran-drop
// makes of it, computed here: each sample s as s / 2^(8 bytes - 1), 8-bit
// ones (stored as s + 128) too; the format chunk velkoran's float one for
// one or two channels of no mask or a plain one, otherwise extensible with
// the IEEE float sub-format and the recording's mask.
struct Take {
  unsigned channels;
  unsigned bytes;
  std::uint32_t frames = 50;
  bool extensible = false;
  std::uint32_t mask = 0;
  unsigned valid = 0;  // all, where 0
  Bytes before = Bytes();
  Bytes after = Bytes();
  std::uint16_t tag = 1;  // of a plain format: 3 with 4 bytes is float

  unsigned bits() const { return 8 * bytes; }
  // KSDATAFORMAT_SUBTYPE_PCM (1) and _IEEE_FLOAT (3).
  static std::string guid(unsigned char sub) {
    return std::string(1, static_cast<char>(sub)) +
           std::string("\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 15);
  }
  std::int32_t sample(std::size_t i) const {
    const auto x = static_cast<std::int64_t>((i * 2654435761u) & 0xFFFFFFFFu) >> (32 - bits());
    const std::int64_t s = x - (std::int64_t{1} << (bits() - 1));
    const unsigned zero = valid == 0 ? 0 : bits() - valid;
    return static_cast<std::int32_t>(s & ~((std::int64_t{1} << zero) - 1));
  }
  Bytes format(std::uint16_t tag_of, unsigned width, bool ext, const std::string& guid) const {
    const auto ch = static_cast<std::uint16_t>(channels);
    // The bits of the samples' container, those of them significant.
    const auto all = static_cast<std::uint16_t>(8 * width);
    const auto v = static_cast<std::uint16_t>(valid != 0 && width == bytes ? valid : all);
    Bytes b = Bytes().u16(ext ? 0xFFFE : tag_of).u16(ch).u32(48000).u32(48000 * ch * width);
    b.u16(static_cast<std::uint16_t>(ch * width)).u16(ext ? all : v);
    if (ext) b.u16(22).u16(v).u32(mask).raw(guid);
    return Bytes().chunk("fmt ", b);
  }
  Bytes input() const {
    Bytes data;
    for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
      if (bytes == 1) data.u8(static_cast<unsigned>(sample(i) + 128));
      if (bytes == 2 || bytes == 3) data.sample(bytes, sample(i));
      if (bytes > 3) data.fill(bytes, static_cast<unsigned>(i % 251));
    }
    return riff(Bytes()
                    .add(before)
                    .add(format(tag, bytes, extensible, guid(1)))
                    .chunk("data", data)
                    .add(after));
  }
  Bytes output() const {
    Bytes data;
    for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
      const auto f = static_cast<float>(
          std::ldexp(static_cast<double>(sample(i)), 1 - static_cast<int>(bits())));
      std::uint32_t word;
      std::memcpy(&word, &f, sizeof word);
      data.u32(word);
    }
    const bool plain = channels <= 2 &&
                       (mask == 0 || (channels == 1 && mask == 4) || (channels == 2 && mask == 3));
    return riff(
        Bytes().add(format(3, 4, !plain, guid(3))).add(before).chunk("data", data).add(after));
  }
};

// A recorder's card, read-only, converted into a folder of its own: every
// integer recording a recorder writes, mono, poly, 8-bit, significant bits
// within their container, a poly file with bext and iXML before its format
// chunk, one of 3 channels whose samples pass a block of the conversion; a
// float one copied, those that would lose precision listed, the Finder's
// AppleDouble files passed over. A second run finds each done, but the
// output whose mask was changed since, and the copy whose data size was
// (stating more than it holds).
const Take kFloat32{2, 4, 50, false, 0, 0, kBext, Bytes(), 3};
const std::string kEdits =
    "printf '\\1' | dd of=out/card/velkoran-T003.WAV bs=1 seek=40 conv=notrunc status=none && "
    "printf '\\2' | dd of=out/card/velkoran-T014.WAV bs=1 seek=" +
    std::to_string(kFloat32.input().str().find("data") + 5) + " conv=notrunc status=none";
std::vector<Entry> card(bool second) {
  const Expect converted = second ? Expect::kAlready : Expect::kConverted;
  const Expect relaid = second ? Expect::kAlready : Expect::kRelaid;
  const std::string kept = "every other chunk kept byte for byte";
  const std::string plain = "the extensible format written as plain PCM, ";
  const std::string lose =
      " samples would lose precision in 32-bit floats (24 bits of mantissa): it is left as it is";
  const Take poly{4, 3, 50, true, 0, 0, Bytes().add(kBext).add(kIxml), kList};
  const Take mono_float{1, 4, 50, false, 0, 0, Bytes(), kList, 3};
  std::vector<Entry> entries;
  const auto add = [&](const std::string& name, const Bytes& in, Expect e, std::string why = "",
                       const Bytes& out = Bytes()) {
    entries.push_back(
        {"card/" + name, in, e, std::move(why), "", "out/card/velkoran-" + name, out});
  };
  const auto take = [&](const std::string& name, const Take& t, Expect e, std::string why = "") {
    add(name, t.input(), e, std::move(why), t.output());
  };
  take("T001_Tr1.WAV", Take{1, 2}, converted);
  take("T002_Tr1.WAV", Take{1, 3, 50, false, 0, 0, kBext}, relaid, kMoved);
  take("T003.WAV", Take{4, 3, 50, true, 0x33}, Expect::kConverted);
  take("T004.WAV", Take{6, 2}, converted);
  take("T005.WAV", Take{8, 3, 50, true, 0x63F}, converted);
  take("T006.WAV", Take{1, 1}, converted);
  take("T007.WAV", Take{2, 1, 50, false, 0, 0, Bytes(), kList}, converted);
  take("T008.WAV", Take{2, 2, 50, true, 3, 12}, relaid,
       plain + "its 12 valid bits per sample not kept (plain PCM cannot state them), " + kept);
  take("T009.WAV", Take{1, 3, 50, true, 4, 20}, relaid,
       plain + "its 20 valid bits per sample not kept (plain PCM cannot state them), " + kept);
  take("T010.WAV", Take{1, 2, 50, true, 1}, converted);
  take("T011.WAV", Take{2, 2, 50, false, 0, 12}, converted);
  take("T012.WAV", poly, relaid,
       "the format chunk moved to the front, before 2 other chunks, " + kept);
  take("T013.WAV", Take{3, 3, 21846}, converted);
  add("T014.WAV", kFloat32.input(), Expect::kFloat, "", kFloat32.input());
  add("T015.WAV", Take{2, 8, 10, false, 0, 0, Bytes(), Bytes(), 3}.input(), Expect::kRefused,
      "its 64-bit floating-point" + lose);
  add("T016.WAV", Take{2, 4}.input(), Expect::kRefused, "its 32-bit integer" + lose);
  add("T017.WAV", mono_float.input(), second ? Expect::kAlreadyCopied : Expect::kFloat, "",
      mono_float.input());
  add("T018.WAV", as_rf64(Take{1, 3}.input()), relaid,
      "RF64 written as RIFF, its data size taken from its ds64 chunk, which is dropped, " + kept,
      Take{1, 3}.output());
  add("._T001_Tr1.WAV", Bytes().raw(std::string("\0\5\26\7", 4)).fill(60, 0), Expect::kPassedOver);
  return entries;
}

// The path a line shows: the folder given, its separator, the path in it.
std::string shown(const std::string& given, const std::string& path) {
  const char sep = testing_windows_build() ? '\\' : '/';
  std::string p = given.empty() ? path : given + "/" + path;
  std::replace(p.begin(), p.end(), '/', sep);
  return p;
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
// hand in a folder of its own.
std::string by_hand(const Bytes& input, bool relay) {
  TempDir dir;
  write_file(dir / "in.wav", input);
  std::string name = "in.wav";
  if (relay) {
    EXPECT_EQ(run_prep(dir.path(), {"in.wav", "t.wav"}).status, 0);
    name = "t.wav";
  }
  const RunResult r = run_program(dir.path(), {name});
  EXPECT_EQ(r.status, 0) << r.console;
  return read_file(dir / ("velkoran-" + name));
}

// The folder as the program is given it: its full Windows path, as a drop
// passes it, for the Windows build; "." otherwise.
std::string given(const fs::path& tree) {
  if (!testing_windows_build()) return ".";
  std::string cmd = "winepath -w '" + tree.string() + "' 2>/dev/null";
  std::string s;
  // A Wine server busy starting may answer nothing: asked again, a few times.
  for (int attempt = 0; attempt < 5 && s.empty(); ++attempt) {
    std::FILE* p = popen(cmd.c_str(), "r");
    char buf[4096] = {};
    const std::size_t n = p != nullptr ? std::fread(buf, 1, sizeof buf - 1, p) : 0;
    if (p != nullptr) pclose(p);
    s.assign(buf, n);
  }
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

const std::string kFolder = "(a folder)";

// Every file by its path in the tree, and every folder, by its path and a
// separator.
std::map<std::string, std::string> files_in(const fs::path& tree) {
  std::map<std::string, std::string> files;
  for (auto it =
           fs::recursive_directory_iterator(tree, fs::directory_options::skip_permission_denied);
       it != fs::recursive_directory_iterator(); ++it) {
    const std::string path = fs::relative(it->path(), tree).u8string();
    if (it->is_regular_file()) files[path] = read_file(it->path());
    if (fs::is_directory(it->symlink_status())) files[path + "/"] = kFolder;
  }
  return files;
}

// The card, read-only, converted into out as another user: a first run, or
// a second.
TreeCase card_case(const char* name, bool second, const char* summary) {
  return TreeCase{name, card(second), summary}
      .set_up("chmod -R a-w card")
      .posix()
      .with({"--into", "out"})
      .given({"card"})
      .as_another_user();
}

class Drop : public testing::TestWithParam<TreeCase> {};

TEST_P(Drop, ConvertsEachAsByHandAndListsTheRest) {
  const TreeCase& c = GetParam();
  if (c.posix_only && testing_windows_build()) GTEST_SKIP() << "POSIX names and limits";
  if (c.as_user && !running_as_root()) GTEST_SKIP() << "needs root to run as another user";
  // One recording at a time, and two at once: the same lines, the same files.
  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(std::string("--jobs ") + jobs);
    TempDir dir;
    const fs::path tree = dir / "tree";
    fs::create_directories(tree);
    for (const Entry& e : c.entries) {
      fs::create_directories((tree / fs::u8path(e.path)).parent_path());
      write_file(tree / fs::u8path(e.path), e.bytes);
    }
    const std::string folder = c.paths.empty() ? given(tree) : "";
    std::vector<std::string> args = {"--jobs", jobs};
    args.insert(args.end(), c.options.begin(), c.options.end());
    for (const std::string& p : c.paths.empty() ? std::vector<std::string>{folder} : c.paths) {
      args.push_back(p);
    }
    if (c.as_user) {
      ASSERT_EQ(std::system(("chmod -R a+rwX '" + dir.path().string() + "'").c_str()), 0);
    }
    if (!c.setup.empty()) {
      ASSERT_EQ(std::system(("cd '" + tree.string() + "' && " + c.setup).c_str()), 0);
    }
    const fs::path start = tree / c.cwd;
    if (!c.between.empty()) {
      run_drop(start, args, Shell{":", false, false, c.as_user});
      ASSERT_EQ(std::system(("cd '" + tree.string() + "' && " + c.between).c_str()), 0);
    }
    const std::map<std::string, std::string> before = files_in(tree);

    // The lines, in the order of the walk: by the names in each folder.
    std::vector<Entry> order = c.entries;
    std::stable_sort(order.begin(), order.end(), [](const Entry& a, const Entry& b) {
      return components(a.path) < components(b.path);
    });
    const bool dry = std::find(c.options.begin(), c.options.end(), "-n") != c.options.end();
    const bool into = std::find(c.options.begin(), c.options.end(), "--into") != c.options.end();
    const platform::Shell quoting =
        testing_windows_build() ? platform::Shell::kCmd : platform::Shell::kPosix;
    std::string lines;
    std::string failures;
    for (const Entry& e : order) {
      if (e.expect == Expect::kPassedOver) continue;
      const std::string path = shown(folder, e.shown.empty() ? e.path : e.shown);
      std::string what;
      switch (e.expect) {
        case Expect::kConverted:
          what = dry ? "would convert" : "converted";
          break;
        case Expect::kRelaid:
          what = (dry ? "would re-lay and convert (" : "re-laid and converted (") + e.why + ")";
          break;
        case Expect::kAlready:
          what = "already converted";
          break;
        case Expect::kFloat:
          what = !into ? "passed over: it holds 32-bit floats already, as its output would"
                 : dry ? "would copy it as it is: it holds 32-bit floats already"
                       : "copied as it is: it holds 32-bit floats already";
          break;
        case Expect::kAlreadyCopied:
          what = "already copied";
          break;
        default: {
          std::string why = e.why;
          for (std::size_t q; (q = why.find("{q")) != std::string::npos;) {
            const std::size_t end = why.find('}', q);
            const std::string suffix = why.substr(q + 2, end - q - 2);
            const std::string name =
                suffix.empty() ? path : path.substr(0, path.size() - 4) + suffix + ".wav";
            why.replace(q, end - q + 1, platform::quote_for_shell(name, quoting));
          }
          what = (dry ? "would not convert: " : "not converted: ") + why;
        }
      }
      // The Windows build doubles no backslash: its names are separated by them.
      const std::string named = testing_windows_build() ? path : platform::shown_name(path);
      lines += named + ": " + what + "\n";
      if (e.expect == Expect::kRefused || e.expect == Expect::kFailed) {
        failures += "  " + named + ": " + what + "\n";
      }
    }
    const std::string summary = "\n" + c.summary + "\n" + failures;

    const RunResult r =
        run_drop(start, args, Shell{c.limit.empty() ? ":" : c.limit, false, false, c.as_user});
    EXPECT_EQ(r.console, lines + summary);
    EXPECT_EQ(r.status, failures.empty() ? 0 : 1);

    // Every file as it was; for each converted one, its output as by hand;
    // nothing else (no temporary file, no output of a failure).
    std::map<std::string, std::string> want = before;
    for (const Entry& e : c.entries) {
      const bool output = e.expect == Expect::kConverted || e.expect == Expect::kRelaid ||
                          e.expect == Expect::kAlready || e.expect == Expect::kAlreadyCopied ||
                          (e.expect == Expect::kFloat && into);
      if (!output || dry) continue;
      const fs::path p = fs::u8path(e.path);
      const std::string out =
          e.out.empty() ? (p.parent_path() / ("velkoran-" + p.filename().u8string())).u8string()
                        : e.out;
      want[out] = e.made.size() != 0
                      ? e.made.str()
                      : by_hand(e.bytes, e.expect == Expect::kRelaid ||
                                             (e.expect == Expect::kAlready && !e.why.empty()));
      // Its folders, made where they were missing (--into).
      for (std::size_t at = out.find('/'); at != std::string::npos; at = out.find('/', at + 1)) {
        want[out.substr(0, at + 1)] = kFolder;
      }
    }
    std::system(("chmod -R u+rwX '" + tree.string() + "'").c_str());
    std::map<std::string, std::string> after = files_in(tree);
    for (const auto& [path, bytes] : want) {
      EXPECT_TRUE(after.count(path) != 0 && after[path] == bytes) << path;
    }
    for (const auto& [path, bytes] : after) EXPECT_TRUE(want.count(path) != 0) << "made: " << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, Drop,
    testing::Values(
        // Names that cmd or a shell would read as commands, or split: each is
        // an ordinary name. The one that is refused runs no command either.
        TreeCase{"HostileNames",
                 {{"bad & md PWNED.wav", kAdpcm, Expect::kRefused, adpcm_why()},
                  {"100%.wav", kTones, Expect::kConverted},
                  {"R&B.wav", kTones, Expect::kConverted},
                  {"a,b;c=d.wav", kTones, Expect::kConverted},
                  {"g^h!i.wav", kTones, Expect::kConverted},
                  {"(p) it's $HOME.wav", kTones, Expect::kConverted},
                  {"-lead.wav", kTones, Expect::kConverted},
                  {"\xC3\x9C"
                   "bung-\xE6\x97\xA5\xE6\x9C\xAC.wav",
                   kTones, Expect::kConverted},
                  {"with space.wav", kJunkFirst, Expect::kRelaid, kMoved}},
                 "8 of 9 recordings converted. Not converted:"},
        // A name that would forge a line shows escaped; its command is not
        // given. A link to the folder itself is not followed (the walk would
        // never end); one to a recording is that recording, converted once.
        TreeCase{"DoubleQuoteControlsAndLinks",
                 {{"q\"r.wav", kTones, Expect::kConverted},
                  {"m\"n.wav", kAdpcm, Expect::kRefused, adpcm_why()},
                  {"a\nb\033[1m.wav", kAdpcm, Expect::kRefused,
                   "it is not PCM (format tag 2). Decode it first, for instance with ffmpeg (no "
                   "command is shown: its name holds a control character)."}},
                 "1 of 3 recordings converted. Not converted:"}
            .set_up("ln -s . again && ln -s 'q\"r.wav' z.wav")
            .posix(),
        // One recording found by several ways is converted once, by the way
        // the walk comes to first: given by name before its folder, a hard
        // link, links in its folder and in a subfolder, before and after it,
        // its folder given again.
        TreeCase{"FoundOnceByWhicheverComesFirst",
                 {{"a.wav", kTones, Expect::kConverted, "", "a.wav"},
                  {"c.wav", kTones, Expect::kConverted, "", "./c.wav"},
                  {"h1.wav", kTones, Expect::kConverted, "", "./h1.wav"},
                  {"k.wav", kTones, Expect::kConverted, "", "./k.wav"},
                  {"sub/n.wav", kTones, Expect::kConverted, "", "./sub/n.wav"},
                  {"sub/y.wav", kTones, Expect::kConverted, "", "./sub/y.wav"},
                  {"z.wav", kTones, Expect::kPassedOver},
                  {"zz.wav", kTones, Expect::kPassedOver}},
                 "All 6 recordings converted."}
            .set_up("ln h1.wav h2.wav && ln -s ../c.wav sub/l.wav && ln -sf z.wav k.wav && "
                    "ln -sf ../zz.wav sub/y.wav && ln -s a.wav b.wav")
            .posix()
            .given({"a.wav", ".", "sub"}),
        // Re-laid, however many chunks stand before the format chunk, with no
        // file but the output.
        TreeCase{"ManyChunksBeforeTheFormat",
                 {{"many.wav", kManyChunksFirst, Expect::kRelaid,
                   "the format chunk moved to the front, before 70000 other chunks, every "
                   "other chunk kept byte for byte"}},
                 "The recording converted."},
        // Folders within folders, an earlier output, every refused kind, the
        // layouts velkoran-prep re-lays; what stands at an output's name (a
        // folder, a hard link to another recording, a FIFO) is left as it
        // is, and never blocks.
        TreeCase{
            "Kinds",
            {{"Day 1/Take 01.wav", kTones, Expect::kConverted},
             {"Day 1/Sub/deep.WAV", kTones, Expect::kConverted},
             {"Day 1/velkoran-Take 01.wav", kTones, Expect::kPassedOver},
             {"Day 1/notes.txt", Bytes().raw("notes"), Expect::kPassedOver},
             {"Day 2/junk first.wav", kJunkFirst, Expect::kRelaid, kMoved},
             // Bytes after the RIFF chunk (a tagger's) stay outside the output's.
             {"Day 2/tagged.wav", Bytes().add(kJunkFirst).raw("TAG+stray tail"), Expect::kRelaid,
              kMoved},
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
             {"Refused/adpcm.wav", kAdpcm, Expect::kRefused, adpcm_why()},
             {"Refused/float.wav",
              riff(Bytes().add(format_chunk(k16.with_tag(3).with_block_align(8))).add(data(2))),
              Expect::kFloat},
             {"blocked.wav", kTones, Expect::kRefused,
              "a folder stands at its output's name, velkoran-blocked.wav, and is left as it is"},
             {"o/d.wav", kTones, Expect::kRefused,
              "its output's name, velkoran-d.wav, is a file of 2 names (hard links), left as "
              "it is: replacing it would part them"},
             {"o/e.wav", kTones, Expect::kRefused,
              "a FIFO stands at its output's name, velkoran-e.wav, and is left as it is"}},
            "7 of 12 recordings converted. Not converted:"}
            .set_up(
                "mkdir velkoran-blocked.wav && cd o && ln ../blocked.wav velkoran-d.wav && mkfifo "
                "velkoran-e.wav"),
        // A link at an output's name, to a file outside or to nothing, is
        // never written through. (Wine shows a link as the file it leads to.)
        TreeCase{"LinksAtOutputNames",
                 {{"outside/thesis.txt", Bytes().raw("thesis"), Expect::kPassedOver},
                  {"a.wav", kTones, Expect::kRefused,
                   "a link stands at its output's name, velkoran-a.wav, and is left as it is: an "
                   "output is never written through one"},
                  {"b.wav", kTones, Expect::kRefused,
                   "a link stands at its output's name, velkoran-b.wav, and is left as it is: an "
                   "output is never written through one"},
                  {"f.wav", Bytes(), Expect::kFailed,
                   "it is not a regular file, but a FIFO, a device or a socket"}},
                 "0 of 3 recordings converted. Not converted:"}
            .set_up(
                "ln -s outside/thesis.txt velkoran-a.wav && ln -s outside/none.txt velkoran-b.wav "
                "&& rm f.wav && mkfifo f.wav")
            .posix(),
        // An earlier output, whole and up to date, behind a link or with a
        // second name is no output of its own: not done, and left as it is.
        TreeCase{"DoneOutputsBehindLinks",
                 {{"a.wav", kTones, Expect::kRefused,
                   "a link stands at its output's name, velkoran-a.wav, and is left as it is: an "
                   "output is never written through one"},
                  {"b.wav", kTones, Expect::kRefused,
                   "its output's name, velkoran-b.wav, is a file of 2 names (hard links), left as "
                   "it is: replacing it would part them"}},
                 "0 of 2 recordings converted. Not converted:"}
            .posix()
            .after_a_run_and(
                "mv velkoran-a.wav kept.out && ln -s kept.out velkoran-a.wav && ln velkoran-b.wav "
                "b.out"),
        // The rename into place refused (a sticky folder, the old output
        // another user's): a failure, the old output as it was.
        TreeCase{"RenameRefused",
                 {{"s/a.wav", kTones, Expect::kFailed, "ERROR: Failed to write output file."}},
                 "0 of 1 recording converted. Not converted:"}
            .set_up("chmod 1777 s && printf old >s/velkoran-a.wav && chmod 666 s/velkoran-a.wav")
            .posix()
            .as_another_user(),
        // A file whose output passes the file-size limit fails part-way and
        // leaves nothing; the others convert.
        TreeCase{"PartWay",
                 {{"long.wav", kTones, Expect::kFailed, "ERROR: Failed to write output file."},
                  {"short.wav", pcm_wave(k16, 0, samples(2, values(2))), Expect::kConverted}},
                 "1 of 2 recordings converted. Not converted:"}
            .limited("ulimit -f 64")
            .posix(),
        // A second run writes nothing for what is done, and converts again
        // what was edited since, an output cut short, one that holds fewer
        // frames than its recording, one that lost the chunk after its
        // samples, and the outputs of recordings replaced since by others
        // of their time (cp -p): of another rate, of other chunks, shorter;
        // one replaced by an older take of the same shape (cp -p);
        // outputs whose format was made integer, or mono;
        // --again converts all; a dry run only says so.
        TreeCase{
            "SecondRun",
            {{"a.wav", kTones, Expect::kAlready},
             {"b.wav", kJunkFirst, Expect::kAlready, kMoved},
             {"c.wav", kTones, Expect::kConverted},
             {"d.wav", kTones, Expect::kConverted},
             {"e.wav", kTones, Expect::kConverted},
             {"f.wav", pcm_wave(k16, 0, samples(2, values(2))), Expect::kAlready},
             {"g.wav", kTrailingList, Expect::kConverted},
             {"h.wav", riff(Bytes().add(format_chunk(k16.with_rate(44100))).add(data(2))),
              Expect::kConverted},
             {"h.first", riff(Bytes().add(k16Format).add(data(2))), Expect::kPassedOver},
             {"i.wav", riff(Bytes().add(k16Format).add(ixml(20)).add(data(2))), Expect::kConverted},
             {"i.first", riff(Bytes().add(k16Format).add(ixml(12)).add(kEight).add(data(2))),
              Expect::kPassedOver},
             {"j.wav", pcm_wave(k16, 0, samples(2, {1, 2})), Expect::kConverted},
             {"j.first", kTones, Expect::kPassedOver},
             {"k.wav", kTones, Expect::kConverted},
             {"l.wav", kTones, Expect::kConverted},
             {"m.wav", Bytes().raw(kTones.str().substr(0, kTones.size() - 1)).u8(7),
              Expect::kConverted},
             {"m.first", kTones, Expect::kPassedOver}},
            "All 13 recordings converted (3 of them before this run)."}
            .set_up("for f in h i j m; do mv $f.wav $f.last && cp $f.first $f.wav; done && "
                    "touch -d '-1 day' m.last")
            .after_a_run_and(
                "touch -d '+1 hour' c.wav && truncate -s -8 velkoran-d.wav && cp "
                "velkoran-f.wav velkoran-e.wav && truncate -s -" +
                std::to_string(kList.size()) +
                " velkoran-g.wav && for f in h i j; do mv $f.last $f.wav && touch -r "
                "velkoran-$f.wav $f.wav; done && for at in k:20 l:22; do printf '\\1' | "
                "dd of=velkoran-${at%:*}.wav bs=1 seek=${at#*:} conv=notrunc "
                "status=none; done && cp -p m.last m.wav"),
        TreeCase{
            "Again",
            {{"a.wav", kTones, Expect::kConverted}, {"b.wav", kJunkFirst, Expect::kRelaid, kMoved}},
            "All 2 recordings converted."}
            .with({"--again"})
            .after_a_run_and(":"),
        TreeCase{"DryRun",
                 {{"a.wav", kTones, Expect::kAlready},
                  {"b.wav", kJunkFirst, Expect::kRelaid, kMoved},
                  {"m.wav", kAdpcm, Expect::kRefused, adpcm_why()},
                  {"x.wav", kTones, Expect::kRefused,
                   "a folder stands at its output's name, velkoran-x.wav, and is left as it is"}},
                 "Nothing was written: 1 of 4 recordings would be converted, 1 converted already. "
                 "Would not convert:"}
            .set_up("mkdir velkoran-x.wav && " VELKORAN_EXE
                    " a.wav >/dev/null && touch -r a.wav velkoran-a.wav")
            .with({"-n"}),
        TreeCase{
            "DryRunInto",
            {{"a.wav", kTones, Expect::kConverted}, {"f.wav", kFloat32.input(), Expect::kFloat}},
            "Nothing was written: 2 of 2 recordings would be converted, 0 converted already."}
            .with({"-n", "--into", "out"}),
        // From a card the user cannot write, into a folder of its own,
        // mirrored as cp -r places it; a folder it cannot read is listed.
        TreeCase{
            "ReadOnlyCardInto",
            {{"card/A/t1.wav", kTones, Expect::kConverted, "", "", "out/card/A/velkoran-t1.wav"},
             {"card/t2.wav", kJunkFirst, Expect::kRelaid, kMoved, "", "out/card/velkoran-t2.wav"},
             {"card/shut/t3.wav", kTones, Expect::kFailed,
              "the folder could not be read (Permission denied)", "card/shut"}},
            "2 of 3 recordings converted. Not converted:"}
            .set_up("chmod 000 card/shut && chmod -R a-w card")
            .posix()
            .with({"--into", "out"})
            .given({"card"})
            .as_another_user(),
        // A tree converted into a folder inside it: the walk never enters
        // it. The same recording named three times is converted once; two
        // that would write one output: the first converts.
        TreeCase{
            "IntoItselfAndNamedTwice",
            {{"a.wav", kTones, Expect::kConverted, "", "./a.wav", "out/tree/velkoran-a.wav"},
             {"b/x.wav", kTones, Expect::kConverted, "", "./b/x.wav", "out/tree/b/velkoran-x.wav"},
             {"out/x.wav", kTones, Expect::kPassedOver}},
            "All 2 recordings converted."}
            .posix()
            .with({"--into", "out"})
            .given({".", "a.wav", "./a.wav"}),
        // A path that leads nowhere is listed, and counted.
        TreeCase{"AMissingPath",
                 {{"a.wav", kTones, Expect::kConverted, "", "a.wav"},
                  {"gone.wav", kTones, Expect::kFailed,
                   "it could not be opened (No such file or directory)", "gone.wav"}},
                 "1 of 2 recordings converted. Not converted:"}
            .set_up("rm gone.wav")
            .posix()
            .given({"a.wav", "gone.wav"}),
        TreeCase{"OneOutputForTwo",
                 {{"a/x.wav", kTones, Expect::kConverted, "", "", "out/velkoran-x.wav"},
                  {"b/x.wav", kTones, Expect::kRefused,
                   "its output, out/velkoran-x.wav, is that of a/x.wav, converted before it"}},
                 "1 of 2 recordings converted. Not converted:"}
            .posix()
            .with({"--into", "out"})
            .given({"a/x.wav", "b/x.wav"}),
        // From a subfolder, its parent given: under DEST by the parent's
        // real name, never beside DEST.
        TreeCase{"IntoFromBelow",
                 {{"rec/a.wav", kTones, Expect::kConverted, "", "../rec/a.wav",
                   "out/tree/rec/velkoran-a.wav"},
                  {"rec/b/c.wav", kTones, Expect::kConverted, "", "../rec/b/c.wav",
                   "out/tree/rec/b/velkoran-c.wav"}},
                 "All 2 recordings converted."}
            .posix()
            .from("rec")
            .with({"--into", "../out"})
            .given({".."}),
        card_case("EveryIntegerRecordingOfACard", false,
                  "16 of 18 recordings converted. Not converted:"),
        card_case("EveryIntegerRecordingOfACardDone", true,
                  "16 of 18 recordings converted (14 of them before this run). Not converted:")
            .after_a_run_and(kEdits),
        // A link at a folder's name under DEST is never followed.
        TreeCase{"LinkAtAFolderOfDest",
                 {{"card/t.wav", kTones, Expect::kFailed,
                   "its output's folder, out/card, could not be made: something else stands "
                   "there, left as it is"},
                  {"elsewhere/notes.txt", Bytes().raw("notes"), Expect::kPassedOver}},
                 "0 of 1 recording converted. Not converted:"}
            .set_up("mkdir out && ln -s ../elsewhere out/card")
            .posix()
            .with({"--into", "out"})
            .given({"card"})),
    ByName());

// A second run passes over every recording converted before, whatever its
// layout: re-laid, RF64 or BW64, a 14-byte format chunk, odd data and its
// pad, a tail after the RIFF chunk, a data size of 0, one cut short; read
// back, each is its recording's conversion.
TEST(Drop, ASecondRunPassesOverEveryLayoutConverted) {
  TempDir dir;
  std::size_t n = 0;
  for (const PrepCase& c : prep_layouts()) {
    if (c.relaid.size() != 0 && !c.through_pipe)
      write_file(dir / (c.name + std::string(".wav")), c.input), ++n;
  }
  for (const Bytes& plain :
       {kTones, kTrailingList, pcm_wave(k16, 7, samples(2, {1, 2}).u8(5).add(kList)),
        Bytes().add(kTrailingList).raw("TAG+stray"), pcm_wave(k24, 0, samples(3, values(3))),
        pcm_wave(k16, 1000, samples(2, {1, 2, 3, 4}))}) {
    write_file(dir / ("plain" + std::to_string(n++) + ".wav"), plain);
  }
  // Each read back as it is made, and again as an earlier output.
  const RunResult first = run_drop(dir.path(), {"--verify", "."});
  EXPECT_EQ(first.status, 0) << first.console;
  const RunResult again = run_drop(dir.path(), {"--verify", "."});
  EXPECT_EQ(again.status, 0);
  const std::string all = std::to_string(n) + " verified against their recordings.\n";
  EXPECT_NE(first.console.find("converted. " + all), std::string::npos) << first.console;
  EXPECT_NE(again.console.find("(" + std::to_string(n) + " of them before this run). " + all),
            std::string::npos)
      << again.console;
}

// Read back, every output of a card is its recording's conversion, or copy.
// A bit flipped on the way to the file (the shim, at one offset of every
// output) keeps an output from its name, wherever it falls: the line says
// what differs and where. An audit finds the one output changed since, and
// changes nothing.
TEST(Drop, VerifyReadsEachOutputBackAgainstItsRecording) {
  TempDir dir;
  for (const Entry& e : card(false)) {
    fs::create_directories((dir / e.path).parent_path());
    write_file(dir / e.path, e.bytes);
  }
  // 70000 frames across blocks, a chunk before them, an MD5 chunk and a
  // LIST after; its output's samples stand at byte 62, its MD5 chunk at
  // 560062, its LIST at 560086.
  write_file(dir / "card/in.wav", pcm_wave(Format::pcm16(), 280000,
                                           samples(2, varied(2, 140000))
                                               .chunk("MD5 ", Bytes().fill(16, 0))
                                               .chunk("LIST", Bytes().raw("INFOISFT")),
                                           Bytes().chunk("iXML", Bytes().raw("<x>abc</x>"))));
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && python3 -c 'import hashlib\n"
                         "b = bytearray(open(\"card/in.wav\", \"rb\").read())\n"
                         "b[280070:280086] = hashlib.md5(b[62:280062]).digest()\n"
                         "open(\"card/in.wav\", \"wb\").write(b)'")
                            .c_str()),
            0);
  const std::vector<std::string> args = {"--verify", "--into", "out", "card"};
  const std::string in = shown("", "card/in.wav") + ": ";
#if defined(VELKORAN_FLIP_SHIM)
  const struct {
    unsigned at;
    std::string why;
  } flips[] = {
      {4, "its RIFF size is not the 560094 bytes it holds"},
      {24, "its format chunk does not state its recording's conversion"},  // the rate
      {28, "its format chunk does not state its recording's conversion"},  // the byte rate
      // Its iXML chunk's id, and an extensible output's cbSize, valid bits.
      {36, "its \"hXML\" chunk at byte 36 is not its recording's chunk at byte 36"},
      {38, "its \"iXLL\" chunk at byte 36 is not its recording's chunk at byte 36"},
      {45, "byte 1 of its \"iXML\" chunk at byte 36 is not its recording's"},
      {58, "its data chunk states 560001 bytes, where its recording's 70000 frames make 560000"},
      // The last sample of the first block, and of the last.
      {262203, "its sample of channel 2 in frame 32767, at byte 262202, is not its recording's"},
      {560059, "its sample of channel 2 in frame 69999, at byte 560058, is not its recording's"},
      {560073, "its MD5 chunk states a digest its data does not have"},
      {560101, "byte 7 of its \"LIST\" chunk at byte 560086 is not its recording's"},
  };
  // (The shim takes the Linux build's stdio; Wine's writes pass it by.)
  for (const auto& f : flips) {
    if (testing_windows_build()) break;
    const RunResult r = run_drop(
        dir.path(), args,
        Shell{"export LD_PRELOAD=" VELKORAN_FLIP_SHIM " FLIP_AT=" + std::to_string(f.at) +
              " ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0\""});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.console.find(in + "not converted: verification: " + f.why + "\n"),
              std::string::npos)
        << r.console;
    if (f.at < 100) {
      // Within every output: none takes its name, and nothing is left.
      EXPECT_NE(r.console.find("\n0 of 19 recordings converted."), std::string::npos) << r.console;
      for (const auto& [path, bytes] : files_in(dir / "out")) EXPECT_EQ(bytes, kFolder) << path;
    }
  }
#endif
  const RunResult r = run_drop(dir.path(), args);
  EXPECT_NE(r.console.find(in + "converted and verified\n"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find(" 17 verified against their recordings. Not converted:\n"),
            std::string::npos)
      << r.console;
  // One sample changed since, the output's time kept.
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "/out/card' && printf '\\1' >one && touch -r velkoran-in.wav one && dd "
                         "if=one of=velkoran-in.wav bs=1 seek=103 conv=notrunc status=none && "
                         "touch -r one velkoran-in.wav && rm one")
                            .c_str()),
            0);
  const std::map<std::string, std::string> before = files_in(dir.path());
  const auto time = [&] { return fs::last_write_time(dir / "out/card/velkoran-in.wav"); };
  const auto then = time();
  RunResult audit = run_drop(dir.path(), {"--verify", "--report", "-", "--into", "out", "card"});
  // (Wine writes a console's line ends to a file as CR LF.)
  audit.errors.erase(std::remove(audit.errors.begin(), audit.errors.end(), '\r'),
                     audit.errors.end());
  EXPECT_EQ(audit.status, 1);
  EXPECT_NE(
      audit.errors.find(in + "not converted: its output, " + shown("", "out/card/velkoran-in.wav") +
                        ", differs from its recording (its sample of channel 1 in frame 5, "
                        "at byte 102, is not its recording's): --again converts it anew\n"),
      std::string::npos)
      << audit.errors;
  EXPECT_NE(audit.errors.find("\n16 of 19 recordings converted (16 of them before this run). 16 "
                              "verified against their recordings. Not converted:\n"),
            std::string::npos)
      << audit.errors;
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(count(audit.errors, ": already converted, verified\n") +
                count(audit.errors, ": already copied, verified\n"),
            16u);
  EXPECT_EQ(count(audit.console, "\"verified\":true"), 16u);
  EXPECT_NE(audit.console.find("\"verified\":16,"), std::string::npos);
  EXPECT_TRUE(files_in(dir.path()) == before);
  EXPECT_EQ(time(), then);
}

// Where DEST cannot be made, the dry run refuses as the run does, with the
// same line, and makes nothing.
TEST(Drop, ADryRunRefusesDestAsTheRunDoes) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX permissions";
  TempDir dir;
  write_file(dir / "t.wav", kTones);
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && chmod a+rwx . && printf x >dest && cp dest file && mkdir shut && "
                         "chmod 555 shut")
                            .c_str()),
            0);
  const std::map<std::string, std::string> before = files_in(dir.path());
  for (const auto& [dest, why] : std::vector<std::pair<std::string, std::string>>{
           {"dest", ": a file stands there"},
           {"none/dest", " (No such file or directory)"},
           {"file/dest", " (Not a directory)"},
           {"shut/dest", " (Permission denied)"}}) {
    if (dest == "shut/dest" && !running_as_root()) continue;
    for (const char* dry : {"-n", "--again"}) {
      const RunResult r =
          run_drop(dir.path(), {dry, "--into", dest, "t.wav"}, Shell{":", false, false, true});
      EXPECT_EQ(r.console, "velkoran-drop: the folder " + dest + " could not be made" + why + "\n");
      EXPECT_EQ(r.status, 1);
      EXPECT_TRUE(files_in(dir.path()) == before) << dry << " " << dest;
    }
  }
}

// However many jobs are asked for, and however few threads the system
// gives, every recording is converted and listed. (The process limit counts
// a user's processes, not root's: the program runs as a user of its own, whom
// no other test's program shares, for the limit to count its threads only;
// the sanitizers' leak check needs a thread of its own at the end, which the
// limit refuses.)
TEST(Drop, MoreJobsThanTheSystemGives) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX process limits";
  TempDir dir;
  for (const char* name : {"a.wav", "b.wav", "c.wav"}) write_file(dir / name, kTones);
  ASSERT_EQ(std::system(("chmod -R a+rwX '" + dir.path().string() + "'").c_str()), 0);
  for (const std::string nproc : {"", "1", "2"}) {
    if (!nproc.empty() && !running_as_root()) continue;
    const std::string limit = nproc.empty() ? ":"
                                            : "export ASAN_OPTIONS=detect_leaks=0 && prlimit "
                                              "--nproc=" +
                                                  nproc + ":" + nproc + " --pid $$";
    const RunResult r = run_drop(dir.path(), {"--again", "-j", nproc.empty() ? "999999" : "8", "."},
                                 Shell{limit, false, false, true, "", "/dev/null", 65533});
    EXPECT_EQ(r.console,
              "./a.wav: converted\n./b.wav: converted\n./c.wav: converted\n\nAll 3 recordings "
              "converted.\n")
        << limit;
    EXPECT_EQ(r.status, 0);
  }
}

TEST(Drop, NothingFoundIsNoSuccess) {
  TempDir dir;
  write_file(dir / "notes.txt", std::string("notes"));
  const RunResult r = run_drop(dir.path(), {"."});
  EXPECT_EQ(r.console, "No recording (.wav file) was found.\n");
  EXPECT_EQ(r.status, 1);
  const RunResult none = run_drop(dir.path(), {});
  EXPECT_EQ(none.status, 1);
}

// Options, and mistakes in them: the message and a usage line on standard
// error, status 2, nothing done.
TEST(Drop, OptionsAndTheirMistakes) {
  TempDir dir;
  write_file(dir / "-x.wav", kTones);
  const std::string usage =
      "Usage: velkoran-drop [--into DEST] [--jobs N] [--again] [--dry-run] [--verify] "
      "[--report FILE] [--files-from LIST [--null]] PATH...\n";
  const struct {
    std::vector<std::string> args;
    std::string console;
    int status;
  } cases[] = {
      {{"--bogus", "."}, "velkoran-drop: unknown option --bogus\n", 2},
      {{"--jobs=", "."}, "velkoran-drop: --jobs takes a number of 1 or more, not \n", 2},
      {{"--jobs", "0", "."}, "velkoran-drop: --jobs takes a number of 1 or more, not 0\n", 2},
      {{".", "--into"}, "velkoran-drop: --into needs a value\n", 2},
      {{"--null", "."}, "velkoran-drop: --null goes with --files-from\n", 2},
      {{"-n", "--verify", "."},
       "velkoran-drop: --verify reads what a run writes, and a dry run writes nothing\n",
       2},
      {{"--files-from", "gone", "."},
       "velkoran-drop: the list gone could not be read (No such file or directory)\n",
       2},
      {{"--version"}, "velkoran-drop 1.0.0\n", 0},
      {{"-j2", "--", "-x.wav"}, "-x.wav: converted\n\nThe recording converted.\n", 0},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(fs::exists(dir / "velkoran--x.wav"));
    const RunResult r = run_drop(dir.path(), c.args);
    const bool wrong = c.status == 2;
    // (Wine writes a console's line ends to a file as CR LF.)
    std::string errors = r.errors;
    errors.erase(std::remove(errors.begin(), errors.end(), '\r'), errors.end());
    EXPECT_EQ(wrong ? errors : r.console, wrong ? c.console + usage : c.console);
    EXPECT_EQ(wrong ? r.console : errors, "");
    EXPECT_EQ(r.status, c.status);
  }
  EXPECT_EQ(run_drop(dir.path(), {"--help"}).console.rfind(usage, 0), 0u);
}

// Each output keeps its recording's time, to the nanosecond, as cp -p
// does: converted, re-laid, copied.
TEST(Drop, OutputsKeepTheirRecordingsTimes) {
  if (testing_windows_build()) GTEST_SKIP() << "touch's nanoseconds";
  TempDir dir;
  write_file(dir / "a.wav", kTones);
  write_file(dir / "b.wav", kJunkFirst);
  write_file(dir / "f.wav", kFloat32.input());
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && touch -d '2001-02-03 04:05:06.123456789' a.wav b.wav && touch -d "
                         "'1969-07-20 20:17:40.5' f.wav")
                            .c_str()),
            0);
  ASSERT_EQ(run_drop(dir.path(), {"--into", "out", "a.wav", "b.wav", "f.wav"}).status, 0);
  for (const char* name : {"a.wav", "b.wav", "f.wav"}) {
    EXPECT_EQ(fs::last_write_time(dir / "out" / (std::string("velkoran-") + name)),
              fs::last_write_time(dir / name))
        << name;
  }
}

// The report on standard output, the lines on standard error: a record for
// each line, parsed by Python's json, a name that is no UTF-8 given back
// byte for byte (its bytes as lone surrogates), and the console's summary;
// and a stopped run's, in place.
TEST(Drop, AReportOfEachRecording) {
  if (testing_windows_build()) GTEST_SKIP() << "a name that is no UTF-8";
  TempDir dir;
  write_file(dir / "a.wav", kTones);
  write_file(dir / "b.wav", kJunkFirst);
  write_file(dir / "f.wav", kFloat32.input());
  write_file(dir / "m.wav", kAdpcm);
  write_file(dir / "n\xffo.wav", Take{1, 1}.input());
  write_file(dir / "q\"\x1b.wav", kTones);  // a quote and an escape, escaped
  const RunResult r = run_drop(dir.path(), {"--report", "-", "."});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errors.substr(0, 20), "./a.wav: converted\n.");
  write_file(dir / "report", r.console);
  // A run stopped as b.wav is opened (strace sends the signal then): the
  // report is in place, with its record and the summary of a stop.
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -P b.wav -e "
                         "trace=openat -e inject=openat:signal=SIGINT " VELKORAN_DROP_EXE
                         " --again --report stopped b.wav >/dev/null; "
                         "[ $? -eq 130 ]")
                            .c_str()),
            0);
  const std::string parse =
      "python3 -c 'import json, sys\n"
      "for line in open(sys.argv[1], encoding=\"utf-8\").read().splitlines() + "
      "open(sys.argv[2], encoding=\"utf-8\").read().splitlines():\n"
      "    o = json.loads(line)\n"
      "    if \"summary\" in o: print(sorted(o[\"summary\"].items())); continue\n"
      "    print(o[\"input\"].encode(\"utf-8\", \"surrogateescape\").hex(), o[\"outcome\"], "
      "o[\"output\"], o.get(\"frames\"), o.get(\"channels\"), o.get(\"bits\"), "
      "o.get(\"relaid\"), o[\"reason\"] is not None)' report stopped >parsed";
  ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && " + parse).c_str()), 0);
  EXPECT_EQ(read_file(dir / "parsed"),
            "2e2f612e776176 converted ./velkoran-a.wav 14400 2 24 False False\n"
            "2e2f622e776176 converted ./velkoran-b.wav 32 2 16 True True\n"
            "2e2f662e776176 passed over None 50 2 32 False False\n"
            "2e2f6d2e776176 not converted None None None None None True\n"
            "2e2f6eff6f2e776176 converted ./velkoran-n\xffo.wav 50 1 8 False False\n"
            "2e2f71221b2e776176 converted ./velkoran-q\"\x1b.wav 14400 2 24 False False\n"
            "[('already', 0), ('converted', 5), ('dry_run', False), ('interrupted', False), "
            "('not_converted', 1), ('not_reached', 0), ('recordings', 6), ('verified', 0), "
            "('version', 1)]\n"
            "622e776176 interrupted None None None None None False\n"
            "[('already', 0), ('converted', 0), ('dry_run', False), ('interrupted', True), "
            "('not_converted', 1), ('not_reached', 0), ('recordings', 1), ('verified', 0), "
            "('version', 1)]\n");
}

// Each output's data is on the disk before it takes its name (synced by
// itself, or by a sync of its whole file system begun after it was
// finished), and each folder is put on the disk once for the renames in it,
// before the run ends. (The sanitizers' leak check cannot run under strace.)
TEST(Drop, EachOutputSyncedBeforeItsRenameEachFolderOnce) {
  if (testing_windows_build()) GTEST_SKIP() << "strace";
  TempDir dir;
  const std::vector<std::string> names = {"a/w.wav", "a/x.wav", "a/y.wav", "b/z.wav"};
  for (const std::string& name : names) {
    fs::create_directories((dir / name).parent_path());
    write_file(dir / name, kTones);
  }
  // As it is, and where a sync of a whole file system fails (then each
  // file's own sync must tell).
  for (const std::string inject : {"", "-e inject=syncfs:error=EIO"}) {
    ASSERT_EQ(
        std::system(("cd '" + dir.path().string() +
                     "' && ASAN_OPTIONS=detect_leaks=0 strace -f -y -qq -e "
                     "trace=fchmod,fsync,syncfs,rename,renameat,renameat2 " +
                     inject + " -o trace " VELKORAN_DROP_EXE " --again --jobs 2 a b >/dev/null")
                        .c_str()),
        0);
    // Each call as it began and ended, a call another thread's cut in two
    // joined again ("<unfinished ...>", then "<... resumed>").
    struct Call {
      std::size_t began, ended;
      std::string line;
    };
    std::vector<Call> calls;
    std::map<std::string, Call> unfinished;  // by thread
    std::istringstream trace(read_file(dir / "trace"));
    std::size_t at = 0;
    for (std::string line; std::getline(trace, line); ++at) {
      const std::string thread = line.substr(0, line.find(' '));
      if (line.find("<unfinished ...>") != std::string::npos) {
        unfinished[thread] = {at, at, line};
      } else if (line.find(" resumed>") != std::string::npos) {
        calls.push_back({unfinished[thread].began, at, unfinished[thread].line + line});
      } else {
        calls.push_back({at, at, line});
      }
    }
    std::sort(calls.begin(), calls.end(),
              [](const Call& a, const Call& b) { return a.began < b.began; });
    const auto new_file = [](const std::string& line) {
      const std::size_t tmp = line.find("/.velkoran-");
      return tmp == std::string::npos ? "" : line.substr(tmp + 1, line.find(".tmp", tmp) - tmp);
    };
    const auto is = [](const std::string& line, const char* call) {
      return line.find(std::string(" ") + call + "(") != std::string::npos;
    };
    const auto done = [](const std::string& line) {  // and did not fail
      return line.size() > 4 && line.compare(line.size() - 4, 4, " = 0") == 0;
    };
    // The new files, by name: when each was finished, when it was on the disk.
    std::map<std::string, std::size_t> finished;
    std::map<std::string, std::size_t> synced;
    std::size_t renames = 0;
    std::size_t folders = 0;
    for (const Call& c : calls) {
      const std::string name = new_file(c.line);
      if (is(c.line, "fchmod")) {
        finished[name] = c.ended;
      } else if (is(c.line, "syncfs") && done(c.line)) {
        for (const auto& [file, when] : finished) {
          if (when < c.began) synced.emplace(file, c.ended);
        }
      } else if (is(c.line, "fsync") && !name.empty()) {
        if (finished.count(name) != 0 && done(c.line)) synced.emplace(name, c.ended);
      } else if (is(c.line, "fsync")) {
        ++folders;
        EXPECT_EQ(renames, names.size()) << "a folder synced before the last rename: " << c.line;
      } else if (!name.empty() && !is(c.line, "syncfs")) {
        ++renames;
        EXPECT_TRUE(synced.count(name) != 0 && synced[name] < c.began)
            << "renamed before its sync: " << c.line << inject;
      }
    }
    EXPECT_EQ(renames, names.size()) << inject;
    EXPECT_EQ(folders, 2u) << inject;
  }
}

// Lists of paths, from a file or standard input, taken after those given:
// a line each (empty ones none), or NUL between them (names with line feeds).
TEST(Drop, PathsFromAList) {
  if (testing_windows_build()) GTEST_SKIP() << "a name with a line feed";
  TempDir dir;
  for (const char* name : {"a.wav", "b c.wav", "d\ne.wav", "f.wav"}) write_file(dir / name, kTones);
  write_file(dir / "lines", std::string("b c.wav\n\nf.wav\n"));
  write_file(dir / "nul", std::string("d\ne.wav\0f.wav", 13));
  const struct {
    std::vector<std::string> args;
    std::string input;
    std::string console;
  } cases[] = {
      {{"a.wav", "--files-from", "lines"},
       "/dev/null",
       "a.wav: converted\nb c.wav: converted\nf.wav: converted\n\nAll 3 recordings converted.\n"},
      {{"--files-from", "-", "--null"},
       "nul",
       "d\\012e.wav: converted\nf.wav: converted\n\nAll 2 recordings converted.\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = run_drop(dir.path(), c.args, Shell{":", false, false, false, "", c.input});
    EXPECT_EQ(r.console, c.console);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(fs::exists(dir / "velkoran-f.wav"));
    fs::remove(dir / "velkoran-f.wav");
  }
}

// Names Windows takes for devices are listed there, never opened (as the
// device); elsewhere they are names like any other.
TEST(Drop, WindowsDeviceNamesAreListed) {
  TempDir dir;
  write_file(dir / "CON.wav", kTones);
  const std::string line =
      ".\\CON.wav: not converted: Windows takes the name CON for a device, "
      "and cannot open this file: rename it to convert it\n";
  EXPECT_EQ(run_drop(dir.path(), {"."}).console,
            testing_windows_build()
                ? line + "\n0 of 1 recording converted. Not converted:\n  " + line
                : "./CON.wav: converted\n\nThe recording converted.\n");
}

// A recording deeper than a path can reach is listed with the reason.
TEST(Drop, APathTooLongToOpenIsListed) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX path lengths";
  TempDir dir;
  const std::string a100(100, 'a');
  ASSERT_EQ(
      std::system(("cd '" + dir.path().string() + "' && bash -c 'for i in $(seq 45); do mkdir " +
                   a100 + " && cd " + a100 + "; done && printf x >t.wav'")
                      .c_str()),
      0);
  const RunResult r = run_drop(dir.path(), {"."});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find(": not converted: it could not be read (File name too long)\n\n0 of 1 "
                           "recording converted."),
            std::string::npos);
  std::system(("rm -rf '" + dir.path().string() + "'/" + a100).c_str());
}

// A full disk: the output is not left, nor its temporary file; once there
// is room, the next run converts it.
TEST(Drop, AFullDiskLeavesNothingAndTheNextRunCompletes) {
  if (testing_windows_build() || !running_as_root()) GTEST_SKIP() << "mounts a small tmpfs";
  TempDir dir;
  write_file(dir / "t.wav", kTones);
  fs::create_directory(dir / "full");
  const std::string full = "'" + (dir / "full").string() + "'";
  if (std::system(("mount -t tmpfs -o size=64k tmpfs " + full + " 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "no tmpfs could be mounted";
  }
  const RunResult r = run_drop(dir.path(), {"--into", "full/out", "t.wav"});
  const std::string line = "t.wav: not converted: ERROR: Failed to write output file.\n";
  EXPECT_EQ(r.console, line + "\n0 of 1 recording converted. Not converted:\n  " + line);
  EXPECT_TRUE(fs::is_empty(dir / "full/out"));
  ASSERT_EQ(std::system(("mount -o remount,size=1m " + full).c_str()), 0);
  EXPECT_EQ(run_drop(dir.path(), {"--into", "full/out", "t.wav"}).status, 0);
  EXPECT_TRUE(read_file(dir / "full/out/velkoran-t.wav") == by_hand(kTones, false));
  // Re-laid, a recording needs room for its output alone: no re-laid copy
  // is written beside it.
  std::string junk_first = kTones.str();
  junk_first.insert(12, Bytes().chunk("JUNK", Bytes().fill(8, 0)).str());
  const Bytes relaid =
      Bytes().raw(junk_first).set_u32(4, static_cast<std::uint32_t>(junk_first.size() - 8));
  write_file(dir / "j.wav", relaid);
  ASSERT_EQ(std::system(("rm -r " + full + "/out && mount -o remount,size=160k " + full).c_str()),
            0);
  EXPECT_EQ(run_drop(dir.path(), {"--into", "full/out", "j.wav"}).status, 0);
  EXPECT_TRUE(read_file(dir / "full/out/velkoran-j.wav") == by_hand(relaid, true));
  EXPECT_EQ(std::system(("umount " + full).c_str()), 0);
}

// Two runs on one take, one of them stopped once a conversion is under way:
// the other's output is whole, and what it reported.
TEST(Drop, ARunStoppedBesideAnotherLeavesItsOutputWhole) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
  TempDir dir;
  const std::size_t bytes = 16 << 20;
  write_file(dir / "t.wav", pcm_wave(k16, 0, Bytes().fill(bytes, 0)));
  const RunResult r = run_drop(
      dir.path(), {"t.wav"},
      Shell{"{ " VELKORAN_DROP_EXE
            " t.wav >/dev/null & p=$!; echo $p >.other; { i=0; until ls .velkoran-*.tmp "
            ">/dev/null 2>&1 || [ $i -ge 3000 ]; do sleep 0.01; i=$((i + 1)); done; kill -INT "
            "$p; } & }"});
  // The other run's end, wherever the stop found it.
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && i=0; while kill -0 $(cat .other) 2>/dev/null && [ $i -lt 3000 ]; "
                         "do sleep 0.01; i=$((i + 1)); done; ! kill -0 $(cat .other) 2>/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(r.console, "t.wav: converted\n\nThe recording converted.\n");
  const std::string out = read_file(dir / "velkoran-t.wav");
  EXPECT_EQ(out.size(), 44 + 2 * bytes);
  EXPECT_TRUE(out == float_wave(k16, Bytes().fill(2 * bytes, 0)).str());
}

}  // namespace
}  // namespace velkoran::test
