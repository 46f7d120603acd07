// velkoran-prep seen from outside: each layout is re-laid (or refused with its
// line), and what it writes then converts with velkoran, whose samples
// libsndfile must find exact; the output's name is written only as a regular
// file, in one step; a signal leaves nothing behind.
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

// An RF64 (or BW64) file: `before`, a ds64 chunk stating the true RIFF size
// and `data_size`, then `after`. Its RIFF size says "look in ds64".
Bytes rf64(const char (&form)[5], const Bytes& before, const Bytes& after,
           std::uint64_t data_size) {
  const std::uint64_t riff_size = 4 + before.size() + 36 + after.size();
  const Bytes ds64 = Bytes()
                         .u32(static_cast<std::uint32_t>(riff_size))
                         .u32(static_cast<std::uint32_t>(riff_size >> 32))
                         .u32(static_cast<std::uint32_t>(data_size))
                         .u32(static_cast<std::uint32_t>(data_size >> 32))
                         .u32(static_cast<std::uint32_t>(data_size / 4))
                         .u32(0)
                         .u32(0);  // no table
  return Bytes().id(form).u32(0xFFFFFFFF).id("WAVE").add(before).chunk("ds64", ds64).add(after);
}

// A data chunk whose 32-bit size field says `field`, RF64's way.
Bytes rf64_data(unsigned width, std::uint32_t field = 0xFFFFFFFF) {
  return Bytes().id("data").u32(field).add(samples(width, values(width)));
}
const std::uint64_t kDataSize16 = 2 * 64;
const std::uint64_t kDataSize24 = 3 * 64;

// The format chunk of WAVE_FORMAT_EXTENSIBLE for the layout of `f`, with the
// channel mask, the sub-format (KSDATAFORMAT_SUBTYPE_PCM, or _IEEE_FLOAT),
// the valid bits and bytes past the 22 of the extension.
Bytes extensible(const Format& f, std::uint32_t mask, bool pcm = true, std::uint16_t valid = 0,
                 std::size_t extra = 0) {
  const std::uint16_t bits = static_cast<std::uint16_t>(f.block_align * 4);
  Bytes b = Bytes().u16(0xFFFE).u16(f.channels).u32(f.rate).u32(f.byte_rate).u16(f.block_align);
  b.u16(bits).u16(static_cast<std::uint16_t>(22 + extra)).u16(valid != 0 ? valid : bits);
  b.u32(mask).u32(pcm ? 1 : 3).raw(std::string("\x00\x00\x10\x00", 4));
  b.raw("\x80").u8(0).u8(0).raw("\xAA").u8(0).raw("\x38\x9B\x71").fill(extra, 0x5A);
  return Bytes().chunk("fmt ", b);
}

std::string wrote(const std::string& changes) {
  return "Wrote out.wav: " + changes + ", every other chunk kept byte for byte.\n";
}
const std::string kCopied =
    "in.wav is already laid out as velkoran takes it: copied unchanged to out.wav.\n";
std::string refused(const std::string& why, const std::string& in = "in.wav") {
  return in + " " + why + "\n";
}
const std::string kRf64 =
    "RF64 written as RIFF, its data size taken from its ds64 chunk, which is "
    "dropped";

struct PrepCase : NamedCase {
  Bytes input;
  std::string said;        // all velkoran-prep prints, for `in` and out.wav
  Bytes relaid = Bytes();  // what it writes; nothing for a refusal
  unsigned width = 2;
  bool through_pipe = false;
  std::string in = "in.wav";
  // The samples velkoran must convert from what it wrote: values(width)
  // where none are given; none at all where libsndfile cannot read the
  // output (a format chunk it does not take).
  std::vector<std::int32_t> samples = {};
  bool decodable = true;
  bool posix_names = false;  // the line quotes a name for a POSIX shell
};

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

const Bytes kJunk = Bytes().chunk("JUNK", Bytes().fill(28, 0));
const Bytes kBext = Bytes().chunk("bext", Bytes().raw("Take 1, ").fill(593, 0x20));  // odd: padded
const Bytes kIxml = Bytes().chunk("iXML", Bytes().raw("<BWFXML><SCENE>4</SCENE></BWFXML>"));
const Bytes kNote = Bytes().unpadded_chunk("note", Bytes().raw("abc"));  // its pad left out
const Bytes kCue = Bytes().unpadded_chunk("cue ", Bytes().raw("xyz"));
const Bytes k16Format = format_chunk(k16);
const Bytes k24Format = format_chunk(k24);
// An ID3v1 tag a tagger appended after the RIFF chunk.
const Bytes kTag = Bytes().raw("TAG").fill(125, 0x41);

// Several MiB: more than a read, a copy's piece or a block of samples takes
// at a time. The bext chunk before the format chunk is passed over by
// repositioning the file, then copied.
const std::vector<std::int32_t> kMany = varied(2, 3 * 512 * 1024 + 6);
const Bytes kBigBext = Bytes().chunk("bext", Bytes().fill(200001, 0x42));
const Bytes kSeveralMiB = Bytes().chunk("data", samples(2, kMany));

// A data chunk of odd size: three 16-bit samples and a byte, its pad 0.
const std::vector<std::int32_t> kOdd = {1000, -1000, 7};
const Bytes kOddData = Bytes().chunk("data", samples(2, kOdd).u8(0x33));

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
        // The pad after odd data stays: without it, readers lose the chunk after.
        PrepCase{"OddDataPadThenList",
                 riff(Bytes().add(kJunk).add(k16Format).add(kOddData).add(kList)),
                 wrote("the format chunk moved to the front, before 1 other chunk"),
                 riff(Bytes().add(k16Format).add(kJunk).add(kOddData).add(kList)),
                 2,
                 false,
                 "in.wav",
                 {1000, -1000}},
        PrepCase{"OddDataPadLeftOutThroughAPipe",
                 riff(Bytes()
                          .add(kJunk)
                          .add(k16Format)
                          .unpadded_chunk("data", samples(2, kOdd).u8(0x33))
                          .add(kList)),
                 wrote("the format chunk moved to the front, before 1 other chunk, 1 missing pad "
                       "byte added"),
                 riff(Bytes().add(k16Format).add(kJunk).add(kOddData).add(kList)),
                 2,
                 true,
                 "in.wav",
                 {1000, -1000}},
        // The bytes after the RIFF chunk stay outside it.
        PrepCase{"TagAfterTheRiffChunk",
                 riff(Bytes().add(kJunk).add(k16Format).add(data(2))).add(kTag),
                 wrote("the format chunk moved to the front, before 1 other chunk"),
                 riff(Bytes().add(k16Format).add(kJunk).add(data(2))).add(kTag)},
        PrepCase{"SeveralMiBFromAFile",
                 riff(Bytes().add(kBigBext).add(kJunk).add(k16Format).add(kSeveralMiB).add(kList)),
                 wrote("the format chunk moved to the front, before 2 other chunks"),
                 riff(Bytes().add(k16Format).add(kBigBext).add(kJunk).add(kSeveralMiB).add(kList)),
                 2, false, "in.wav", kMany},
        PrepCase{"SeveralMiBThroughAPipe",
                 riff(Bytes().add(kBigBext).add(kJunk).add(k16Format).add(kSeveralMiB).add(kList)),
                 wrote("the format chunk moved to the front, before 2 other chunks"),
                 riff(Bytes().add(k16Format).add(kBigBext).add(kJunk).add(kSeveralMiB).add(kList)),
                 2, true, "in.wav", kMany},
        // The data chunk may stand anywhere before the format chunk, where it
        // states its length.
        PrepCase{"DataBeforeTheFormat",
                 riff(Bytes().add(kJunk).add(data(2)).add(kList).add(k16Format).add(kBext)),
                 wrote("the format chunk moved to the front, before 3 other chunks"),
                 riff(Bytes().add(k16Format).add(kJunk).add(data(2)).add(kList).add(kBext))},
        PrepCase{"DataBeforeTheFormatThroughAPipe",
                 riff(Bytes().add(data(3)).add(k24Format).add(kList)),
                 wrote("the format chunk moved to the front, before 1 other chunk"),
                 riff(Bytes().add(k24Format).add(data(3)).add(kList)), 3, true},
        PrepCase{"DataBeforeTheFormatWithoutLength",
                 riff(Bytes().id("data").u32(0).add(samples(2, values(2))).add(k16Format)),
                 refused("has its data chunk before its format chunk, with no length stated: where "
                         "the samples end cannot be told.")},
        PrepCase{"Extensible16Mask0", riff(Bytes().add(extensible(k16, 0)).add(data(2))),
                 wrote("the extensible format written as plain PCM"),
                 riff(Bytes().add(k16Format).add(data(2)))},
        PrepCase{"Extensible24FrontPairAndChunks",
                 riff(Bytes().add(extensible(k24, 3)).add(kList).add(data(3)).add(kList)),
                 wrote("the extensible format written as plain PCM"),
                 riff(Bytes().add(k24Format).add(kList).add(data(3)).add(kList)), 3},
        PrepCase{"ExtensibleValidBitsAndMoreBytes",
                 riff(Bytes().add(extensible(k24, 3, true, 20, 6)).add(data(3))),
                 wrote("the extensible format written as plain PCM, its 20 valid bits per sample "
                       "not kept (plain PCM cannot state them), 6 bytes after its extension "
                       "dropped"),
                 riff(Bytes().add(k24Format).add(data(3))), 3},
        // RF64 as recorders write it: ds64 anywhere before the data, with
        // chunks before it; its sizes win over the 32-bit ones.
        PrepCase{
            "Rf64",
            rf64("RF64", Bytes(), Bytes().add(k24Format).add(rf64_data(3)).add(kList), kDataSize24),
            wrote(kRf64), riff(Bytes().add(k24Format).add(data(3)).add(kList)), 3},
        PrepCase{
            "Bw64Extensible",
            rf64("BW64", Bytes(), Bytes().add(extensible(k16, 3)).add(rf64_data(2)), kDataSize16),
            wrote("BW64 written as RIFF, its data size taken from its ds64 chunk, which is "
                  "dropped, the extensible format written as plain PCM"),
            riff(Bytes().add(k16Format).add(data(2)))},
        PrepCase{"Rf64JunkAndBextBeforeDs64",
                 rf64("RF64", Bytes().add(kJunk).add(kBext),
                      Bytes().add(k16Format).add(rf64_data(2)).add(kList), kDataSize16),
                 wrote(kRf64 + ", the format chunk moved to the front, before 2 other chunks"),
                 riff(Bytes().add(k16Format).add(kJunk).add(kBext).add(data(2)).add(kList))},
        PrepCase{"Rf64Ds64AfterTheFormatAndAnother32BitSize",
                 Bytes()
                     .id("RF64")
                     .u32(0xFFFFFFFF)
                     .id("WAVE")
                     .add(k16Format)
                     .chunk("ds64", Bytes()
                                        .u32(4 + 24 + 36 + 8 + kDataSize16)
                                        .u32(0)
                                        .u32(kDataSize16)
                                        .u32(0)
                                        .u32(32)
                                        .u32(0)
                                        .u32(0))
                     .add(rf64_data(2, 1234)),
                 wrote(kRf64), riff(Bytes().add(k16Format).add(data(2)))},
        PrepCase{"Rf64WithoutDs64",
                 Bytes().id("RF64").u32(0xFFFFFFFF).id("WAVE").add(k16Format).add(rf64_data(2)),
                 wrote("RF64 written as RIFF, its data size kept as its data chunk states it (it "
                       "has no ds64 chunk)"),
                 riff(Bytes().add(k16Format).add(rf64_data(2)))},
        // A size past 32 bits is never cut to its low bits.
        PrepCase{"Rf64PastWhatRiffCanState",
                 rf64("RF64", Bytes(), Bytes().add(k16Format).add(rf64_data(2)),
                      0x100000000ull + kDataSize16),
                 refused("holds more than a RIFF file's sizes can state (4 GiB); velkoran could "
                         "not take it either.")},
        PrepCase{"Ds64TooShort",
                 Bytes().id("RF64").u32(0xFFFFFFFF).id("WAVE").chunk("ds64", Bytes().fill(16, 0)),
                 refused("has a ds64 chunk of 16 bytes, too short to state its sizes.")},
        // In a RIFF file a ds64 chunk is a chunk like any other.
        PrepCase{
            "Ds64InARiffFileIsKept",
            riff(Bytes().add(kJunk).add(k16Format).chunk("ds64", Bytes().fill(28, 1)).add(data(2))),
            wrote("the format chunk moved to the front, before 1 other chunk"),
            riff(
                Bytes().add(k16Format).add(kJunk).chunk("ds64", Bytes().fill(28, 1)).add(data(2)))},
        // What velkoran takes as it is, velkoran-prep calls plain.
        PrepCase{"AlreadyPlain", riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList)),
                 kCopied, riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList))},
        PrepCase{"SixteenBitsInSixByteBlocksIsPlain",
                 riff(Bytes().add(format_chunk(k24.with_tail(Bytes().u16(16)))).add(data(3))),
                 kCopied,
                 riff(Bytes().add(format_chunk(k24.with_tail(Bytes().u16(16)))).add(data(3))), 3},
        PrepCase{"Format14IsPlain",
                 riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(data(3))),
                 kCopied,
                 riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(data(3))),
                 3,
                 false,
                 "in.wav",
                 {},
                 false},
        PrepCase{"Format14BehindJunk",
                 riff(Bytes().add(kJunk).add(format_chunk(k24.with_tail(Bytes()))).add(data(3))),
                 wrote("the format chunk moved to the front, before 1 other chunk"),
                 riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(kJunk).add(data(3))),
                 3,
                 false,
                 "in.wav",
                 {},
                 false},
        PrepCase{"FormatOver64KiBBehindJunk",
                 riff(Bytes()
                          .add(kJunk)
                          .add(format_chunk(k24.with_tail(Bytes().u16(24).fill(70000, 1))))
                          .add(data(3))),
                 wrote("the format chunk moved to the front, before 1 other chunk"),
                 riff(Bytes()
                          .add(format_chunk(k24.with_tail(Bytes().u16(24).fill(70000, 1))))
                          .add(kJunk)
                          .add(data(3))),
                 3,
                 true,
                 "in.wav",
                 {},
                 false},
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
        // The suggested command quotes the name for the shell.
        PrepCase{
            "MonoNameWithASpaceAndAQuote",
            riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2))),
            refused("is mono; velkoran takes stereo. Re-save it as stereo with: sox 'my take'\\''s "
                    "$1.wav' -t wavpcm -c 2 fixed.wav",
                    "my take's $1.wav"),
            Bytes(),
            2,
            false,
            "my take's $1.wav",
            {},
            true,
            true},
        PrepCase{
            "SixChannelsNameStartingWithADash",
            riff(Bytes().add(format_chunk(k16.with_channels(6).with_block_align(12))).add(data(2))),
            refused("has 6 channels; velkoran takes stereo. Keep the first two with: sox "
                    "./-take.wav -t wavpcm fixed.wav remix 1 2",
                    "-take.wav"),
            Bytes(),
            2,
            false,
            "-take.wav",
            {},
            true,
            true},
        PrepCase{"EightBit",
                 riff(Bytes()
                          .add(format_chunk(k16.with_block_align(2).with_tail(Bytes().u16(8))))
                          .add(data(2))),
                 refused("holds 8-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 bits "
                         "with: sox -D in.wav -t wavpcm -b 24 fixed.wav")},
        PrepCase{"OddBlockAlignment",
                 riff(Bytes().add(format_chunk(k16.with_block_align(5))).add(data(2))),
                 refused("states a block alignment of 5 bytes, which no stereo layout of whole "
                         "bytes has.")},
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
        PrepCase{"FormatTooShort",
                 riff(Bytes().add(kJunk).add(format_chunk(k16.with_size(12))).add(data(2))),
                 refused("has a format chunk of 12 bytes, too short for the format it names.")},
        PrepCase{"NoDataChunk", riff(Bytes().add(kJunk).add(k16Format)),
                 refused("has no data chunk.")},
        PrepCase{"PlainButNoDataChunk", riff(Bytes().add(k16Format).add(kList)),
                 refused("has no data chunk.")},
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
        // Whom its mode refuses, it refuses; root it does not, as with velkoran.
        OutCase{"ReadOnlyForAUser", "printf old >out.wav && chmod 444 out.wav",
                "Could not open out.wav\n", "[ \"$(cat out.wav)\" = old ]", "out.wav", true, true},
        OutCase{"FolderTheUserCannotWrite", "mkdir sub && chmod 555 sub",
                "Could not open sub/out.wav\n", "[ -z \"$(ls -A sub)\" ]", "sub/out.wav", true,
                true},
        OutCase{"LinkToAFileElsewhere",
                "mkdir real && printf old >real/take.wav && ln -s real/take.wav out.wav", kWrote,
                "[ -L out.wav ] && cmp real/take.wav want.wav && [ \"$(ls -A real)\" = take.wav ]",
                "out.wav", false, true},
        OutCase{"LinkToNothingYet", "mkdir real && ln -s real/new.wav out.wav", kWrote,
                "[ -L out.wav ] && cmp real/new.wav want.wav", "out.wav", false, true},
        OutCase{"Fifo", "mkfifo out.wav", "Could not open out.wav: it is a FIFO, not a file.\n",
                "[ -p out.wav ]", "out.wav", false, true},
        OutCase{"Device", "mknod out.wav c 1 3 2>/dev/null || ln -s /dev/null out.wav",
                "Could not open out.wav: it is a device, not a file.\n", "[ -c out.wav ]",
                "out.wav", false, true},
        OutCase{"Folder", "mkdir out.wav", "Could not open out.wav: it is a folder, not a file.\n",
                "[ -d out.wav ] && [ -z \"$(ls -A out.wav)\" ]"},
        OutCase{"HardLinks", "printf old >out.wav && ln out.wav other.wav",
                "Could not open out.wav: the file has 2 names (hard links), which replacing it "
                "would part.\n",
                "[ \"$(cat out.wav)\" = old ] && [ \"$(stat -c %h out.wav)\" = 2 ]", "out.wav",
                false, true},
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
  EXPECT_LT(r.seconds, 2);
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
    EXPECT_LT(r.seconds, 2);
  }
}

}  // namespace
}  // namespace velkoran::test
