// What the header transcription hands to the sample conversion, and the rules
// of the data chunk that both follow.
#pragma once

#include <cstdint>

#include "wave/format.hpp"
#include "wave/md5.hpp"

namespace velkoran::wave {

// Every output sample is a 32-bit float.
inline constexpr unsigned kOutBytesPerSample = 4;

// A data size that says the length is unknown: the samples run to the end of
// the input. A size of 0 (a header never finished) says the same.
inline constexpr std::uint32_t kUnknownDataSize = 0xFFFFFFFF;

// True when the data size says nothing about how long the data is: recorders
// that never finished the header write 0, streams write kUnknownDataSize.
inline bool length_unknown(std::uint32_t data_size) {
  return data_size == 0 || data_size == kUnknownDataSize;
}

// An output that cannot fit RIFF's 32-bit sizes is written as RF64: its
// sizes then stand, 64 bits each, in a ds64 chunk right after the form type,
// and its RIFF and data sizes say "look there". The sizes it first states
// are those it is expected to have.
struct Rf64Sizes {
  std::uint64_t riff = 0;
  std::uint64_t data = 0;
  std::uint64_t frames = 0;
};

struct Handoff {
  unsigned bytes_per_sample = 0;         // of the input: 1 (8-bit), 2 (16-bit) or 3 (24-bit)
  unsigned channels = kChannels;         // of the input, and the output
  std::uint32_t declared_data_size = 0;  // the input's data chunk size, as it stands
  std::uint64_t data_size_offset = 0;    // where the output's data size field stands
  std::uint32_t riff_size = 0;           // the input's RIFF size, as it stands
  bool rf64 = false;                     // the output is RF64
  // Whether the data's digests are computed: an MD5 chunk stands before or
  // after it (or the input cannot be looked ahead in).
  bool digests = false;
  // The first MD5 chunk before the data: where the output's (a JUNK chunk
  // until the end) stands, 0 for none, and the digest it stated.
  std::uint64_t digest_at = 0;
  Digest stated{};
  // Where the last whole piece of the output's header ends (the RIFF header,
  // the format chunk, each chunk after it), so far: a run stopped inside the
  // header keeps the output up to there.
  std::uint64_t whole_end = 0;
};

// What the sample conversion hands to the true sizes.
struct Converted {
  std::uint64_t samples = 0;  // floats written, in whole frames
  // Floats handed to the output so far, the block whose write failed
  // included: part of it may have reached the file.
  std::uint64_t offered = 0;
  // Bytes at the output's end that stand after the input's RIFF chunk (a
  // stray tail, a tag appended by a tagger): they stay outside the output's.
  std::uint64_t after_riff = 0;
  // Where the samples, or the last whole chunk after them, end in the
  // output: a run stopped part-way keeps the output up to there.
  std::uint64_t whole_end = 0;
  // Where the handoff asks for them: the MD5 of the input's data chunk, once
  // it was read to its end (`digested`), and of the output's.
  bool digested = false;
  Digest in_digest{};
  Digest out_digest{};
};

}  // namespace velkoran::wave
