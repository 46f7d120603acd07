// Sample conversion: exact float values, where the samples end, and what
// follows them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "named_case.hpp"
#include "program.hpp"
#include "wave/le.hpp"
#include "wave/samples.hpp"

namespace velkoran::test {
namespace {

struct Value {
  std::int32_t sample;
  std::uint32_t float_bits;
};

// Converts `values` through the block loop of the given width, with `before`
// samples of 0 ahead of them so that every position in the loop is reached.
std::vector<std::uint32_t> convert_values(unsigned width, const std::vector<std::int32_t>& values,
                                          std::size_t before) {
  Bytes in;
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

const Bytes kList = list_chunk();

struct BodyCase : NamedCase {
  std::uint32_t data_size;
  Bytes after_size;  // all the input holds after its data size field
  Bytes floats;      // the output's samples
  Bytes kept;        // what the output holds after them
};

class Body16 : public testing::TestWithParam<BodyCase> {};

TEST_P(Body16, ConvertsTheDataAndKeepsWhatFollows) {
  const BodyCase& c = GetParam();
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), c.data_size, c.after_size));
  const RunResult r = run_program(dir.path(), {"in.wav"});
  EXPECT_EQ(r.console, banner("in.wav") + "tag=1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm16(), c.floats, c.kept).str());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Body16,
    testing::Values(
        BodyCase{"EmptyData", 0, Bytes(), Bytes(), Bytes()},
        BodyCase{"SizeZeroMeansUntilTheEnd", 0, samples16({1, -1, 7}), floats16({1, -1, 7}),
                 Bytes()},
        BodyCase{"SizeAllOnesMeansUntilTheEnd", 0xFFFFFFFF, samples16({-32768, 32767}),
                 floats16({-32768, 32767}), Bytes()},
        BodyCase{"PartialSampleAtTheEndDropped", 5, samples16({3, 4}).u8(9), floats16({3, 4}),
                 Bytes()},
        BodyCase{"CutShort", 100, samples16({5, 6, 7}).u8(1), floats16({5, 6, 7}), Bytes()},
        BodyCase{"TrailingChunkKept", 4, samples16({8, 9}).add(kList), floats16({8, 9}), kList},
        BodyCase{"OddSizePadDroppedChunkKept", 5, samples16({8, 9}).u8(0x55).u8(0).add(kList),
                 floats16({8, 9}), kList},
        BodyCase{"OddSizePad0xFFDroppedChunkKept", 5,
                 samples16({8, 9}).u8(0x55).u8(0xFF).add(kList), floats16({8, 9}), kList},
        BodyCase{"OddSizeWithoutPadChunkKept", 5, samples16({8, 9}).u8(0x55).add(kList),
                 floats16({8, 9}), kList},
        BodyCase{"OddSizeEndsAtPad", 3, samples16({-2}).u8(1), floats16({-2}), Bytes()}),
    ByName());

TEST(Body24, SevenBytesMakeTwoSamples) {
  TempDir dir;
  const Bytes data = Bytes().u24(0x7FFFFF).u24(0x800000).u8(0x11);
  write_file(dir / "in.wav", pcm_wave(Format::pcm24(), 7, data));
  EXPECT_EQ(run_program(dir.path(), {"in.wav"}).status, 0);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm24(), Bytes().u32(0x3F7FFFFE).u32(0xBF800000)).str());
}

}  // namespace
}  // namespace velkoran::test
