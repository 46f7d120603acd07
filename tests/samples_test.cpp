// Sample conversion seen from outside: where the samples end, what follows
// them, and the buffer and block boundaries they cross.
#include <gtest/gtest.h>

#include <optional>

#include "named_case.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

const Bytes kList = list_chunk();
const Format k16 = Format::pcm16();
const Format k24 = Format::pcm24();

struct BodyCase : NamedCase {
  std::uint32_t data_size;
  Bytes after_size;  // all the input holds after its data size field
  Bytes floats;      // the output's samples
  Bytes kept;        // what the output holds after them
  Format format = k16;
  Bytes before = Bytes();   // chunks between the format chunk and the data chunk
  Bytes outside = Bytes();  // bytes after the input's RIFF chunk
  // The input's RIFF size, where it is not the one that ends before `outside`.
  std::optional<std::uint32_t> riff_size = std::nullopt;
};

class Body : public testing::TestWithParam<BodyCase> {};

TEST_P(Body, ConvertsTheDataAndKeepsWhatFollows) {
  const BodyCase& c = GetParam();
  TempDir dir;
  Bytes input = pcm_wave(c.format, c.data_size, c.after_size, c.before).add(c.outside);
  // Bytes after a believable RIFF chunk stay after the output's; otherwise
  // the output's RIFF chunk runs to its end.
  Bytes expected = float_wave(c.format, c.floats, c.kept, c.before).add(c.outside);
  if (c.riff_size) {
    input.set_u32(4, *c.riff_size);
    set_riff_size(expected);
  }
  write_file(dir / "in.wav", input);
  const RunResult r = run_program(dir.path(), {"in.wav"});
  EXPECT_EQ(r.console, banner("in.wav") + "tag=1");
  EXPECT_EQ(r.status, 0);
  // Compared whole, not as strings: a failure would print megabytes.
  EXPECT_TRUE(read_file(dir / "velkoran-in.wav") == expected.str());
}

// Each stream reads and writes through a buffer of 64 KiB, and samples move in
// blocks of 64 Ki: these cases put fields, pads and chunks across those
// boundaries, and samples over several blocks.
const std::size_t kBuffer = 64 * 1024;
// The first byte of the body of a chunk standing right after the format chunk.
const std::size_t kFirstBody = 44;

// Empty chunks, `count` of them.
Bytes empty_chunks(std::size_t count) {
  Bytes b;
  for (std::size_t i = 0; i < count; ++i) b.chunk("JUNK", Bytes());
  return b;
}

const std::vector<std::int32_t> kBlocks16 = varied(2, 3 * kBuffer + 1234);
const std::vector<std::int32_t> kBlocks24 = varied(3, 2 * kBuffer + 4322);
// Bytes a tagger appended after the RIFF chunk.
const Bytes kStray = Bytes().raw("TAG").u16(0x0102);

INSTANTIATE_TEST_SUITE_P(
    Sizes, Body,
    testing::Values(
        BodyCase{"EmptyData", 0, Bytes(), Bytes(), Bytes()},
        // Whole frames only: a lone last sample is dropped wherever the data ends.
        BodyCase{"SizeZeroMeansUntilTheEnd", 0, samples(2, {1, -1, 7}), floats(2, {1, -1}),
                 Bytes()},
        BodyCase{"SizeAllOnesMeansUntilTheEnd", 0xFFFFFFFF, samples(2, {-32768, 32767}),
                 floats(2, {-32768, 32767}), Bytes()},
        BodyCase{"PartialSampleAtTheEndDropped", 5, samples(2, {3, 4}).u8(9), floats(2, {3, 4}),
                 Bytes()},
        BodyCase{"CutShort", 100, samples(2, {5, 6, 7}).u8(1), floats(2, {5, 6}), Bytes()},
        BodyCase{"LoneSampleInTheDeclaredData", 6, samples(2, {5, 6, 7}).add(kList),
                 floats(2, {5, 6}), kList},
        BodyCase{"TrailingChunkKept", 4, samples(2, {8, 9}).add(kList), floats(2, {8, 9}), kList},
        BodyCase{"OddSizePadDroppedChunkKept", 5, samples(2, {8, 9}).u8(0x55).u8(0).add(kList),
                 floats(2, {8, 9}), kList},
        BodyCase{"OddSizePad0xFFDroppedChunkKept", 5,
                 samples(2, {8, 9}).u8(0x55).u8(0xFF).add(kList), floats(2, {8, 9}), kList},
        BodyCase{"OddSizeWithoutPadChunkKept", 5, samples(2, {8, 9}).u8(0x55).add(kList),
                 floats(2, {8, 9}), kList},
        BodyCase{"OddSizeEndsAtPad", 3, samples(2, {-2}).u8(1), Bytes(), Bytes()},
        BodyCase{"BytesAfterTheRiffChunkStayOutside", 4, samples(2, {8, 9}).add(kList),
                 floats(2, {8, 9}), kList, k16, Bytes(), kStray},
        // The ordinary ID3v1 case: the RIFF chunk ends where the data does.
        BodyCase{"TagRightAfterTheData", 4, samples(2, {8, 9}), floats(2, {8, 9}), Bytes(), k16,
                 Bytes(), kStray},
        BodyCase{"RiffSizeEndingInTheHeaderIsNotBelieved", 4, samples(2, {8, 9}).add(kList),
                 floats(2, {8, 9}), kList, k16, Bytes(), kStray, 20},
        BodyCase{"SevenBytesMakeTwo24BitSamples", 7, samples(3, {0x7FFFFF, -0x800000}).u8(0x11),
                 floats(3, {0x7FFFFF, -0x800000}), Bytes(), k24},
        // The pad after an odd body, and the id it is weighed against, straddle
        // the end of the first 64 KiB read.
        BodyCase{"PadAndNextIdAcrossARefill", 4, samples(2, {1, 2}), floats(2, {1, 2}), Bytes(),
                 k16, Bytes().chunk("JUNK", Bytes().fill(kBuffer - 3 - kFirstBody, 7)).add(kList)},
        // The data size field itself straddles it.
        BodyCase{"DataSizeAcrossARefill", 4, samples(2, {1, 2}), floats(2, {1, 2}), Bytes(), k16,
                 Bytes().chunk("JUNK", Bytes().fill(kBuffer - 2 - 4 - kFirstBody, 7))},
        // Many small fields and chunks: both buffers fill and empty again and again.
        BodyCase{"ThousandsOfSmallChunks", 8, samples(2, {1, 2, 3, 4}).add(empty_chunks(10000)),
                 floats(2, {1, 2, 3, 4}), empty_chunks(10000), k16, empty_chunks(10000)},
        BodyCase{"SeveralBlocks16ThenAChunk", static_cast<std::uint32_t>(2 * kBlocks16.size()),
                 samples(2, kBlocks16).add(kList), floats(2, kBlocks16), kList},
        // Samples read a block at a time still count where the RIFF chunk ends.
        BodyCase{"SeveralBlocksThenBytesOutsideTheRiffChunk",
                 static_cast<std::uint32_t>(2 * kBlocks16.size()), samples(2, kBlocks16).add(kList),
                 floats(2, kBlocks16), kList, k16, Bytes(), kStray},
        BodyCase{"SeveralBlocks24UntilTheEnd", 0, samples(3, kBlocks24).u8(1), floats(3, kBlocks24),
                 Bytes(), k24}),
    ByName());

}  // namespace
}  // namespace velkoran::test
