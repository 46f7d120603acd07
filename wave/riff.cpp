#include "wave/riff.hpp"

#include <cstring>

namespace velkoran::wave {

bool is_id(const unsigned char* id, const char (&want)[5]) {
  return std::memcmp(id, want, 4) == 0;
}

// Some writers leave the pad out, so a byte other than 0 is taken as the
// first byte of the next chunk id.
bool is_pad(const unsigned char* p, std::size_t n) {
  return n != 0 && p[0] == 0;
}

bool pad_follows(Reader& in) {
  unsigned char next[5];
  return is_pad(next, in.peek(next, sizeof next));
}

}  // namespace velkoran::wave
