// An independent decoder, libsndfile, reads what the programs write and must
// find exactly s / 2^15 and s / 2^23 for every sample, in a well-formed file;
// and the samples it reads from each recording, of any channel count and
// width, in what velkoran-drop writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

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

// The channel map libsndfile reads from a file's mask: empty where it states
// none, or no more than mono or stereo does.
std::vector<int> channel_map(const fs::path& p, int channels) {
  SF_INFO info{};
  SNDFILE* f = sf_open(p.string().c_str(), SFM_READ, &info);
  std::vector<int> map(static_cast<std::size_t>(channels));
  const bool has =
      f != nullptr && sf_command(f, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(sizeof(int) * map.size())) == SF_TRUE;
  if (f != nullptr) sf_close(f);
  const std::vector<std::vector<int>> plain = {
      {SF_CHANNEL_MAP_CENTER},
      {SF_CHANNEL_MAP_LEFT, SF_CHANNEL_MAP_RIGHT},
      {SF_CHANNEL_MAP_FRONT_LEFT, SF_CHANNEL_MAP_FRONT_RIGHT}};
  if (!has || std::find(plain.begin(), plain.end(), map) != plain.end()) return {};
  return map;
}

// Recordings as other programs write them (sox, ffmpeg: mono, 8-bit, many
// channels, their own extensible formats and masks, tags), converted by
// velkoran-drop: libsndfile reads each output as floats with exactly the
// samples it reads from the recording, its channels, rate and speakers.
TEST(SndfileReadsDrop, WhatOtherWritersWriteWithTheirOwnSamples) {
  TempDir dir;
  const std::string sox = "sox -V1 -D -n -r 44100 ";
  const std::string ff = "ffmpeg -loglevel error -f lavfi -i sine=f=440:d=0.4:r=48000 ";
  const std::vector<std::pair<std::string, std::string>> writers = {
      {"sox-u8-mono", sox + "-b 8 -c 1 {} synth 0.3 sine 300"},
      {"sox-8-stereo", sox + "-b 8 -c 2 {} synth 0.3 sine 300 sine 500"},
      {"sox-16-mono", sox + "-b 16 -c 1 {} synth 0.3 sine 300"},
      {"sox-24-mono", sox + "-b 24 -c 1 {} synth 0.3 sine 300"},
      {"sox-16-3ch", sox + "-b 16 -c 3 {} synth 0.3 sine 300 sine 500 noise"},
      {"sox-24-4ch", sox + "-b 24 -c 4 {} synth 2 sine 300 noise"},
      {"sox-16-8ch", sox + "-b 16 -c 8 {} synth 0.3 noise"},
      {"ffmpeg-u8-mono", ff + "-c:a pcm_u8 {}"},
      {"ffmpeg-16-5.1", ff +
                            "-af 'pan=5.1|c0=c0|c1=0.5*c0|c2=0.2*c0|c3=0.1*c0|c4=0.7*c0|c5=0.9*c0' "
                            "-c:a pcm_s16le -metadata title=take {}"},
      {"ffmpeg-24-quad",
       ff + "-af 'pan=quad|c0=c0|c1=0.5*c0|c2=0.2*c0|c3=0.1*c0' -c:a pcm_s24le {}"},
      {"ffmpeg-16-mono-tagged", ff + "-c:a pcm_s16le -metadata artist=someone {}"},
  };
  for (const auto& [name, command] : writers) {
    std::string cmd = command;
    cmd.replace(cmd.find("{}"), 2, "'" + (dir / (name + ".wav")).string() + "'");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  const RunResult r = run_drop(dir.path(), {"."});
  EXPECT_EQ(r.status, 0) << r.console;
  for (const auto& [name, command] : writers) {
    SCOPED_TRACE(name);
    const fs::path in = dir / (name + ".wav");
    const fs::path out = dir / ("velkoran-" + name + ".wav");
    const Decoded want = decode(in);
    const int sub = want.info.format & SF_FORMAT_SUBMASK;
    ASSERT_TRUE(sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_16 ||
                sub == SF_FORMAT_PCM_24);
    const Decoded got = decode(out);
    // Plain float, or extensible (WAVEX) where it states more channels or speakers.
    EXPECT_EQ(got.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(got.info.format & SF_FORMAT_TYPEMASK,
              want.info.channels > 2 || !channel_map(in, want.info.channels).empty()
                  ? SF_FORMAT_WAVEX
                  : SF_FORMAT_WAV);
    EXPECT_EQ(got.info.channels, want.info.channels);
    EXPECT_EQ(got.info.samplerate, want.info.samplerate);
    EXPECT_EQ(channel_map(out, got.info.channels), channel_map(in, want.info.channels));
    ASSERT_EQ(got.samples.size(), want.samples.size());
    ASSERT_GT(want.samples.size(), 0u);
    for (std::size_t i = 0; i < want.samples.size(); ++i) {
      ASSERT_EQ(got.samples[i], want.samples[i]) << "sample " << i;
    }
  }
}

}  // namespace
}  // namespace velkoran::test
