// velkoran-prep's table of layouts: each input, the line velkoran-prep must
// print and the file it must write. The test suite runs each through the
// real programs; the fuzzer starts from their inputs.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "wav_builder.hpp"

namespace velkoran::test::layouts {

inline const Format k16 = Format::pcm16();
inline const Format k24 = Format::pcm24();
inline const Bytes kList = list_chunk();

inline std::vector<std::int32_t> values(unsigned width) {
  return varied(width, 64);
}
inline Bytes data(unsigned width) {
  return Bytes().chunk("data", samples(width, values(width)));
}

// An RF64 (or BW64) file: `before`, a ds64 chunk stating the true RIFF size
// and `data_size`, then `after`. Its RIFF size says "look in ds64".
inline Bytes rf64(const char (&form)[5], const Bytes& before, const Bytes& after,
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
inline Bytes rf64_data(unsigned width, std::uint32_t field = 0xFFFFFFFF) {
  return Bytes().id("data").u32(field).add(samples(width, values(width)));
}
inline const std::uint64_t kDataSize16 = 2 * 64;
inline const std::uint64_t kDataSize24 = 3 * 64;

// The format chunk of WAVE_FORMAT_EXTENSIBLE for the layout of `f`, with the
// channel mask, the sub-format (KSDATAFORMAT_SUBTYPE_PCM, or _IEEE_FLOAT),
// the valid bits and bytes past the 22 of the extension.
inline Bytes extensible(const Format& f, std::uint32_t mask, bool pcm = true,
                        std::uint16_t valid = 0, std::size_t extra = 0) {
  const std::uint16_t bits = static_cast<std::uint16_t>(f.block_align * 4);
  Bytes b = Bytes().u16(0xFFFE).u16(f.channels).u32(f.rate).u32(f.byte_rate).u16(f.block_align);
  b.u16(bits).u16(static_cast<std::uint16_t>(22 + extra)).u16(valid != 0 ? valid : bits);
  b.u32(mask).u32(pcm ? 1 : 3).raw(std::string("\x00\x00\x10\x00", 4));
  b.raw("\x80").u8(0).u8(0).raw("\xAA").u8(0).raw("\x38\x9B\x71").fill(extra, 0x5A);
  return Bytes().chunk("fmt ", b);
}

inline std::string wrote(const std::string& changes) {
  return "Wrote out.wav: " + changes + ", every other chunk kept byte for byte.\n";
}
inline const std::string kCopied =
    "in.wav is already laid out as velkoran takes it: copied unchanged to out.wav.\n";
inline std::string refused(const std::string& why, const std::string& in = "in.wav") {
  return in + " " + why + "\n";
}
// What a suggested re-save says it loses.
inline const std::string kBySox =
    " (sox keeps the samples only: bext, iXML, cue, LIST and every other chunk are dropped)";
inline const std::string kByFfmpeg =
    " (ffmpeg keeps the samples and at most the LIST tags: bext, iXML, cue and every other chunk "
    "are dropped)";
inline const std::string kRf64 =
    "RF64 written as RIFF, its data size taken from its ds64 chunk, which is "
    "dropped";

struct PrepCase {
  const char* name;
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

  PrepCase& through_a_pipe() { return through_pipe = true, *this; }
  PrepCase& named(std::string file) { return in = std::move(file), *this; }
  PrepCase& reading(std::vector<std::int32_t> v) { return samples = std::move(v), *this; }
  PrepCase& undecodable() { return decodable = false, *this; }
  PrepCase& quoted_for_posix() { return posix_names = true, *this; }
};

inline std::ostream& operator<<(std::ostream& os, const PrepCase& c) {
  return os << c.name;
}

inline const Bytes kJunk = Bytes().chunk("JUNK", Bytes().fill(28, 0));
inline const Bytes kBext =
    Bytes().chunk("bext", Bytes().raw("Take 1, ").fill(593, 0x20));  // odd: padded
inline const Bytes kIxml = Bytes().chunk("iXML", Bytes().raw("<BWFXML><SCENE>4</SCENE></BWFXML>"));
inline const Bytes kNote = Bytes().unpadded_chunk("note", Bytes().raw("abc"));  // its pad left out
inline const Bytes kCue = Bytes().unpadded_chunk("cue ", Bytes().raw("xyz"));
inline const Bytes k16Format = format_chunk(k16);
inline const Bytes k24Format = format_chunk(k24);
// 19 bytes: wBitsPerSample, then a byte of its own; no pad after it.
inline const Bytes kOddFormat = format_chunk(k16.with_tail(Bytes().u16(16).u8(7)));
// An ID3v1 tag a tagger appended after the RIFF chunk.
inline const Bytes kTag = Bytes().raw("TAG").fill(125, 0x41);

// Several MiB: more than a read, a copy's piece or a block of samples takes
// at a time. The bext chunk before the format chunk is passed over by
// repositioning the file, then copied.
inline const std::vector<std::int32_t> kMany = varied(2, 3 * 512 * 1024 + 6);
inline const Bytes kBigBext = Bytes().chunk("bext", Bytes().fill(200001, 0x42));
inline const Bytes kSeveralMiB = Bytes().chunk("data", samples(2, kMany));

// A data chunk of odd size: three 16-bit samples and a byte, its pad 0.
inline const std::vector<std::int32_t> kOdd = {1000, -1000, 7};
inline const Bytes kOddData = Bytes().chunk("data", samples(2, kOdd).u8(0x33));

// A JUNK chunk of `junk` bytes and a 40,000-byte iXML before the format
// chunk; `relaid`, after it.
inline Bytes long_chunks(std::size_t junk, bool relaid) {
  const Bytes before =
      Bytes().chunk("JUNK", Bytes().fill(junk, 7)).chunk("iXML", Bytes().fill(40000, 'x'));
  return riff(relaid ? Bytes().add(k16Format).add(before).add(data(2))
                     : Bytes().add(before).add(k16Format).add(data(2)));
}

inline std::vector<PrepCase> prep_layouts() {
  return {
      PrepCase{
          "BextIxmlJunkFirst",
          riff(Bytes().add(kJunk).add(kBext).add(kIxml).add(k16Format).add(data(2)).add(kList)),
          wrote("the format chunk moved to the front, before 3 other chunks"),
          riff(Bytes().add(k16Format).add(kJunk).add(kBext).add(kIxml).add(data(2)).add(kList))},
      // Pads left out are added as 0; one of another value is written as 0, as
      // what follows a moved chunk may weigh it otherwise.
      PrepCase{
          "OddChunksBeforeAndAfterTheFormat",
          riff(Bytes().add(kNote).add(k24Format).add(kCue).u8(0xFF).add(kList).add(data(3))),
          wrote("the format chunk moved to the front, before 1 other chunk, 1 missing pad "
                "byte added, 1 pad byte of another value than 0 written as 0"),
          riff(Bytes().add(k24Format).add(kNote).u8(0).add(kCue).u8(0).add(kList).add(data(3))), 3},
      // The pad after odd data stays: without it, readers lose the chunk after.
      PrepCase{"OddDataPadThenList",
               riff(Bytes().add(kJunk).add(k16Format).add(kOddData).add(kList)),
               wrote("the format chunk moved to the front, before 1 other chunk"),
               riff(Bytes().add(k16Format).add(kJunk).add(kOddData).add(kList)), 2}
          .reading({1000, -1000}),
      PrepCase{"OddDataPadLeftOutThroughAPipe",
               riff(Bytes()
                        .add(kJunk)
                        .add(k16Format)
                        .unpadded_chunk("data", samples(2, kOdd).u8(0x33))
                        .add(kList)),
               wrote("the format chunk moved to the front, before 1 other chunk, 1 missing pad "
                     "byte added"),
               riff(Bytes().add(k16Format).add(kJunk).add(kOddData).add(kList)), 2}
          .through_a_pipe()
          .reading({1000, -1000}),
      // The bytes after the RIFF chunk stay outside it.
      PrepCase{"TagAfterTheRiffChunk",
               riff(Bytes().add(kJunk).add(k16Format).add(data(2))).add(kTag),
               wrote("the format chunk moved to the front, before 1 other chunk"),
               riff(Bytes().add(k16Format).add(kJunk).add(data(2))).add(kTag)},
      PrepCase{"SeveralMiBFromAFile",
               riff(Bytes().add(kBigBext).add(kJunk).add(k16Format).add(kSeveralMiB).add(kList)),
               wrote("the format chunk moved to the front, before 2 other chunks"),
               riff(Bytes().add(k16Format).add(kBigBext).add(kJunk).add(kSeveralMiB).add(kList)), 2}
          .reading(kMany),
      PrepCase{"SeveralMiBThroughAPipe",
               riff(Bytes().add(kBigBext).add(kJunk).add(k16Format).add(kSeveralMiB).add(kList)),
               wrote("the format chunk moved to the front, before 2 other chunks"),
               riff(Bytes().add(k16Format).add(kBigBext).add(kJunk).add(kSeveralMiB).add(kList)), 2}
          .through_a_pipe()
          .reading(kMany),
      // The data chunk may stand anywhere before the format chunk, where it
      // states its length.
      PrepCase{"DataBeforeTheFormat",
               riff(Bytes().add(kJunk).add(data(2)).add(kList).add(k16Format).add(kBext)),
               wrote("the format chunk moved to the front, before 3 other chunks"),
               riff(Bytes().add(k16Format).add(kJunk).add(data(2)).add(kList).add(kBext))},
      PrepCase{"DataBeforeTheFormatThroughAPipe",
               riff(Bytes().add(data(3)).add(k24Format).add(kList)),
               wrote("the format chunk moved to the front, before 1 other chunk"),
               riff(Bytes().add(k24Format).add(data(3)).add(kList)), 3}
          .through_a_pipe(),
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
      // A size past 32 bits is never cut to its low bits: the data's length
      // is "unknown", and velkoran reads it to the end of the file (here cut
      // short: nothing follows it).
      PrepCase{"Rf64PastWhatRiffCanState",
               rf64("RF64", Bytes(), Bytes().add(k16Format).add(rf64_data(2)),
                    0x100000000ull + kDataSize16),
               wrote("RF64 written as RIFF, its ds64 chunk dropped, and as its data passes what "
                     "RIFF sizes can state (4 GiB), the RIFF and data sizes written as "
                     "0xFFFFFFFF (length unknown)"),
               Bytes().id("RIFF").u32(0xFFFFFFFF).id("WAVE").add(k16Format).add(rf64_data(2))},
      // From a pipe, what follows the data could not be moved before it.
      PrepCase{"Rf64PastWhatRiffCanStateThroughAPipe",
               rf64("RF64", Bytes(), Bytes().add(k16Format).add(rf64_data(2)),
                    0x100000000ull + kDataSize16),
               refused("is not a file, and its data passes what RIFF sizes can state (4 GiB): "
                       "the chunks after it could not be moved before it. Give it as a file."),
               Bytes(), 2}
          .through_a_pipe(),
      PrepCase{"Ds64TooShort",
               Bytes().id("RF64").u32(0xFFFFFFFF).id("WAVE").chunk("ds64", Bytes().fill(16, 0)),
               refused("has a ds64 chunk of 16 bytes, too short to state its sizes.")},
      // In a RIFF file a ds64 chunk is a chunk like any other.
      PrepCase{
          "Ds64InARiffFileIsKept",
          riff(Bytes().add(kJunk).add(k16Format).chunk("ds64", Bytes().fill(28, 1)).add(data(2))),
          wrote("the format chunk moved to the front, before 1 other chunk"),
          riff(Bytes().add(k16Format).add(kJunk).chunk("ds64", Bytes().fill(28, 1)).add(data(2)))},
      // What velkoran takes as it is, velkoran-prep calls plain.
      PrepCase{"AlreadyPlain", riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList)),
               kCopied, riff(Bytes().add(k16Format).add(kBext).add(data(2)).add(kList))},
      PrepCase{"SixteenBitsInSixByteBlocksIsPlain",
               riff(Bytes().add(format_chunk(k24.with_tail(Bytes().u16(16)))).add(data(3))),
               kCopied,
               riff(Bytes().add(format_chunk(k24.with_tail(Bytes().u16(16)))).add(data(3))), 3},
      PrepCase{"Format14IsPlain",
               riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(data(3))), kCopied,
               riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(data(3))), 3}
          .undecodable(),
      // A format chunk of odd size whose pad was left out: kept so in a plain
      // file (which libsndfile then does not read), added where the chunk moves.
      PrepCase{"OddFormatWithoutItsPadIsPlain", riff(Bytes().add(kOddFormat).add(data(2))), kCopied,
               riff(Bytes().add(kOddFormat).add(data(2))), 2}
          .undecodable(),
      PrepCase{"OddFormatWithoutItsPadBehindJunk",
               riff(Bytes().add(kJunk).add(kOddFormat).add(data(2))),
               wrote("the format chunk moved to the front, before 1 other chunk, 1 missing pad "
                     "byte added"),
               riff(Bytes().add(kOddFormat).u8(0).add(kJunk).add(data(2)))},
      PrepCase{"Format14BehindJunk",
               riff(Bytes().add(kJunk).add(format_chunk(k24.with_tail(Bytes()))).add(data(3))),
               wrote("the format chunk moved to the front, before 1 other chunk"),
               riff(Bytes().add(format_chunk(k24.with_tail(Bytes()))).add(kJunk).add(data(3))), 3}
          .undecodable(),
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
               3}
          .through_a_pipe()
          .undecodable(),
      // Damage velkoran tolerates is carried over as it stands.
      PrepCase{
          "CutDataThroughAPipe",
          riff(Bytes().add(kJunk).add(k16Format)).id("data").u32(1000).add(samples(2, values(2))),
          wrote("the format chunk moved to the front, before 1 other chunk"),
          riff(Bytes().add(k16Format).add(kJunk).id("data").u32(1000).add(samples(2, values(2)))),
          2}
          .through_a_pipe(),
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
               2}
          .through_a_pipe(),
      PrepCase{
          "Mono",
          riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2))),
          refused("is mono; velkoran takes stereo. Re-save it as stereo with: sox in.wav "
                  "-t wavpcm -c 2 in-stereo.wav" +
                  kBySox)},
      // The suggested command quotes the name for the shell.
      PrepCase{
          "MonoNameWithASpaceAndAQuote",
          riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2))),
          refused("is mono; velkoran takes stereo. Re-save it as stereo with: sox 'my take'\\''s "
                  "$1.wav' -t wavpcm -c 2 'my take'\\''s $1-stereo.wav'" +
                      kBySox,
                  "my take's $1.wav"),
          Bytes(), 2}
          .named("my take's $1.wav")
          .quoted_for_posix(),
      PrepCase{
          "SixChannelsNameStartingWithADash",
          riff(Bytes().add(format_chunk(k16.with_channels(6).with_block_align(12))).add(data(2))),
          refused("has 6 channels; velkoran takes stereo. Keep the first two with: sox "
                  "./-take.wav -t wavpcm ./-take-stereo.wav remix 1 2" +
                      kBySox,
                  "-take.wav"),
          Bytes(), 2}
          .named("-take.wav")
          .quoted_for_posix(),
      // Skips across the reader's buffer refills, counted: chunks longer
      // than its 64 KiB together before the format chunk.
      PrepCase{"LongChunksBeforeTheFormat", long_chunks(30000, false),
               wrote("the format chunk moved to the front, before 2 other chunks"),
               long_chunks(30000, true)},
      // From a pipe, held across the blocks it is held in.
      PrepCase{"LongChunksBeforeTheFormatThroughAPipe", long_chunks(1100001, false),
               wrote("the format chunk moved to the front, before 2 other chunks"),
               long_chunks(1100001, true), 2}
          .through_a_pipe(),
      // A name no quoting keeps on one line: shown escaped, and no command.
      PrepCase{
          "MonoNameWithALineFeed",
          riff(Bytes().add(format_chunk(k16.with_channels(1).with_block_align(2))).add(data(2))),
          refused("is mono; velkoran takes stereo. Re-save it as stereo with sox (no command is "
                  "shown: its name holds a control character).",
                  "a\\012\\033[1mb.wav"),
          Bytes(), 2}
          .named("a\n\033[1mb.wav")
          .quoted_for_posix(),
      // 16-bit samples in 6-byte blocks contradict each other.
      PrepCase{
          "Extensible16BitsIn6ByteBlocks",
          riff(Bytes().add(extensible(k24, 3)).add(data(3))).set_u32(32, 6 | 16u << 16),
          refused("states 16-bit samples in blocks of 6 bytes, which hold 24-bit stereo "
                  "samples: the two contradict each other, and which is right cannot be told.")},
      PrepCase{"EightBit",
               riff(Bytes()
                        .add(format_chunk(k16.with_block_align(2).with_tail(Bytes().u16(8))))
                        .add(data(2))),
               refused("holds 8-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 bits "
                       "with: sox -D in.wav -t wavpcm -b 24 in-24bit.wav" +
                       kBySox)},
      PrepCase{"OddBlockAlignment",
               riff(Bytes().add(format_chunk(k16.with_block_align(5))).add(data(2))),
               refused("states a block alignment of 5 bytes, which no stereo layout of whole "
                       "bytes has.")},
      PrepCase{"Extensible32BitInteger",
               riff(Bytes().add(extensible(k16.with_block_align(8), 3)).add(data(2))),
               refused("holds 32-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 "
                       "bits with: sox -D in.wav -t wavpcm -b 24 in-24bit.wav" +
                       kBySox)},
      PrepCase{"ExtensibleOtherSpeakers", riff(Bytes().add(extensible(k24, 0x33)).add(data(3))),
               refused("states its speakers (channel mask 0x33), which the plain layout cannot "
                       "carry. To drop them: sox in.wav -t wavpcm in-stereo.wav" +
                       kBySox)},
      PrepCase{
          "FloatBehindJunk",
          riff(Bytes()
                   .add(kJunk)
                   .add(format_chunk(k16.with_tag(3).with_block_align(8)))
                   .add(data(2))),
          refused("is floating point already: it needs no conversion. To make 24-bit PCM "
                  "of it anyway: sox -D in.wav -t wavpcm -e signed-integer -b 24 in-24bit.wav" +
                  kBySox)},
      PrepCase{
          "ExtensibleFloat",
          riff(Bytes().add(extensible(k16.with_block_align(8), 3, false)).add(data(2))),
          refused("is floating point already: it needs no conversion. To make 24-bit PCM "
                  "of it anyway: sox -D in.wav -t wavpcm -e signed-integer -b 24 in-24bit.wav" +
                  kBySox)},
      PrepCase{"Adpcm", riff(Bytes().add(format_chunk(k16.with_tag(2))).add(data(2))),
               refused("is not PCM (format tag 2). Decode it first, for instance with: ffmpeg "
                       "-i in.wav -c:a pcm_s24le in-pcm.wav" +
                       kByFfmpeg)},
      PrepCase{"Rifx", Bytes().id("RIFX").u32(4).id("WAVE"),
               refused("is big-endian (RIFX); velkoran takes little-endian WAVE files. Re-save "
                       "it with: sox in.wav -t wavpcm in-le.wav" +
                       kBySox)},
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
               Bytes(), 2}
          .through_a_pipe()};
}

}  // namespace velkoran::test::layouts
