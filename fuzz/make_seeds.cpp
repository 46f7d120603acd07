// Writes the fuzzers' seed corpora into the folders given, each emptied
// first: for the conversion, WAVE files made by the test suite's builders,
// one of each shape the converter knows (those it must convert are named
// "converts-..."; a few carry the trailer that bounds the output, fails the
// reads or makes the output a pipe); for velkoran-prep, the inputs of its
// table of layouts (those it must write are named "writes-...").
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "controls.hpp"
#include "prep_layouts.hpp"
#include "wav_builder.hpp"
#include "wave/md5.hpp"

using velkoran::fuzz::trailer;
using velkoran::test::Bytes;
using velkoran::test::Format;
using velkoran::test::pcm_wave;

namespace {

Bytes samples(unsigned width, std::size_t count) {
  return velkoran::test::samples(width, velkoran::test::varied(width, count));
}

void write_corpus(const std::filesystem::path& dir,
                  const std::vector<std::pair<std::string, Bytes>>& seeds) {
  // Seeds dropped from a list must not stay behind and be replayed.
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data().data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  std::printf("wrote %zu seeds to %s\n", seeds.size(), dir.string().c_str());
}

// The inputs of velkoran-prep's layouts, but those too large for a fuzzer's
// input (the tests that cross its buffers).
std::vector<std::pair<std::string, Bytes>> prep_seeds() {
  std::vector<std::pair<std::string, Bytes>> seeds;
  for (const auto& c : velkoran::test::layouts::prep_layouts()) {
    if (c.input.size() > 64 * 1024) continue;
    seeds.emplace_back(std::string(c.relaid.size() != 0 ? "writes-" : "") + c.name, c.input);
  }
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CONVERSION_FOLDER PREP_FOLDER\n", argv[0]);
    return 2;
  }
  const Format f16 = Format::pcm16();
  const Format f24 = Format::pcm24();
  const Bytes list = velkoran::test::list_chunk();
  const Bytes odd = Bytes().chunk("note", Bytes().raw("abc"));
  const Bytes odd_no_pad = Bytes().unpadded_chunk("note", Bytes().raw("abc"));
  const Bytes kPcm = Bytes().raw(std::string("\1\0\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 16));

  // MD5 chunks of 16 bytes: the digest of 8 bytes of samples, and another.
  velkoran::wave::Md5 md5;
  md5.update(samples(2, 4).data().data(), 8);
  const velkoran::wave::Digest d = md5.finish();
  const Bytes digest = Bytes().chunk("MD5 ", Bytes().raw(std::string(d.begin(), d.end())));
  const Bytes stale = Bytes().chunk("MD5 ", Bytes().fill(16, 7));

  const std::vector<std::pair<std::string, Bytes>> seeds = {
      {"converts-digest_before_and_after",
       pcm_wave(f16, 8, samples(2, 4).add(digest).add(stale), digest)},
      {"converts-digest_stale_unseekable",
       pcm_wave(f16, 8, samples(2, 4).add(digest), Bytes().add(stale).add(digest))
           .raw(trailer(0, 0, 1))},
      {"converts-digest_of_unknown_length", pcm_wave(f16, 0, samples(2, 4), digest)},
      {"converts-pcm16", pcm_wave(f16, 64, samples(2, 32))},
      {"converts-pcm24", pcm_wave(f24, 96, samples(3, 32))},
      {"converts-size_zero", pcm_wave(f16, 0, samples(2, 9))},
      {"converts-size_all_ones", pcm_wave(f24, 0xFFFFFFFF, samples(3, 7))},
      {"converts-odd_data_pad_list", pcm_wave(f16, 7, samples(2, 4).add(list))},
      {"converts-odd_data_no_pad_list", pcm_wave(f24, 7, samples(3, 2).u8(5).add(list))},
      {"converts-cut_short", pcm_wave(f16, 1000, samples(2, 5))},
      {"converts-trailing_list", pcm_wave(f24, 12, samples(3, 4).add(list))},
      {"converts-format18", pcm_wave(f16.with_tail(Bytes().u16(16).u16(0)), 8, samples(2, 4))},
      {"converts-format40",
       pcm_wave(f24.with_tail(Bytes().u16(24).u16(22).u16(24).u32(3).fill(16, 24)), 12,
                samples(3, 4))},
      {"converts-format17_pad", riff_and_format(f16.with_tail(Bytes().u16(16).u8(1)), 0)
                                    .u8(0)
                                    .id("data")
                                    .u32(8)
                                    .add(samples(2, 4))},
      {"converts-chunks_before_data", riff_and_format(f16, 0)
                                          .add(list)
                                          .add(odd)
                                          .add(odd_no_pad)
                                          .id("data")
                                          .u32(8)
                                          .add(samples(2, 4))},
      {"converts-pad_0xff", riff_and_format(f16, 0)
                                .add(odd_no_pad)
                                .u8(0xFF)
                                .add(list)
                                .id("data")
                                .u32(7)
                                .add(samples(2, 3))
                                .u8(1)
                                .u8(0xFF)
                                .add(list)},
      {"converts-float_tag", pcm_wave(f24.with_tag(3), 6, samples(3, 2))},
      {"widens-mono", pcm_wave(f16.with_channels(1).with_block_align(2), 4, samples(2, 2))},
      {"widens-u8", pcm_wave(f16.with_channels(2).with_block_align(2), 6,
                             Bytes().raw("\x80\x00\xFF\x7F\x01\x81"))},
      {"extensible", pcm_wave(f24.with_tag(0xFFFE), 6, samples(3, 2))},
      {"widens-extensible4",
       pcm_wave(f24.with_tag(0xFFFE).with_channels(4).with_block_align(12).with_tail(
                    Bytes().u16(24).u16(22).u16(20).u32(0x33).add(kPcm)),
                36, samples(3, 12).add(list))},
      {"widens-extensible_mono_left",
       pcm_wave(f16.with_tag(0xFFFE).with_channels(1).with_block_align(2).with_tail(
                    Bytes().u16(16).u16(22).u16(16).u32(1).add(kPcm)),
                7, samples(2, 3).u8(0))},
      {"riff_only", Bytes().id("RIFF").u32(4).id("WAVE")},
      {"converts-unseekable", pcm_wave(f16, 8, samples(2, 4).add(list)).raw(trailer(0, 0, 1))},
      {"bound_in_samples", pcm_wave(f24, 96, samples(3, 32)).raw(trailer(20, 0, 0))},
      {"converts-rf64", pcm_wave(f16, 64, samples(2, 32), list).add(list).raw(trailer(20, 0, 2))},
      {"widens-rf64_mono",
       pcm_wave(f16.with_channels(1).with_block_align(2), 64, samples(2, 32), list)
           .add(list)
           .raw(trailer(20, 0, 2))},
      {"bound_in_header", pcm_wave(f16, 8, samples(2, 4), list).raw(trailer(5, 0, 0))},
      {"read_fails_in_header", pcm_wave(f16, 8, samples(2, 4), list).raw(trailer(0, 20, 0))},
      {"read_fails_in_samples", pcm_wave(f24, 96, samples(3, 32)).raw(trailer(0, 30, 0))},
  };
  write_corpus(argv[1], seeds);
  write_corpus(argv[2], prep_seeds());
  return 0;
}
