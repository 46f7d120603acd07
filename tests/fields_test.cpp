// Direct tests of the pure functions: field codecs, rescalings, the pad rule,
// the sample conversion, MD5 and the names of Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>

#include "drop/done.hpp"
#include "in_process.hpp"
#include "platform/text.hpp"
#include "platform/wtf8.hpp"
#include "prep/outcome.hpp"
#include "wav_builder.hpp"
#include "wave/ds64.hpp"
#include "wave/header.hpp"
#include "wave/le.hpp"
#include "wave/md5.hpp"
#include "wave/riff.hpp"
#include "wave/samples.hpp"

namespace velkoran::wave {
namespace {

TEST(LittleEndian, FieldsAreAssembledLowByteFirst) {
  const unsigned char b[4] = {0x78, 0x56, 0x34, 0xF2};
  EXPECT_EQ(load_u16(b), 0x5678u);
  EXPECT_EQ(load_u32(b), 0xF2345678u);
  unsigned char out[4] = {};
  store_u32(out, 0xF2345678u);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 4), std::vector<unsigned char>(b, b + 4));
  store_u16(out, 0xBEEF);
  EXPECT_EQ(out[0], 0xEF);
  EXPECT_EQ(out[1], 0xBE);
  unsigned char wide[8] = {};
  store_u64(wide, 0x8000000123456789ull);
  EXPECT_EQ(std::vector<unsigned char>(wide, wide + 8),
            (std::vector<unsigned char>{0x89, 0x67, 0x45, 0x23, 0x01, 0, 0, 0x80}));
  EXPECT_EQ(load_u64(wide), 0x8000000123456789ull);
  EXPECT_EQ(as_i16(0xFFFE), -2);
  EXPECT_EQ(as_i16(0x7FFF), 32767);
  EXPECT_EQ(as_i16(0x8000), -32768);
}

struct Rescale {
  std::uint32_t in;
  unsigned bytes_per_sample;
  std::uint32_t out;
};

std::string hex(const Digest& d) {
  std::string s;
  for (unsigned char b : d) s += "0123456789abcdef"[b >> 4], s += "0123456789abcdef"[b & 15];
  return s;
}

// RFC 1321's test suite (A.5), each message given whole.
TEST(Md5, GivesTheRfcsDigests) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : cases) {
    Md5 md5;
    md5.update(reinterpret_cast<const unsigned char*>(message.data()), message.size());
    EXPECT_EQ(hex(md5.finish()), digest) << message;
  }
}

// Over 3 MiB given in pieces of every size from 0 to past a block (so that
// pieces end at every place of a block, and the padding falls on both sides
// of the last block's length field), as md5sum computes it.
TEST(Md5, AgreesWithMd5sumWhateverThePieces) {
  if (std::system("command -v md5sum >/dev/null") != 0) GTEST_SKIP() << "no md5sum";
  for (const std::size_t size :
       {std::size_t{55}, std::size_t{56}, std::size_t{64}, std::size_t{3} * 1048576 + 119}) {
    std::vector<unsigned char> bytes(size);
    std::mt19937 random(static_cast<unsigned>(size));
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
    Md5 md5;
    for (std::size_t at = 0, piece = 0; at < size; piece = (piece + 1) % 131) {
      const std::size_t n = std::min(piece, size - at);
      md5.update(bytes.data() + at, n);
      at += n;
    }
    const std::string path = testing::TempDir() + "md5-input";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, size, f), size);
    ASSERT_EQ(std::fclose(f), 0);
    std::FILE* sum = popen(("md5sum '" + path + "'").c_str(), "r");
    ASSERT_NE(sum, nullptr);
    char line[33] = {};
    ASSERT_EQ(std::fread(line, 1, 32, sum), 32u);
    pclose(sum);
    EXPECT_EQ(hex(md5.finish()), std::string(line, 32)) << size;
    std::remove(path.c_str());
  }
}

TEST(Rescale, ByteRateWrapsThenTruncatesTowardZero) {
  for (const Rescale& c : {
           Rescale{6 * 48000, 3, 8 * 48000}, Rescale{4 * 44100, 2, 8 * 44100},
           Rescale{7, 3, 9},                    // 28 / 3
           Rescale{0x20000000, 3, 0xD5555556},  // 2^31 is negative: -2^31 / 3
           Rescale{0x30000000, 3, 0xEAAAAAAB},  // -2^30 / 3, toward zero
           Rescale{0xFFFFFFFF, 2, 0xFFFFFFFE},  // -4 / 2
           Rescale{0x40000000, 2, 0},           // 2^32 wraps to 0
       }) {
    EXPECT_EQ(rescale_byte_rate(c.in, c.bytes_per_sample), c.out) << c.in;
  }
}

TEST(Rescale, DataSizeCountsWholeFramesAndNeverWraps) {
  for (const Rescale& c : {
           Rescale{6, 3, 8},
           Rescale{7, 3, 8},
           Rescale{5, 2, 8},
           Rescale{6, 2, 8},  // a frame and a lone sample: the frame
           Rescale{0, 2, 0},
           Rescale{0x7FFFFFFC, 2, 0xFFFFFFF8},  // the largest that fits
           Rescale{0x80000800, 2, 0xFFFFFFFF},  // past 32 bits: "length unknown"
           Rescale{0xFFFFFFFE, 3, 0xFFFFFFFF},
           Rescale{0xFFFFFFFF, 2, 0xFFFFFFFF},  // "length unknown" stays so
           Rescale{0xFFFFFFFF, 3, 0xFFFFFFFF},
       }) {
    EXPECT_EQ(rescale_data_size(c.in, c.bytes_per_sample), c.out) << c.in;
  }
}

struct PadCase {
  const char* after_odd_body;  // the byte after an odd body, and what follows it
  std::size_t n;
  bool is_pad;
};

TEST(PadByte, IsWeighedAgainstTheNextChunkId) {
  for (const PadCase& c : {
           PadCase{"\0LIST", 5, true},     // the pad, as RIFF has it
           PadCase{"\0", 1, true},         // ... even at the end of the input
           PadCase{"", 0, false},          // the input ends after the body
           PadCase{"\xFFLIS", 4, false},   // too few bytes to weigh: the pad was left out
           PadCase{"LIST\x04", 5, false},  // a known id: the pad was left out
           PadCase{"\xFFLIST", 5, true},   // a known id after a pad of 0xFF
           PadCase{" data", 5, true},      // both printable, only one known
           PadCase{"\xFFnote", 5, true},   // neither known, only one printable
           PadCase{"note\x02", 5, false},  // the same, the other way round
           PadCase{"xnote", 5, false},     // both printable, neither known
           PadCase{"\x01\x02\x03\x04\x05", 5, false},  // nothing tells
       }) {
    EXPECT_EQ(is_pad(reinterpret_cast<const unsigned char*>(c.after_odd_body), c.n), c.is_pad)
        << c.after_odd_body;
  }
}

struct Value {
  std::int32_t sample;
  std::uint32_t float_bits;
};

// Converts `values` through the block loop of the given width, with `before`
// samples of 0 ahead of them so that every position in the loop is reached.
std::vector<std::uint32_t> convert_values(unsigned width, const std::vector<std::int32_t>& values,
                                          std::size_t before) {
  test::Bytes in;
  in.fill(before * width, 0);
  for (std::int32_t v : values) in.sample(width, v);
  const std::size_t count = before + values.size();
  std::vector<unsigned char> out(count * 4);
  if (width == 2) {
    wave::pcm16_to_float(in.data().data(), count, out.data());
  } else {
    wave::pcm24_to_float(in.data().data(), count, out.data());
  }
  std::vector<std::uint32_t> bits;
  for (std::size_t i = before; i < count; ++i) bits.push_back(wave::load_u32(&out[4 * i]));
  return bits;
}

void expect_values(unsigned width, const std::vector<Value>& table) {
  std::vector<std::int32_t> samples;
  std::vector<std::uint32_t> want;
  for (const Value& v : table) {
    samples.push_back(v.sample);
    want.push_back(v.float_bits);
  }
  for (std::size_t before = 0; before < 5; ++before) {
    EXPECT_EQ(convert_values(width, samples, before), want) << "after " << before << " samples";
  }
}

// The chunk walk over chunks whose pads stand there, are 0xFF, or were left
// out, and a last body cut short: each chunk carried over as it stands, and
// the walk where the chunk ends, its body all taken.
TEST(ChunkWalk, TakesEachBodyAndPadWhereTheyEnd) {
  const std::string chunks = std::string("odd \x03\0\0\0abc\0", 12) +  // its pad
                             std::string("odd2\x01\0\0\0z\xFF", 10) +  // a pad of 0xFF
                             std::string("LIST\x01\0\0\0y", 9) +       // its pad left out
                             std::string("even\x02\0\0\0hi", 10) +
                             std::string("cut \x09\0\0\0abcd", 12);  // 5 bytes short
  const std::uint64_t ends[] = {12, 22, 31, 41};
  std::string bytes = chunks;
  std::FILE* in = fmemopen(&bytes[0], bytes.size(), "rb");
  std::FILE* out = std::tmpfile();
  {
    Reader reader(in);
    Writer writer(out);
    ChunkWalk walk(reader);
    ChunkHeader h;
    for (std::uint64_t end : ends) {
      ASSERT_TRUE(walk.next(h));
      ASSERT_FALSE(writer.write(h.bytes, sizeof h.bytes));
      EXPECT_FALSE(walk.copy(writer));
      EXPECT_EQ(walk.left(), 0u);
      EXPECT_FALSE(walk.copy_pad(writer));
      EXPECT_EQ(reader.position(), end);
    }
    ASSERT_TRUE(walk.next(h));
    ASSERT_FALSE(writer.write(h.bytes, sizeof h.bytes));
    EXPECT_EQ(walk.copy(writer), Halt::kEnded);
    EXPECT_EQ(walk.left(), 5u);
    std::size_t got = 0;
    EXPECT_FALSE(walk.next(h, &got));
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(writer.flush());
  }
  EXPECT_TRUE(test::read_stream(out) == chunks);
  std::fclose(in);
  std::fclose(out);
}

TEST(SampleValues, Pcm16IsExactlySampleOver32768) {
  expect_values(2, {{0, 0x00000000},
                    {1, 0x38000000},
                    {-1, 0xB8000000},
                    {32767, 0x3F7FFE00},
                    {-32768, 0xBF800000},
                    {-256, 0xBC000000},
                    {-257, 0xBC008000}});
}

TEST(SampleValues, Pcm24IsExactlySampleOver2To23) {
  expect_values(3, {{0, 0x00000000},
                    {1, 0x34000000},
                    {-1, 0xB4000000},
                    {8388607, 0x3F7FFFFE},
                    {-8388608, 0xBF800000},
                    {0x123456, 0x3E11A2B0}});
}

// Windows names, any sequence of 16-bit units, to bytes and back.
TEST(Wtf8, SpellsEveryWindowsNameAndLeadsBackToIt) {
  struct Name {
    std::u16string units;
    std::string bytes;
  };
  for (const Name& c : {
           Name{u"take.wav", "take.wav"},
           Name{u"\u00FC\u65E5", "\xC3\xBC\xE6\x97\xA5"},  // ü日, as in UTF-8
           Name{u"\U0001F3B5", "\xF0\x9F\x8E\xB5"},        // a surrogate pair: one code point
           Name{u"a\xD800"
                u"b",
                "a\xED\xA0\x80"
                "b"},                                          // an unpaired high surrogate
           Name{u"\xDC00", "\xED\xB0\x80"},                    // an unpaired low surrogate
           Name{u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},  // the two, in the wrong order
       }) {
    EXPECT_EQ(platform::wtf8_from_utf16(c.units), c.bytes);
    EXPECT_TRUE(platform::utf16_from_wtf8(c.bytes) == c.units) << c.bytes;
  }
  // Bytes that no name gives: a stray continuation, an overlong form, a cut sequence.
  EXPECT_TRUE(platform::utf16_from_wtf8("\x80 \xC0\xAF \xE6\x97") == u"\uFFFD \uFFFD\uFFFD \uFFFD");
}

// Names are put in as they are: one that holds a field's name, or a
// printf directive, is not filled in again.
TEST(FillIn, PutsEachValueInOnceAndAsItIs) {
  struct Case {
    const char* text;
    const char* in;
    const char* want;
  };
  for (const Case& c : {
           Case{"Wrote {out} from {in}.", "a.wav", "Wrote b.wav from a.wav."},
           Case{"{in}{in}", "{out}", "{out}{out}"},
           Case{"{in} and {out}", "{in}%s", "{in}%s and b.wav"},
           Case{"{i}n {in", "x", "{i}n {in"},
       }) {
    EXPECT_EQ(platform::fill_in(c.text, {{"{in}", c.in}, {"{out}", "b.wav"}}), c.want) << c.text;
  }
}

// The true sizes of an RF64 output past 4 GiB stand whole, low byte first,
// in its ds64 chunk (at offset 20): its end is reached by repositioning,
// nothing written there.
TEST(Ds64, TrueSizesOfAnOutputPast4GiBAreNotCut) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  const std::uint64_t end = (5ull << 30) + 88;
  {
    Writer out(f, UINT64_MAX);
    unsigned char header[80] = {};
    ASSERT_FALSE(out.write(header, sizeof header));
    ASSERT_EQ(out.seek(end), Writer::Seek::kMoved);
    Handoff handoff;
    handoff.rf64 = true;
    Converted converted;
    converted.samples = (end - 80) / 4;
    ASSERT_FALSE(write_true_sizes(out, handoff, converted));
    ASSERT_TRUE(out.flush());
  }
  unsigned char sizes[24];
  ASSERT_EQ(std::fseek(f, 20, SEEK_SET), 0);
  ASSERT_EQ(std::fread(sizes, 1, sizeof sizes, f), sizeof sizes);
  std::fclose(f);
  EXPECT_EQ(load_u64(sizes), end - 8);
  EXPECT_EQ(load_u64(sizes + 8), end - 80);
  EXPECT_EQ(load_u64(sizes + 16), (end - 80) / 8);
  // Read back as written.
  const Ds64 back = read_ds64(sizes);
  EXPECT_EQ(back.riff, end - 8);
  EXPECT_EQ(back.data, end - 80);
  EXPECT_EQ(back.frames, (end - 80) / 8);
}

// The frames a conversion writes: whole frames of what the sizes state,
// or of what the file holds where it holds less.
TEST(DoneWork, FramesWrittenAreWholeFramesOfWhatIsStatedAndHeld) {
  EXPECT_EQ(drop::frames_written({44, 100, 4}, 1000), 25u);
  EXPECT_EQ(drop::frames_written({44, 103, 6}, 1000), 17u);
  EXPECT_EQ(drop::frames_written({44, std::nullopt, 4}, 1000), 239u);  // to the end
  EXPECT_EQ(drop::frames_written({44, 2000, 4}, 1000), 239u);          // cut short
  EXPECT_EQ(drop::frames_written({44, 100, 4}, 40), 0u);
}

// What velkoran-drop's line says a converted output keeps of a re-laying.
TEST(Describe, SaysWhatTheConvertedOutputKeeps) {
  prep::Changes past;
  past.past_riff = true;
  past.chunks_after_data_moved = 2;
  EXPECT_EQ(prep::describe(past, true),
            "2 chunks after the data now standing before it, every other chunk kept byte for byte");
  prep::Changes unstated;
  unstated.form = "RF64";
  EXPECT_EQ(prep::describe(unstated, true),
            "RF64 without a ds64 chunk, its data chunk stating no length: everything after the "
            "data chunk's header read as samples, every other chunk before the data kept byte for "
            "byte");
  unstated.data_size = 8;
  EXPECT_EQ(prep::describe(unstated, true),
            "RF64 written as RIFF, its data size kept as its data chunk states it (it has no ds64 "
            "chunk), every other chunk kept byte for byte");
}

}  // namespace
}  // namespace velkoran::wave
