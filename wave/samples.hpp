// Conversion of the integer samples to 32-bit floats, and the part of the
// input that follows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "wave/header.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// A WAVE file states its sizes in 32 bits: the RIFF size, which is the file's
// length less 8 bytes, must fit, so no output may grow longer than this.
inline constexpr std::uint64_t kMaxWaveLength = 0xFFFFFFFFull + 8;

// `count` little-endian 16-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^15.
void pcm16_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

// `count` little-endian 24-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^23.
void pcm24_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

struct Body {
  int status;                 // kSuccess, or kFailure with its message printed
  std::uint64_t samples = 0;  // samples written to the output
};

// Converts the data chunk's samples and carries over whatever follows the
// chunk. The declared size bounds the samples unless it is 0 or 0xFFFFFFFF
// (a header never finished, or a stream); in every case the end of the input
// is the normal end. `max_length` is the output's largest allowed length.
Body convert_body(Reader& in, Writer& out, const Header& header, std::FILE* console,
                  std::uint64_t max_length = kMaxWaveLength);

}  // namespace velkoran::wave
