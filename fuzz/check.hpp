// The fuzz target's checks on one input, for libFuzzer and the replay alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velkoran::fuzz {

// True when the `count` floats at `out` (little-endian) are exactly the
// integer samples at `in`, `width` bytes each (1, unsigned, 2 or 3), as
// (u - 128) / 2^7, s / 2^15 or s / 2^23: computed here apart from the
// program's own loops.
inline bool same_samples(const unsigned char* in, unsigned width, const unsigned char* out,
                         std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* s = in + width * i;
    const std::uint32_t word = width == 1 ? static_cast<std::uint32_t>(s[0] - 128) << 24
                               : width == 2
                                   ? (std::uint32_t{s[0]} << 16) | (std::uint32_t{s[1]} << 24)
                                   : (std::uint32_t{s[0]} << 8) | (std::uint32_t{s[1]} << 16) |
                                         (std::uint32_t{s[2]} << 24);
    const unsigned char* o = out + 4 * i;
    const std::uint32_t bits = std::uint32_t{o[0]} | (std::uint32_t{o[1]} << 8) |
                               (std::uint32_t{o[2]} << 16) | (std::uint32_t{o[3]} << 24);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (static_cast<double>(f) != static_cast<std::int32_t>(word) / 2147483648.0) return false;
  }
  return true;
}

// The pad rule as the README states it, written here apart from the
// program's: after a body of odd size, the byte `p` points at (`n` bytes
// left) is its pad when it is 0; a byte other than 0 is a pad where reading
// it so gives a known chunk id and reading it as the next id does not, else
// where it gives four printable bytes and the other reading does not; where
// neither tells, or fewer than five bytes are left, the pad was left out.
inline bool oracle_pad(const unsigned char* p, std::size_t n) {
  static const char* const known[] = {"data", "fmt ", "fact", "LIST", "JUNK", "junk", "PAD ",
                                      "FLLR", "bext", "iXML", "axml", "cue ", "plst", "smpl",
                                      "inst", "acid", "PEAK", "id3 ", "ID3 ", "DISP", "cart",
                                      "levl", "umid", "minf", "elm1", "regn", "DGDA", "ds64"};
  const auto is_known = [](const unsigned char* id) {
    for (const char* k : known) {
      if (std::memcmp(id, k, 4) == 0) return true;
    }
    return false;
  };
  const auto printable = [](const unsigned char* id) {
    for (int i = 0; i < 4; ++i) {
      if (id[i] < 0x20 || id[i] > 0x7E) return false;
    }
    return true;
  };
  if (n == 0) return false;
  if (p[0] == 0) return true;
  if (n < 5) return false;
  if (is_known(p) != is_known(p + 1)) return is_known(p + 1);
  if (printable(p) != printable(p + 1)) return printable(p + 1);
  return false;
}

// The bytes after the input's RIFF chunk, as the README states it: where
// 8 + `riff_size` ends at or after the data chunk's end (with its pad) and
// before the end of the input, what lies past it; else none.
inline std::uint64_t oracle_after_riff(std::uint64_t riff_size, std::uint64_t data_end,
                                       std::uint64_t input_end) {
  const std::uint64_t riff_end = 8 + riff_size;
  return riff_end >= data_end && riff_end < input_end ? input_end - riff_end : 0;
}

// Converts `data` (with the controls of its trailer, if it has one) and checks
// every invariant, aborting with its message where one breaks. Gives back the
// run's exit status, with kWideFailed added where velkoran-drop's conversion
// of it failed.
inline constexpr int kWideFailed = 2;
int check_one(const std::uint8_t* data, std::size_t size);

}  // namespace velkoran::fuzz
