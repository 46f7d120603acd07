#include "wave/md5.hpp"

#include <cstring>

#include "wave/le.hpp"

namespace velkoran::wave {
namespace {

inline std::uint32_t rotate(std::uint32_t x, int s) {
  return (x << s) | (x >> (32 - s));
}

// The four rounds' steps (RFC 1321, 3.4): a = b + ((a + f(b, c, d) + x + t) <<< s).
inline void ff(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t t) {
  a = b + rotate(a + (d ^ (b & (c ^ d))) + x + t, s);
}
inline void gg(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t t) {
  // (b & d) | (c & ~d): the two hold no bit in common, so their sum, which
  // lets the additions run side by side.
  a = b + rotate(a + x + t + (~d & c) + (d & b), s);
}
inline void hh(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t t) {
  a = b + rotate(a + (b ^ c ^ d) + x + t, s);
}
inline void ii(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t t) {
  a = b + rotate(a + (c ^ (b | ~d)) + x + t, s);
}

}  // namespace

void Md5::block(const unsigned char* p) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = load_u32(p + 4 * i);
  std::uint32_t a = a_, b = b_, c = c_, d = d_;

  ff(a, b, c, d, x[0], 7, 0xd76aa478u);
  ff(d, a, b, c, x[1], 12, 0xe8c7b756u);
  ff(c, d, a, b, x[2], 17, 0x242070dbu);
  ff(b, c, d, a, x[3], 22, 0xc1bdceeeu);
  ff(a, b, c, d, x[4], 7, 0xf57c0fafu);
  ff(d, a, b, c, x[5], 12, 0x4787c62au);
  ff(c, d, a, b, x[6], 17, 0xa8304613u);
  ff(b, c, d, a, x[7], 22, 0xfd469501u);
  ff(a, b, c, d, x[8], 7, 0x698098d8u);
  ff(d, a, b, c, x[9], 12, 0x8b44f7afu);
  ff(c, d, a, b, x[10], 17, 0xffff5bb1u);
  ff(b, c, d, a, x[11], 22, 0x895cd7beu);
  ff(a, b, c, d, x[12], 7, 0x6b901122u);
  ff(d, a, b, c, x[13], 12, 0xfd987193u);
  ff(c, d, a, b, x[14], 17, 0xa679438eu);
  ff(b, c, d, a, x[15], 22, 0x49b40821u);

  gg(a, b, c, d, x[1], 5, 0xf61e2562u);
  gg(d, a, b, c, x[6], 9, 0xc040b340u);
  gg(c, d, a, b, x[11], 14, 0x265e5a51u);
  gg(b, c, d, a, x[0], 20, 0xe9b6c7aau);
  gg(a, b, c, d, x[5], 5, 0xd62f105du);
  gg(d, a, b, c, x[10], 9, 0x02441453u);
  gg(c, d, a, b, x[15], 14, 0xd8a1e681u);
  gg(b, c, d, a, x[4], 20, 0xe7d3fbc8u);
  gg(a, b, c, d, x[9], 5, 0x21e1cde6u);
  gg(d, a, b, c, x[14], 9, 0xc33707d6u);
  gg(c, d, a, b, x[3], 14, 0xf4d50d87u);
  gg(b, c, d, a, x[8], 20, 0x455a14edu);
  gg(a, b, c, d, x[13], 5, 0xa9e3e905u);
  gg(d, a, b, c, x[2], 9, 0xfcefa3f8u);
  gg(c, d, a, b, x[7], 14, 0x676f02d9u);
  gg(b, c, d, a, x[12], 20, 0x8d2a4c8au);

  hh(a, b, c, d, x[5], 4, 0xfffa3942u);
  hh(d, a, b, c, x[8], 11, 0x8771f681u);
  hh(c, d, a, b, x[11], 16, 0x6d9d6122u);
  hh(b, c, d, a, x[14], 23, 0xfde5380cu);
  hh(a, b, c, d, x[1], 4, 0xa4beea44u);
  hh(d, a, b, c, x[4], 11, 0x4bdecfa9u);
  hh(c, d, a, b, x[7], 16, 0xf6bb4b60u);
  hh(b, c, d, a, x[10], 23, 0xbebfbc70u);
  hh(a, b, c, d, x[13], 4, 0x289b7ec6u);
  hh(d, a, b, c, x[0], 11, 0xeaa127fau);
  hh(c, d, a, b, x[3], 16, 0xd4ef3085u);
  hh(b, c, d, a, x[6], 23, 0x04881d05u);
  hh(a, b, c, d, x[9], 4, 0xd9d4d039u);
  hh(d, a, b, c, x[12], 11, 0xe6db99e5u);
  hh(c, d, a, b, x[15], 16, 0x1fa27cf8u);
  hh(b, c, d, a, x[2], 23, 0xc4ac5665u);

  ii(a, b, c, d, x[0], 6, 0xf4292244u);
  ii(d, a, b, c, x[7], 10, 0x432aff97u);
  ii(c, d, a, b, x[14], 15, 0xab9423a7u);
  ii(b, c, d, a, x[5], 21, 0xfc93a039u);
  ii(a, b, c, d, x[12], 6, 0x655b59c3u);
  ii(d, a, b, c, x[3], 10, 0x8f0ccc92u);
  ii(c, d, a, b, x[10], 15, 0xffeff47du);
  ii(b, c, d, a, x[1], 21, 0x85845dd1u);
  ii(a, b, c, d, x[8], 6, 0x6fa87e4fu);
  ii(d, a, b, c, x[15], 10, 0xfe2ce6e0u);
  ii(c, d, a, b, x[6], 15, 0xa3014314u);
  ii(b, c, d, a, x[13], 21, 0x4e0811a1u);
  ii(a, b, c, d, x[4], 6, 0xf7537e82u);
  ii(d, a, b, c, x[11], 10, 0xbd3af235u);
  ii(c, d, a, b, x[2], 15, 0x2ad7d2bbu);
  ii(b, c, d, a, x[9], 21, 0xeb86d391u);

  a_ += a;
  b_ += b;
  c_ += c;
  d_ += d;
}

void Md5::update(const unsigned char* bytes, std::size_t n) {
  length_ += n;
  if (held_bytes_ != 0) {
    const std::size_t more = n < 64 - held_bytes_ ? n : 64 - held_bytes_;
    std::memcpy(held_ + held_bytes_, bytes, more);
    held_bytes_ += more;
    bytes += more;
    n -= more;
    if (held_bytes_ < 64) return;
    block(held_);
    held_bytes_ = 0;
  }
  for (; n >= 64; bytes += 64, n -= 64) block(bytes);
  std::memcpy(held_, bytes, n);
  held_bytes_ = n;
}

Digest Md5::finish() {
  // A 1 bit, zeros to 56 bytes past a whole block, and the length in bits.
  unsigned char tail[72] = {0x80};
  const std::size_t zeros = (held_bytes_ < 56 ? 56 : 120) - held_bytes_;
  store_u64(tail + zeros, length_ * 8);
  update(tail, zeros + 8);
  Digest digest;
  store_u32(digest.data(), a_);
  store_u32(digest.data() + 4, b_);
  store_u32(digest.data() + 8, c_);
  store_u32(digest.data() + 12, d_);
  return digest;
}

}  // namespace velkoran::wave
