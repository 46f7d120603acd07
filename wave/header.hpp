// Transcription of the WAVE header, from the first byte of the input through
// the size field of the data chunk, field by field, into the float output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "wave/stream.hpp"

namespace velkoran::wave {

// What the sample stage needs to know once the header has been written.
struct Header {
  unsigned bytes_per_sample;       // of the input: 2 (16-bit) or 3 (24-bit)
  std::uint32_t data_size;         // the input's declared data chunk size
  std::uint64_t data_size_offset;  // where the output's data size field stands
};

// The output offset of the RIFF size field.
inline constexpr std::uint64_t kRiffSizeOffset = 4;

// Reads the input's header and writes the output's. On success the input is
// positioned at the first sample byte and the output just after its data size
// field. On failure the message has been printed to `console`, whatever was
// written stays in the output, and the run's status is kFailure.
std::optional<Header> transcribe_header(Reader& in, Writer& out, std::FILE* console);

// The output's nAvgBytesPerSec: the input's, rescaled for 4-byte samples, with
// the multiplication wrapping at 32 bits and the division truncating toward
// zero on the signed value.
std::uint32_t rescale_byte_rate(std::uint32_t in_rate, unsigned bytes_per_sample);

// The provisional data size of the output: whole input samples times 4,
// wrapping at 32 bits. The sample stage replaces it by the true size.
std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample);

}  // namespace velkoran::wave
