#include "wave/stream.hpp"

#include "wave/le.hpp"

namespace velkoran::wave {

std::size_t Reader::read_some(unsigned char* p, std::size_t n) {
  // fread may stop early on a pipe or a terminal; keep asking until the
  // stream reports its end or an error.
  std::size_t got = 0;
  while (got < n) {
    const std::size_t k = std::fread(p + got, 1, n - got, f_);
    if (k == 0) break;
    got += k;
  }
  return got;
}

bool Writer::write(const unsigned char* p, std::size_t n) {
  const std::size_t k = std::fwrite(p, 1, n, f_);
  position_ += k;
  return k == n;
}

bool Writer::write_u16(std::uint16_t v) {
  unsigned char b[2];
  store_u16(b, v);
  return write(b, sizeof b);
}

bool Writer::write_u32(std::uint32_t v) {
  unsigned char b[4];
  store_u32(b, v);
  return write(b, sizeof b);
}

bool Writer::seek(std::uint64_t offset) {
#if defined(_WIN32)
  const int rc = _fseeki64(f_, static_cast<long long>(offset), SEEK_SET);
#else
  const int rc = fseeko(f_, static_cast<off_t>(offset), SEEK_SET);
#endif
  if (rc != 0) return false;
  position_ = offset;
  return true;
}

bool Writer::flush() {
  return std::fflush(f_) == 0 && std::ferror(f_) == 0;
}

}  // namespace velkoran::wave
