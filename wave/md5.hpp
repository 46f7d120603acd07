// The MD5 message digest (RFC 1321) of a stream of bytes given in pieces of
// any size: the digest that an MD5 chunk of a WAVE file states for its data
// chunk's bytes, as md5sum and `ffmpeg -f md5` compute it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkoran::wave {

using Digest = std::array<unsigned char, 16>;

class Md5 {
 public:
  // Takes `n` more bytes.
  void update(const unsigned char* bytes, std::size_t n);
  // The digest of every byte taken; it takes no more after.
  Digest finish();

 private:
  // Mixes one block of 64 bytes into the state.
  void block(const unsigned char* p);

  std::uint32_t a_ = 0x67452301u;
  std::uint32_t b_ = 0xefcdab89u;
  std::uint32_t c_ = 0x98badcfeu;
  std::uint32_t d_ = 0x10325476u;
  std::uint64_t length_ = 0;  // bytes taken
  unsigned char held_[64] = {};
  std::size_t held_bytes_ = 0;  // of a block not yet whole
};

}  // namespace velkoran::wave
