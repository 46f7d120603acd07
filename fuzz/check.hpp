// The fuzz target's checks on one input, for libFuzzer and the replay alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velkoran::fuzz {

// True when the `count` floats at `out` (little-endian) are exactly the
// integer samples at `in`, `width` bytes each (2 or 3), as s / 2^15 or
// s / 2^23: computed here apart from the program's own loops.
inline bool same_samples(const unsigned char* in, unsigned width, const unsigned char* out,
                         std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* s = in + width * i;
    const std::uint32_t word = width == 2
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

// Converts `data` (with the controls of its trailer, if it has one) and checks
// every invariant, aborting with its message where one breaks. Gives back the
// run's exit status.
int check_one(const std::uint8_t* data, std::size_t size);

}  // namespace velkoran::fuzz
