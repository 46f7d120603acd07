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

bool ChunkWalk::next(ChunkHeader& h, std::size_t* got) {
  const std::size_t n = in_.read(h.bytes, sizeof h.bytes);
  if (got != nullptr) *got = n;
  if (n != sizeof h.bytes) return false;
  enter(h.size());
  return true;
}

std::size_t ChunkWalk::read(unsigned char* p, std::size_t n) {
  const std::size_t k = in_.read(p, n < left_ ? n : static_cast<std::size_t>(left_));
  left_ -= k;
  return k;
}

bool ChunkWalk::skip() {
  const std::uint64_t from = in_.position();
  const bool whole = in_.skip(left_);
  consumed_since(from);
  return whole && skip_pad();
}

Halted ChunkWalk::copy(Writer& out) {
  const std::uint64_t from = in_.position();
  const Halted h = in_.copy_to(out, left_);
  consumed_since(from);
  return h;
}

ChunkWalk::Pad ChunkWalk::take_pad(unsigned char& value) {
  if (!is_odd(size_)) return Pad::kNone;
  if (!pad_next(in_)) return Pad::kLeftOut;
  if (!in_.read_exact(&value, 1)) return Pad::kCut;
  size_ = 0;  // taken
  return Pad::kThere;
}

bool ChunkWalk::skip_pad() {
  unsigned char value = 0;
  return take_pad(value) != Pad::kCut;
}

Halted ChunkWalk::copy_pad(Writer& out) {
  if (!is_odd(size_) || !pad_next(in_)) return {};
  size_ = 0;
  return in_.copy_to(out, 1);
}

std::uint64_t bytes_after_riff(std::uint64_t riff_size, std::uint64_t data_end,
                               std::uint64_t input_end) {
  if (riff_size >= input_end) return 0;  // and 8 + riff_size cannot wrap
  const std::uint64_t riff_end = 8 + riff_size;
  return riff_end >= data_end && riff_end < input_end ? input_end - riff_end : 0;
}

}  // namespace velkoran::wave
