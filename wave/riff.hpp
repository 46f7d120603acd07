// Rules of the RIFF container that hold wherever a chunk stands in the file,
// before the data chunk or after it, for every program that reads one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave/stream.hpp"

namespace velkoran::wave {

// "RIFF" (or "RF64"), its size and the form type "WAVE": where the first
// chunk starts.
constexpr std::uint64_t kRiffHeaderBytes = 12;

// True when the four bytes at `id` are the chunk id `want`, byte for byte.
bool is_id(const unsigned char* id, const char (&want)[5]);

// A chunk's id and the size of its body, as its first 8 bytes state them.
struct ChunkHeader {
  unsigned char bytes[8];  // the id, then the size, as they stand
  const unsigned char* id() const { return bytes; }
  std::uint32_t size() const;
  bool is(const char (&want)[5]) const { return is_id(bytes, want); }
};

// Reads a chunk header; false where the input stops before all 8 bytes.
bool read_chunk_header(Reader& in, ChunkHeader& h);

// RIFF keeps chunks at even offsets: a body of odd size is followed by one
// pad byte.
inline bool is_odd(std::uint64_t body_size) {
  return body_size % 2 != 0;
}

// Given the byte after an odd body and the four after it (`n` bytes at `p`,
// fewer where the input ends), true when that byte is the pad, and false
// when the writer left the pad out and it starts the next chunk.
bool is_pad(const unsigned char* p, std::size_t n);

// Looks at the input just after an odd body, without consuming it: true
// when the byte there is its pad.
bool pad_next(Reader& in);

// Looks at the input just after a body of `body_size` bytes, without
// consuming it: true when a pad byte follows there.
inline bool pad_follows(Reader& in, std::uint64_t body_size) {
  return is_odd(body_size) && pad_next(in);
}

// Passes over the pad after a body of `body_size` bytes, where one follows:
// false where the input stops there.
inline bool skip_pad(Reader& in, std::uint64_t body_size) {
  return !pad_follows(in, body_size) || in.skip(1);
}

// Copies the pad after a body of `body_size` bytes as it stands, where one
// follows.
inline Halted copy_pad(Reader& in, Writer& out, std::uint64_t body_size) {
  if (!pad_follows(in, body_size)) return {};
  return in.copy_to(out, 1);
}

// Where the input's RIFF chunk ends, 8 + `riff_size`, lies between the end
// of its data chunk (with its pad) and the end of the input, the bytes past
// it stand outside the RIFF chunk (a stray tail, an ID3v1 tag appended by a
// tagger): how many there are. None where the size is not believable (0,
// 0xFFFFFFFF, a size that ends inside the header or the data, or at or past
// the end), or the data chunk had no end of its own.
std::uint64_t bytes_after_riff(std::uint64_t riff_size, std::uint64_t data_end,
                               std::uint64_t input_end);

}  // namespace velkoran::wave
