// An independent decoder, libsndfile, reads what the program writes and must
// find exactly s / 2^15 and s / 2^23 for every sample, in a well-formed file.
#include <gtest/gtest.h>

#include "decode.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

// Every 16-bit value once; for 24 bits the extremes and a spread of values in
// between, positive and negative.
std::vector<std::int32_t> test_samples(unsigned width) {
  std::vector<std::int32_t> s;
  if (width == 2) {
    for (std::int32_t v = -32768; v <= 32767; ++v) s.push_back(v);
  } else {
    for (std::int32_t v : {-8388608, 8388607, 0, 1, -1, 2, -2}) s.push_back(v);
    for (std::int32_t v = -8388608; v <= 8388607 - 4099; v += 4099) s.push_back(v);
  }
  if (s.size() % 2 != 0) s.push_back(0);  // whole stereo frames
  return s;
}

class SndfileReads : public testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(SndfileReads, ExactlyTheScaledSamples) {
  const auto [width, trailing_chunk] = GetParam();
  const Format format = width == 2 ? Format::pcm16() : Format::pcm24();
  const std::vector<std::int32_t> values = test_samples(width);
  Bytes data = samples(width, values);
  const auto data_size = static_cast<std::uint32_t>(data.size());
  if (trailing_chunk) data.add(list_chunk());

  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(format, data_size, data));
  ASSERT_EQ(run_program(dir.path(), {"in.wav"}).status, 0);

  const Decoded d = decode(dir / "velkoran-in.wav");
  EXPECT_EQ(d.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(d.info.channels, 2);
  EXPECT_EQ(d.info.samplerate, 48000);
  ASSERT_EQ(d.samples.size(), values.size());
  const float scale = width == 2 ? 32768.0f : 8388608.0f;
  for (std::size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(d.samples[i], static_cast<float>(values[i]) / scale) << "sample " << i;
  }
  // The sizes libsndfile found are the file's true ones.
  const auto length = fs::file_size(dir / "velkoran-in.wav");
  EXPECT_NE(d.log.find("\nRIFF : " + std::to_string(length - 8) + "\n"), std::string::npos)
      << d.log;
  EXPECT_NE(d.log.find("\ndata : " + std::to_string(4 * values.size()) + "\n"), std::string::npos)
      << d.log;
  // libsndfile notes size mismatches and damaged chunks in its log.
  for (const char* complaint : {"should be", "Unknown", "ERROR", "Warning", "garbage"}) {
    EXPECT_EQ(d.log.find(complaint), std::string::npos) << d.log;
  }
}

INSTANTIATE_TEST_SUITE_P(Outputs, SndfileReads,
                         testing::Combine(testing::Values(2u, 3u), testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<unsigned, bool>>& p) {
                           return std::to_string(8 * std::get<0>(p.param)) + "bit" +
                                  (std::get<1>(p.param) ? "WithTrailingChunk" : "");
                         });

}  // namespace
}  // namespace velkoran::test
