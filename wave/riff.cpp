#include "wave/riff.hpp"

#include <cstring>

#include "wave/le.hpp"

namespace velkoran::wave {

bool is_id(const unsigned char* id, const char (&want)[5]) {
  return std::memcmp(id, want, 4) == 0;
}

namespace {

// Chunk ids seen in WAVE files from recorders and editors.
constexpr const char* kKnownIds[] = {
    "data", "fmt ", "fact", "LIST", "JUNK", "junk", "PAD ", "FLLR", "bext", "iXML",
    "axml", "cue ", "plst", "smpl", "inst", "acid", "PEAK", "id3 ", "ID3 ", "DISP",
    "cart", "levl", "umid", "minf", "elm1", "regn", "DGDA", "ds64",
};

bool is_known_id(const unsigned char* id) {
  for (const char* known : kKnownIds) {
    if (std::memcmp(id, known, 4) == 0) return true;
  }
  return false;
}

bool is_printable_id(const unsigned char* id) {
  for (int i = 0; i < 4; ++i) {
    if (id[i] < 0x20 || id[i] > 0x7E) return false;
  }
  return true;
}

}  // namespace

// The pad is meant to be 0, but some editors write another value, and some
// writers leave the pad out altogether. So a byte other than 0 is weighed
// both ways: as the first byte of the next chunk id (the pad left out), and
// as a pad followed by that id. A known id wins, then four printable bytes;
// where neither tells, the pad was left out.
bool is_pad(const unsigned char* p, std::size_t n) {
  if (n == 0) return false;
  if (p[0] == 0) return true;
  if (n < 5) return false;
  const unsigned char* pad_left_out = p;
  const unsigned char* after_pad = p + 1;
  if (is_known_id(pad_left_out) != is_known_id(after_pad)) return is_known_id(after_pad);
  if (is_printable_id(pad_left_out) != is_printable_id(after_pad)) {
    return is_printable_id(after_pad);
  }
  return false;
}

bool pad_next(Reader& in) {
  unsigned char next[5];
  return is_pad(next, in.peek(next, sizeof next));
}

std::uint32_t ChunkHeader::size() const {
  return load_u32(bytes + 4);
}

bool read_chunk_header(Reader& in, ChunkHeader& h) {
  return in.read_exact(h.bytes, sizeof h.bytes);
}

std::uint64_t bytes_after_riff(std::uint64_t riff_size, std::uint64_t data_end,
                               std::uint64_t input_end) {
  if (riff_size >= input_end) return 0;  // and 8 + riff_size cannot wrap
  const std::uint64_t riff_end = 8 + riff_size;
  return riff_end >= data_end && riff_end < input_end ? input_end - riff_end : 0;
}

}  // namespace velkoran::wave
