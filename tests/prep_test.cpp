// velkoran-prep seen from outside: each layout is re-laid (or refused with its
// line), and what it writes then converts with velkoran, whose samples
// libsndfile must find exact.
#include <gtest/gtest.h>

#include "decode.hpp"
#include "named_case.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

const Format k16 = Format::pcm16();
const Format k24 = Format::pcm24();
const Bytes kList = list_chunk();
const std::string kOlder = "an older, good file";

std::vector<std::int32_t> values(unsigned width) {
  return varied(width, 64);
}
Bytes data(unsigned width) {
  return Bytes().chunk("data", samples(width, values(width)));
}

// A file of the chunks given, its RIFF size its length less 8.
Bytes riff(const Bytes& chunks) {
  Bytes b = Bytes().id("RIFF").u32(0).id("WAVE").add(chunks);
  return set_riff_size(b);
}

// RF64 (or BW64): the sizes stand in the ds64 chunk, the RIFF and data
// sizes say "look there".
Bytes rf64(const char (&form)[5], const Bytes& format, unsigned width, const Bytes& after) {
  const Bytes body = samples(width, values(width));
  const std::uint64_t riff_size = 4 + 8 + 28 + format.size() + 8 + body.size() + after.size();
  const Bytes ds64 = Bytes()
                         .u32(static_cast<std::uint32_t>(riff_size))
                         .u32(0)
                         .u32(static_cast<std::uint32_t>(body.size()))
                         .u32(0)
                         .u32(static_cast<std::uint32_t>(body.size() / (2 * width)))
                         .u32(0)
                         .u32(0);  // no table
  return Bytes()
      .id(form)
      .u32(0xFFFFFFFF)
      .id("WAVE")
      .chunk("ds64", ds64)
      .add(format)
      .id("data")
      .u32(0xFFFFFFFF)
      .add(body)
      .add(after);
}

// The format chunk of WAVE_FORMAT_EXTENSIBLE for the layout of `f`, with the
// channel mask and the sub-format (KSDATAFORMAT_SUBTYPE_PCM, or _IEEE_FLOAT).
Bytes extensible(const Format& f, std::uint32_t mask, bool pcm = true) {
  const std::uint16_t bits = static_cast<std::uint16_t>(f.block_align * 4);
  Bytes b = Bytes().u16(0xFFFE).u16(f.channels).u32(f.rate).u32(f.byte_rate).u16(f.block_align);
  b.u16(bits).u16(22).u16(bits).u32(mask).u32(pcm ? 1 : 3).raw(std::string("\x00\x00\x10\x00", 4));
  b.raw("\x80").u8(0).u8(0).raw("\xAA").u8(0).raw("\x38\x9B\x71");
  return Bytes().chunk("fmt ", b);
}

std::string wrote(const std::string& changes) {
  return "Wrote out.wav: " + changes + ", every other chunk kept byte for byte.\n";
}

struct PrepCase : NamedCase {
  Bytes input;
  std::string said;        // all velkoran-prep prints, for in.wav and out.wav
  Bytes relaid = Bytes();  // what it writes; nothing for a refusal
  unsigned width = 2;
  bool through_pipe = false;
  std::string out = "out.wav";
};

class Prep : public testing::TestWithParam<PrepCase> {};

TEST_P(Prep, RelaysWhatVelkoranRefusesAndRefusesTheRest) {
  const PrepCase& c = GetParam();
  TempDir dir;
  Shell shell;
  if (c.through_pipe) {
    write_file(dir / "delivered", c.input);
    shell.before = "mkfifo in.wav && { cat delivered >in.wav & }";
  } else {
    write_file(dir / "in.wav", c.input);
  }
  write_file(dir / "out.wav", kOlder);
  const RunResult r = run_prep(dir.path(), {"in.wav", c.out}, shell);
  EXPECT_EQ(r.console, c.said);
  if (c.relaid.size() == 0) {
    // Refused: nothing written, not even beside it, and the good file kept.
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(dir / "out.wav"), kOlder);
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path()))
      files += e.path().filename() != ".errors";
    EXPECT_EQ(files, c.through_pipe ? 3u : 2u);
    if (!c.through_pipe) {
      EXPECT_TRUE(read_file(dir / "in.wav") == c.input.str());
    }
    return;
  }
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(read_file(dir / "out.wav") == c.relaid.str());
  const RunResult v = run_program(dir.path(), {"out.wav"});
  EXPECT_EQ(v.status, 0) << v.console;
  const Decoded d = decode(dir / "velkoran-out.wav");
  const std::vector<std::int32_t> want = values(c.width);
  ASSERT_EQ(d.samples.size(), want.size());
  const float scale = c.width == 2 ? 32768.0f : 8388608.0f;
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(d.samples[i], static_cast<float>(want[i]) / scale) << "sample " << i;
  }
}

const Bytes kJunk = Bytes().chunk("JUNK", Bytes().fill(28, 0));
const Bytes kBext = Bytes().chunk("bext", Bytes().raw("Take 1, ").fill(593, 0x20));  // odd: padded
const Bytes kIxml = Bytes().chunk("iXML", Bytes().raw("<BWFXML><SCENE>4</SCENE></BWFXML>"));
const Bytes kNote = Bytes().unpadded_chunk("note", Bytes().raw("abc"));  // its pad left out
const Bytes kCue = Bytes().unpadded_chunk("cue ", Bytes().raw("xyz"));
const Bytes k16Format = format_chunk(k16);
const Bytes k24Format = format_chunk(k24);

std::string refused(const std::string& why) {
  return "in.wav " + why + "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Prep,
    testing::Values(
        PrepCase{
            "BextIxmlJunkFirst",
            riff(Bytes().add(kJunk).add(kBext).add(kIxml).add(k16Format).add(data(2)).add(kList)),
            wrote("the format chunk moved to the front, before 3 other chunks"),
            riff(Bytes().add(k16Format).add(kJunk).add(kBext).add(kIxml).add(data(2)).add(kList))},
        // Pads left out are added as 0; one of another value is kept.
        PrepCase{"OddChunksBeforeAndAfterTheFormat",
                 riff(Bytes().add(kNote).add(k24Format).add(kCue).u8(0xFF).add(kList).add(data(3))),
                 wrote("the format chunk moved to the front, before 1 other chunk, 1 missing pad "
                       "byte added"),
                 riff(Bytes().add(k24Format).add(kNote).u8(0).add(kCue).u8(0xFF).add(kList).add(
                     data(3))),
                 3},
        PrepCase{"Extensible16Mask0", riff(Bytes().add(extensible(k16, 0)).add(data(2))),
                 wrote("the extensible format written as plain PCM"),
                 riff(Bytes().add(k16Format).add(data(2)))},
        PrepCase{"Extensible24FrontPairAndChunks",
                 riff(Bytes().add(extensible(k24, 3)).add(kList).add(data(3)).add(kList)),
                 wrote("the extensible format written as plain PCM"),
                 riff(Bytes().add(k24Format).add(kList).add(data(3)).add(kList)), 3},
        PrepCase{"Rf64", rf64("RF64", k24Format, 3, kList),
                 wrote("RF64 written as RIFF with its true sizes"),
                 riff(Bytes().add(k24Format).add(data(3)).add(kList)), 3},
        PrepCase{"Bw64Extensible", rf64("BW64", extensible(k16, 3), 2, Bytes()),
                 wrote("RF64 written as RIFF with its true sizes, the extensible format written "
                       "as plain PCM"),
                 riff(Bytes().add(k16Format).add(data(2)))},
        PrepCase{"AlreadyPlain", riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList)),
                 "in.wav is already laid out as velkoran takes it: copied unchanged to out.wav.\n",
                 riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList))},
        // Damage velkoran tolerates is carried over as it stands.
        PrepCase{
            "CutDataThroughAPipe",
            riff(Bytes().add(kJunk).add(k16Format)).id("data").u32(1000).add(samples(2, values(2))),
            wrote("the format chunk moved to the front, before 1 other chunk"),
            riff(Bytes().add(k16Format).add(kJunk).id("data").u32(1000).add(samples(2, values(2)))),
            2, true},
        PrepCase{"LengthUnknownThroughAPipe",
                 riff(Bytes()
                          .add(kBext)
                          .add(kJunk)
                          .add(k16Format)
                          .id("data")
                          .u32(0xFFFFFFFF)
                          .add(samples(2, values(2)))),
                 wrote("the format chunk moved to the front, before 2 other chunks"),
                 riff(Bytes()
                          .add(k16Format)
                          .add(kBext)
                          .add(kJunk)
                          .id("data")
                          .u32(0xFFFFFFFF)
                          .add(samples(2, values(2)))),
                 2, true},
        PrepCase{
            "Mono",
            riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2))),
            refused("is mono; velkoran takes stereo. Re-save it as stereo with: sox in.wav "
                    "-t wavpcm -c 2 fixed.wav")},
        PrepCase{
            "SixChannels",
            riff(Bytes().add(format_chunk(k16.with_channels(6).with_block_align(12))).add(data(2))),
            refused("has 6 channels; velkoran takes stereo. Keep the first two with: sox "
                    "in.wav -t wavpcm fixed.wav remix 1 2")},
        PrepCase{"EightBit",
                 riff(Bytes()
                          .add(format_chunk(k16.with_block_align(2).with_tail(Bytes().u16(8))))
                          .add(data(2))),
                 refused("holds 8-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 bits "
                         "with: sox -D in.wav -t wavpcm -b 24 fixed.wav")},
        PrepCase{"Extensible32BitInteger",
                 riff(Bytes().add(extensible(k16.with_block_align(8), 3)).add(data(2))),
                 refused("holds 32-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 "
                         "bits with: sox -D in.wav -t wavpcm -b 24 fixed.wav")},
        PrepCase{"ExtensibleOtherSpeakers", riff(Bytes().add(extensible(k24, 0x33)).add(data(3))),
                 refused("states its speakers (channel mask 0x33), which the plain layout cannot "
                         "carry. To drop them: sox in.wav -t wavpcm fixed.wav")},
        PrepCase{
            "FloatBehindJunk",
            riff(Bytes()
                     .add(kJunk)
                     .add(format_chunk(k16.with_tag(3).with_block_align(8)))
                     .add(data(2))),
            refused("is floating point already: it needs no conversion. To make 24-bit PCM "
                    "of it anyway: sox -D in.wav -t wavpcm -e signed-integer -b 24 fixed.wav")},
        PrepCase{
            "ExtensibleFloat",
            riff(Bytes().add(extensible(k16.with_block_align(8), 3, false)).add(data(2))),
            refused("is floating point already: it needs no conversion. To make 24-bit PCM "
                    "of it anyway: sox -D in.wav -t wavpcm -e signed-integer -b 24 fixed.wav")},
        PrepCase{"Adpcm", riff(Bytes().add(format_chunk(k16.with_tag(2))).add(data(2))),
                 refused("is not PCM (format tag 2); decode it first, for instance with: ffmpeg "
                         "-i in.wav -c:a pcm_s24le fixed.wav")},
        PrepCase{"Rifx", Bytes().id("RIFX").u32(4).id("WAVE"),
                 refused("is big-endian (RIFX); velkoran takes little-endian WAVE files. Re-save "
                         "it with: sox in.wav -t wavpcm fixed.wav")},
        PrepCase{"NotWave", Bytes().raw("not a recording"), refused("is not a WAVE file.")},
        PrepCase{"NoDataChunk", riff(Bytes().add(kJunk).add(k16Format)),
                 refused("has no data chunk.")},
        PrepCase{"OutputIsTheInput", riff(Bytes().add(kJunk).add(k16Format).add(data(2))),
                 "Could not open in.wav: it is the input itself.\n", Bytes(), 2, false, "in.wav"},
        // A pipe cannot be read twice: what stands before the format chunk is
        // held, up to a bound.
        PrepCase{"TooMuchBeforeTheFormatThroughAPipe",
                 riff(Bytes()
                          .add(Bytes().chunk("JUNK", Bytes().fill(16 * 1024 * 1024 + 2, 0)))
                          .add(k16Format)
                          .add(data(2))),
                 refused("is not a file, and what stands before its format chunk passes the 16 "
                         "MiB held from a pipe: give it as a file."),
                 Bytes(), 2, true}),
    ByName());

// Interrupted part-way (Ctrl-C, a batch job's timeout), velkoran-prep leaves
// nothing behind, keeps the good file of that name, and ends by the signal.
TEST(Prep, InterruptedLeavesNothingBehind) {
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
  const Bytes input = riff(Bytes().add(kJunk).add(k16Format).add(data(2)));
  TempDir dir;
  write_file(dir / "delivered", input);
  write_file(dir / "out.wav", kOlder);
  const RunResult r = run_prep(dir.path(), {"in.wav", "out.wav"}, signal_after(100, "TERM"));
  EXPECT_EQ(r.status, 143);
  EXPECT_EQ(r.console, "");
  EXPECT_EQ(read_file(dir / "out.wav"), kOlder);
  for (const auto& e : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  }
}

}  // namespace
}  // namespace velkoran::test
