// Conversion of the integer samples to 32-bit floats, and the part of the
// input that follows them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave/handoff.hpp"
#include "wave/outcome.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// `count` little-endian 16-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^15.
void pcm16_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

// `count` little-endian 24-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^23.
void pcm24_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

// Converts the data chunk's samples, counting them in `samples`, and carries
// over whatever follows the chunk. The declared size bounds the samples
// unless it says the length is unknown; in every case the end of the input is
// the normal end.
Stop convert_samples(Reader& in, Writer& out, const Handoff& handoff, std::uint64_t& samples);

}  // namespace velkoran::wave
