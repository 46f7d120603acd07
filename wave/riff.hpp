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

// An MD5 chunk of 16 bytes states the MD5 of the data chunk's bytes (the
// archive world's BWF tools write and check it). A conversion's output
// holds other data, so it states the output's own digest there, and only
// where the input's data has the digest it stated; otherwise, or where it
// cannot be told, the chunk becomes a JUNK chunk of the same size, all
// zeros: no digest rather than a false one. An MD5 chunk of another size is
// carried over as any other chunk.
inline constexpr std::uint32_t kDigestBytes = 16;
inline bool is_digest(const ChunkHeader& h) {
  return h.is("MD5 ") && h.size() == kDigestBytes;
}
// What the output's chunk says in its place, "MD5 " or "JUNK", of 16 bytes.
inline bool is_digest_or_junk(const ChunkHeader& h) {
  return (h.is("MD5 ") || h.is("JUNK")) && h.size() == kDigestBytes;
}

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

// The one walk over the chunks of a RIFF file, through a reader: each
// chunk's header, then its body (read, passed over or carried over to a
// writer), then the pad after an odd body, which the walk decides (is_pad)
// and consumes. Every byte goes through the reader, whose position is the
// walk's.
class ChunkWalk {
 public:
  explicit ChunkWalk(Reader& in) : in_(in) {}

  // Reads the next chunk's header and enters its body: false where the
  // input stops before all 8 bytes (`got`, where given, says how many
  // arrived, in h.bytes).
  bool next(ChunkHeader& h, std::size_t* got = nullptr);
  // Enters a body of `size` bytes whose header the caller read itself, of
  // which `left` are still to come (the rest were read field by field).
  void enter(std::uint64_t size, std::uint64_t left) {
    size_ = size;
    left_ = left;
  }
  void enter(std::uint64_t size) { enter(size, size); }

  // Bytes of the body not yet taken.
  std::uint64_t left() const { return left_; }
  // Reads up to n bytes of the body (n at most left()); fewer where the
  // input stops first.
  std::size_t read(unsigned char* p, std::size_t n);
  // Passes over the rest of the body, and its pad: false where the input
  // stops first.
  bool skip();
  // Carries the rest of the body over to `out` unchanged (kEnded where the
  // input stops first), then nothing more: the pad is the caller's to take.
  Halted copy(Writer& out);

  // The pad after the whole body:
  enum class Pad {
    kNone,     // the body is even
    kThere,    // it stood there, and is consumed: `value` is its byte
    kLeftOut,  // the writer left it out: the next byte starts a chunk
    kCut,      // the input stopped at it
  };
  Pad take_pad(unsigned char& value);
  // Passes over the pad, where one follows: false where the input stops there.
  bool skip_pad();
  // Carries the pad over to `out` as it stands, where one follows.
  Halted copy_pad(Writer& out);

 private:
  // Takes the bytes the reader moved past since `from` off the body.
  void consumed_since(std::uint64_t from) { left_ -= in_.position() - from; }

  Reader& in_;
  std::uint64_t size_ = 0;
  std::uint64_t left_ = 0;
};

// Where the input's RIFF chunk ends, 8 + `riff_size`, lies between the end
// of its data chunk (with its pad) and the end of the input, the bytes past
// it stand outside the RIFF chunk (a stray tail, an ID3v1 tag appended by a
// tagger): how many there are. None where the size is not believable (0,
// 0xFFFFFFFF, a size that ends inside the header or the data, or at or past
// the end), or the data chunk had no end of its own.
std::uint64_t bytes_after_riff(std::uint64_t riff_size, std::uint64_t data_end,
                               std::uint64_t input_end);

}  // namespace velkoran::wave
