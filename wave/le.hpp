// Little-endian field codecs. Every multi-byte field of a RIFF/WAVE file is
// little-endian; these assemble and split them byte by byte so that nothing
// depends on the host's byte order or on struct layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

namespace velkoran::wave {

inline std::uint16_t load_u16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t load_u32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t load_u64(const unsigned char* p) {
  return std::uint64_t{load_u32(p)} | (std::uint64_t{load_u32(p + 4)} << 32);
}

inline void store_u16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

inline void store_u32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

inline void store_u64(unsigned char* p, std::uint64_t v) {
  store_u32(p, static_cast<std::uint32_t>(v));
  store_u32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// A float as 4 bytes, IEEE 754 single precision, little-endian. On a
// little-endian host the float's own bytes are that encoding, and copying them
// lets the sample loops vectorise without byte shuffles (which plain x86-64
// lacks); any other host gets the bytes split off one by one.
static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "samples are written as IEEE 754 single-precision floats");
inline void store_f32(unsigned char* p, float f) {
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_WIN32)
  std::memcpy(p, &f, sizeof f);
#else
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  store_u32(p, bits);
#endif
}

// A 16-bit field read as the signed value it holds (two's complement).
inline int as_i16(std::uint16_t v) {
  return static_cast<int>(v ^ 0x8000u) - 0x8000;
}

}  // namespace velkoran::wave
