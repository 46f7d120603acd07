// The header pass seen from outside: the real program converts inputs built
// here, and the console, exit status and output bytes are checked.
#include <gtest/gtest.h>

#include "messages.hpp"
#include "named_case.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

const std::string kIn = "in.wav";
const std::string kOut = "velkoran-in.wav";

// A good input cut or altered after the format fields.
Bytes with_format(Format f) {
  return riff_and_format(f, 1000);
}

// The first 20 bytes of a good input, through the format chunk size.
Bytes through_fmt_size(std::uint32_t fmt_size = 16) {
  return with_format(Format().with_size(fmt_size)).head(20);
}

struct Refusal : NamedCase {
  Bytes input;
  std::string console;  // after the banner
  Bytes output;         // all that the output file holds afterwards
};

class HeaderRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(HeaderRefusal, StopsWithItsMessageAndKeepsWhatWasWritten) {
  const Refusal& c = GetParam();
  TempDir dir;
  write_file(dir / kIn, c.input);
  const RunResult r = run_program(dir.path(), {kIn});
  EXPECT_EQ(r.console, banner(kIn) + c.console);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(read_file(dir / kOut), c.output.str());
}

// What the output holds once the fixed format fields up to the channel count
// and sample rate have been written: the byte rate is still held back.
Bytes through_rate(std::uint16_t channels = 2) {
  return through_fmt_size().u16(3).u16(channels).u32(48000);
}

// The output of a 24-bit header through nBlockAlign.
Bytes float24_through_align() {
  return through_rate().u32(48000 * 8).u16(8);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, HeaderRefusal,
    testing::Values(
        Refusal{"Empty", Bytes(), header_error(0), Bytes()},
        Refusal{"ShortRiffId", Bytes().raw("RIF"), header_error(0), Bytes()},
        Refusal{"RiffIdLastLetterDiffers", Bytes().raw("RIFX").u32(4).id("WAVE"), header_error(1),
                Bytes()},
        Refusal{"NoRiffSize", Bytes().id("RIFF").u16(0), header_error(2), Bytes().id("RIFF")},
        Refusal{"NoFormType", Bytes().id("RIFF").u32(4).raw("WA"), header_error(2),
                Bytes().id("RIFF").u32(4)},
        Refusal{"FormTypeNotWave", Bytes().id("RIFF").u32(4).id("AVI "), header_error(2),
                Bytes().id("RIFF").u32(4)},
        Refusal{"ChunkBeforeFormat",
                Bytes().id("RIFF").u32(30).id("WAVE").chunk("LIST", Bytes().raw("INFO")),
                header_error(3), Bytes().id("RIFF").u32(30).id("WAVE")},
        Refusal{"NoFormatChunk", Bytes().id("RIFF").u32(4).id("WAVE"), header_error(3),
                Bytes().id("RIFF").u32(4).id("WAVE")},
        Refusal{"NoFormatSize", Bytes().id("RIFF").u32(1000).id("WAVE").id("fmt ").u16(16),
                header_error(4), Bytes().id("RIFF").u32(1000).id("WAVE").id("fmt ")},
        Refusal{"NoFormatTag", through_fmt_size().u8(1), kUnknownTag, through_fmt_size()},
        Refusal{"TagAdpcm", with_format(Format().with_tag(2)), "tag=2" + kUnknownTag,
                through_fmt_size()},
        Refusal{"TagExtensibleIsNegative", with_format(Format().with_tag(0xFFFE)),
                "tag=-2" + kUnknownTag, through_fmt_size()},
        Refusal{"NoChannels", through_fmt_size().u16(1), "tag=1" + header_error(6),
                through_fmt_size().u16(3)},
        Refusal{"ZeroChannels", with_format(Format().with_channels(0)), "tag=1" + header_error(6),
                through_fmt_size().u16(3)},
        Refusal{"ThreeChannels", with_format(Format().with_channels(3)), "tag=1" + header_error(6),
                through_fmt_size().u16(3)},
        Refusal{"NoSampleRate", through_fmt_size().u16(1).u16(2).u16(0), "tag=1" + header_error(7),
                through_fmt_size().u16(3).u16(2)},
        Refusal{"NoByteRate", through_fmt_size().u16(1).u16(2).u32(48000).u8(0),
                "tag=1" + header_error(8), through_rate()},
        Refusal{"NoBlockAlign", through_fmt_size().u16(1).u16(2).u32(48000).u32(288000).u8(6),
                "tag=1" + header_error(9), through_rate()},
        Refusal{"StereoFloat", with_format(Format().with_tag(3).with_block_align(8)),
                "tag=3" + kNotStereo, through_rate()},
        Refusal{"Mono16", with_format(Format().with_channels(1).with_block_align(2)),
                "tag=1" + kNotStereo, through_rate(1)},
        Refusal{"Mono32LooksLikeStereo16",
                with_format(Format().with_channels(1).with_block_align(4)), "tag=1" + kNotStereo,
                through_rate(1)},
        Refusal{"FormatTailCut", with_format(Format()).head(35), "tag=1" + header_error(11),
                float24_through_align().u8(32)},
        Refusal{"FormatSizeBelowFixedFields",
                with_format(Format().with_size(12)).chunk("data", Bytes().u24(1)),
                "tag=1" + header_error(11),
                through_fmt_size(12)
                    .u16(3)
                    .u16(2)
                    .u32(48000)
                    .u32(48000 * 8)
                    .u16(8)
                    .u8(32)
                    .u8(0)
                    .id("data")
                    .u32(3)
                    .u24(1)
                    .u8(0)},
        Refusal{"EndsAfterFormat", with_format(Format()), "tag=1" + header_error(12),
                float24_through_align().u8(32).u8(0)},
        Refusal{"ChunkIdCut", with_format(Format()).raw("da"), "tag=1" + header_error(12),
                float24_through_align().u8(32).u8(0)},
        Refusal{"EndsAfterDataId", with_format(Format()).id("data"), "tag=1" + header_error(25),
                float24_through_align().u8(32).u8(0).id("data")},
        Refusal{"ChunkSizeCut", with_format(Format()).id("LIST").u16(4), "tag=1" + header_error(25),
                float24_through_align().u8(32).u8(0).id("LIST")},
        Refusal{"ChunkBodyCut", with_format(Format()).id("LIST").u32(8).raw("INFO"),
                "tag=1" + header_error(11),
                float24_through_align().u8(32).u8(0).id("LIST").u32(8).raw("INFO")},
        Refusal{"EndsAtPadByte", with_format(Format()).unpadded_chunk("LIST", Bytes().raw("abc")),
                "tag=1" + header_error(12),
                float24_through_align().u8(32).u8(0).id("LIST").u32(3).raw("abc")}),
    ByName());

struct Transcription : NamedCase {
  Format in;
  Bytes between_in;             // chunks between the format chunk and the data chunk
  std::uint32_t out_byte_rate;  // what the output's nAvgBytesPerSec must be
  Bytes between_out;            // those chunks as the output must hold them
};

class HeaderTranscription : public testing::TestWithParam<Transcription> {};

TEST_P(HeaderTranscription, RewritesTheFormatAndCarriesTheRestOver) {
  const Transcription& c = GetParam();
  // One frame of silence after the header: the output's sizes are then its true ones.
  const Bytes input = riff_and_format(c.in, 0x12345678)
                          .add(c.between_in)
                          .id("data")
                          .u32(c.in.block_align)
                          .fill(c.in.block_align, 0);
  Bytes expected = riff_and_format(float_format_of(c.in, c.out_byte_rate), 0)
                       .add(c.between_out)
                       .id("data")
                       .u32(8)
                       .fill(8, 0);
  set_riff_size(expected);
  TempDir dir;
  write_file(dir / kIn, input);
  const RunResult r = run_program(dir.path(), {kIn});
  EXPECT_EQ(r.console, banner(kIn) + "tag=" + std::to_string(c.in.tag));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / kOut), expected.str());
}

const Format k16 = Format::pcm16();
const Format k24 = Format::pcm24();
const Bytes kList = list_chunk();

INSTANTIATE_TEST_SUITE_P(
    Fields, HeaderTranscription,
    testing::Values(
        Transcription{"Stereo24", k24, Bytes(), 48000 * 8, Bytes()},
        Transcription{"Stereo16", k16, Bytes(), 48000 * 8, Bytes()},
        Transcription{"FloatTagWithIntegerLayout", k24.with_tag(3), Bytes(), 48000 * 8, Bytes()},
        Transcription{"Format14HasNoBitsField", k24.with_tail(Bytes()), Bytes(), 48000 * 8,
                      Bytes()},
        Transcription{"Format18KeepsCbSize24", k24.with_tail(Bytes().u16(24).u16(24)), Bytes(),
                      48000 * 8, Bytes()},
        Transcription{
            "Format40KeepsExtensionBytes",
            k16.with_tail(Bytes().u16(16).u16(22).u16(24).u32(3).fill(4, 24).raw("abcdefghijkl")),
            Bytes(), 48000 * 8, Bytes()},
        Transcription{"OddFormatSizeWithPad", k24.with_tail(Bytes().u16(24).u8(24)), Bytes().u8(0),
                      48000 * 8, Bytes().u8(0)},
        Transcription{"OddFormatSizeWithoutPad", k24.with_tail(Bytes().u16(24).u8(24)), Bytes(),
                      48000 * 8, Bytes()},
        Transcription{"MetadataBytes24Kept", k24, kList, 48000 * 8, kList},
        Transcription{"OddChunkWithPad", k24, Bytes().chunk("note", Bytes().raw("abc")), 48000 * 8,
                      Bytes().chunk("note", Bytes().raw("abc"))},
        Transcription{"OddChunkWithoutPad", k24,
                      Bytes().unpadded_chunk("note", Bytes().raw("abc")).add(kList), 48000 * 8,
                      Bytes().unpadded_chunk("note", Bytes().raw("abc")).add(kList)},
        Transcription{"OddFormatSizePad0xFF", k24.with_tail(Bytes().u16(24).u8(24)),
                      Bytes().u8(0xFF), 48000 * 8, Bytes().u8(0xFF)},
        Transcription{"OddChunkPad0xFF", k24,
                      Bytes().unpadded_chunk("note", Bytes().raw("abc")).u8(0xFF).add(kList),
                      48000 * 8,
                      Bytes().unpadded_chunk("note", Bytes().raw("abc")).u8(0xFF).add(kList)},
        Transcription{"DataIdInCapitalsIsAnotherChunk", k16,
                      Bytes().chunk("DATA", Bytes().u32(0x18181818)), 48000 * 8,
                      Bytes().chunk("DATA", Bytes().u32(0x18181818))},
        Transcription{"ByteRateWrapsAsSigned", k24.with_byte_rate(0x30000000), Bytes(), 0xEAAAAAAB,
                      Bytes()}),
    ByName());

}  // namespace
}  // namespace velkoran::test
