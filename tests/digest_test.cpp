// The MD5 chunk of a recording (the digest of its data chunk's bytes) in the
// outputs of the three programs: the output's own digest only where the
// recording's data had the one it stated and the place can be written, else
// a JUNK chunk of zeros; velkoran-drop writes nothing of a recording whose
// digest its data does not have. Python's hashlib is the judge.
#include <gtest/gtest.h>

#include "program.hpp"

namespace velkoran::test {
namespace {

// `fix FILE`: an MD5 chunk of sixteen 0x11 bytes is given the digest of the
// file's data chunk. `show FILE`: the file's chunk ids, a 16-byte MD5 or
// JUNK chunk followed by "=data" (the digest of the data chunk's bytes),
// "=0" (zeros) or "=?".
const char kDigests[] = R"(import hashlib, struct, sys
what, name = sys.argv[1:]
b = bytearray(open(name, 'rb').read())
chunks, at = [], 12
while at + 8 <= len(b):
    n = struct.unpack('<I', b[at + 4:at + 8])[0]
    chunks.append((bytes(b[at:at + 4]), at + 8, n))
    at += 8 + n + n % 2
data = [hashlib.md5(b[s:s + n]).digest() for i, s, n in chunks if i == b'data'][0]
shown = []
for i, s, n in chunks:
    if what == 'fix' and i == b'MD5 ' and b[s:s + n] == b'\x11' * 16: b[s:s + n] = data
    body = b[s:s + n]
    tail = '=data' if body == data else '=0' if body == bytes(16) else '=?'
    shown.append(i.decode().strip() + (tail if i in (b'MD5 ', b'JUNK') and n == 16 else ''))
if what == 'fix': open(name, 'wb').write(b)
else: print(' '.join(shown))
)";

std::string digests(const fs::path& dir, const std::string& what, const std::string& name) {
  write_file(dir / "digests.py", std::string(kDigests));
  EXPECT_EQ(std::system(("cd '" + dir.string() + "' && python3 digests.py " + what + " '" + name +
                         "' >shown")
                            .c_str()),
            0);
  return read_file(dir / "shown");
}

// The program, run on `in.wav`, and where its output goes.
enum class By { kVelkoran, kIntoAFifo, kDrop, kPrep };

TEST(Digest, StatesTheOutputsDataOrNone) {
  const Bytes good = Bytes().chunk("MD5 ", Bytes().fill(16, 0x11));   // made true
  const Bytes stale = Bytes().chunk("MD5 ", Bytes().fill(16, 0x22));  // of other data
  const Bytes list = Bytes().chunk("LIST", Bytes().raw("INFOISFT"));
  // Across blocks and buffers, and half a frame after the whole ones, which
  // the digest of the data takes, and the output drops.
  const Bytes samples = Bytes().fill(3 * 65536 * 2 + 6, 0x5A);
  const struct {
    const char* name;
    Bytes before, after;
    By run;
    std::string shown;
  } cases[] = {
      {"before the data", good, list, By::kVelkoran, "fmt MD5=data data LIST"},
      {"after the data", list, good, By::kVelkoran, "fmt LIST data MD5=data"},
      {"two before, the first kept",
       Bytes().add(good).add(good),
       {},
       By::kVelkoran,
       "fmt MD5=data JUNK=0 data"},
      {"stale before, true after", stale, good, By::kVelkoran, "fmt JUNK=0 data MD5=data"},
      {"true before, stale after", good, stale, By::kVelkoran, "fmt MD5=data data JUNK=0"},
      {"another size",
       Bytes().chunk("MD5 ", Bytes().fill(20, 0x11)),
       {},
       By::kVelkoran,
       "fmt MD5 data"},
      {"into a FIFO", good, good, By::kIntoAFifo, "fmt JUNK=0 data MD5=data"},
      {"re-laid and converted", Bytes().chunk("bext", Bytes().raw("x")).add(good), good, By::kDrop,
       "fmt bext MD5=data data MD5=data"},
      {"two before, re-laid",
       Bytes().chunk("bext", Bytes().raw("x")).add(good).add(good),
       {},
       By::kDrop,
       "fmt bext MD5=data JUNK=0 data"},
      {"re-laid alone", good, good, By::kPrep, "fmt MD5=data data MD5=data"},
      // velkoran-drop converts nothing of a recording changed since.
      {"stale after, re-laid", Bytes().chunk("bext", Bytes().raw("x")), stale, By::kDrop, ""},
      {"stale before, re-laid",
       Bytes().chunk("bext", Bytes().raw("x")).add(stale),
       {},
       By::kDrop,
       ""},
  };
  for (const auto& c : cases) {
    if (testing_windows_build() && c.run == By::kIntoAFifo) continue;
    TempDir dir;
    Bytes input = pcm_wave(Format::pcm16(), static_cast<std::uint32_t>(samples.size()),
                           Bytes().add(samples).add(c.after), c.before);
    if (c.run == By::kDrop) {
      // Its format chunk after the chunks before the data: velkoran-drop re-lays it.
      input = riff(Bytes()
                       .add(c.before)
                       .add(format_chunk(Format::pcm16()))
                       .id("data")
                       .u32(static_cast<std::uint32_t>(samples.size()))
                       .add(samples)
                       .add(c.after));
    }
    write_file(dir / "in.wav", input);
    (void)digests(dir.path(), "fix", "in.wav");
    const std::string out = c.run == By::kPrep ? "out.wav" : "velkoran-in.wav";
    RunResult r;
    if (c.run == By::kDrop) {
      // Read back, too: the output's digest its own data's, JUNK all zeros.
      r = run_drop(dir.path(), {"--verify", "in.wav"});
    } else if (c.run == By::kPrep) {
      r = run_prep(dir.path(), {"in.wav", "out.wav"});
    } else if (c.run == By::kIntoAFifo) {
      // The reader holds a lock while it copies, taken before it opens the
      // FIFO (which the program's opening waits for): taking the lock after
      // the run waits for the copy's end, however long it takes.
      r = run_program(dir.path(), {"in.wav"},
                      Shell{"mkfifo velkoran-in.wav && "
                            "{ { flock 9 && cat velkoran-in.wav >received; } 9>reading & }"});
      EXPECT_EQ(std::system(("flock '" + (dir / "reading").string() + "' true").c_str()), 0);
    } else {
      r = run_program(dir.path(), {"in.wav"});
    }
    if (c.shown.empty()) {
      EXPECT_EQ(r.status, 1) << c.name;
      EXPECT_NE(r.console.find("in.wav: not converted: its MD5 chunk states a digest that its "
                               "data does not have: the recording changed after its digest was "
                               "made, and is left as it is\n"),
                std::string::npos)
          << r.console;
      EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
          << "only in.wav and the script's two files";
      continue;
    }
    EXPECT_EQ(r.status, 0) << c.name << r.console;
    EXPECT_EQ(digests(dir.path(), "show", c.run == By::kIntoAFifo ? "received" : out),
              c.shown + "\n")
        << c.name;
  }
}

// An output that states its recording's own digest (as outputs did when
// every chunk was carried over as it stood) states a falsehood: velkoran-drop
// converts it again, though it has the recording's time.
TEST(Digest, AnOutputStatingItsRecordingsDigestIsConvertedAgain) {
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 8, Bytes().fill(8, 3),
                                      Bytes().chunk("MD5 ", Bytes().fill(16, 0x11))));
  (void)digests(dir.path(), "fix", "in.wav");
  EXPECT_EQ(run_drop(dir.path(), {"in.wav"}).console,
            "in.wav: converted\n\nThe recording converted.\n");
  ASSERT_EQ(std::system(("cd '" + dir.path().string() +
                         "' && python3 -c 'import os\n"
                         "i, o = open(\"in.wav\", \"rb\").read(), "
                         "bytearray(open(\"velkoran-in.wav\", \"rb\").read())\n"
                         "k = i.find(b\"MD5 \")\n"
                         "o[k + 8:k + 24] = i[k + 8:k + 24]\n"
                         "open(\"velkoran-in.wav\", \"wb\").write(o)\n"
                         "s = os.stat(\"in.wav\")\n"
                         "os.utime(\"velkoran-in.wav\", ns=(s.st_atime_ns, s.st_mtime_ns))'")
                            .c_str()),
            0);
  EXPECT_EQ(run_drop(dir.path(), {"in.wav"}).console,
            "in.wav: converted\n\nThe recording converted.\n");
  EXPECT_EQ(digests(dir.path(), "show", "velkoran-in.wav"), "fmt MD5=data data\n");
}

}  // namespace
}  // namespace velkoran::test
