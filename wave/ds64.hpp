// RF64's ds64 chunk (EBU Tech 3306), read and written here alone: the RIFF
// size, the data size and the number of frames, 64 bits each, little-endian,
// then the length of a table of other chunks' sizes, which velkoran never
// needs and writes empty.
#pragma once

#include <cstdint>

#include "wave/le.hpp"

namespace velkoran::wave {

struct Ds64 {
  std::uint64_t riff = 0;
  std::uint64_t data = 0;
  std::uint64_t frames = 0;
};

// The three sizes: all a reader needs of a ds64 body.
inline constexpr std::uint32_t kDs64SizesBytes = 24;
// The body as written: the sizes and an empty table.
inline constexpr std::uint32_t kDs64BodyBytes = kDs64SizesBytes + 4;

// The sizes at the start of a ds64 body of at least kDs64SizesBytes.
inline Ds64 read_ds64(const unsigned char* body) {
  return {load_u64(body), load_u64(body + 8), load_u64(body + 16)};
}

// A whole ds64 body, kDs64BodyBytes long: the sizes, then a table of none.
inline void write_ds64(unsigned char* body, const Ds64& sizes) {
  store_u64(body, sizes.riff);
  store_u64(body + 8, sizes.data);
  store_u64(body + 16, sizes.frames);
  store_u32(body + 24, 0);
}

}  // namespace velkoran::wave
