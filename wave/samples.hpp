// Conversion of the integer samples to 32-bit floats, and the part of the
// input that follows them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave/end.hpp"
#include "wave/handoff.hpp"
#include "wave/observer.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// `count` little-endian 16-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^15.
void pcm16_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

// `count` little-endian 24-bit samples in, `count` little-endian floats out:
// every sample s becomes exactly s / 2^23.
void pcm24_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

// Converts the data chunk's samples, in whole frames, and carries over
// whatever follows the chunk; `converted` says what was written. The declared
// size bounds the samples unless it says the length is unknown; in every case
// the end of the input is the normal end. A stop requested ends the
// conversion before the next block, or inside a chunk after the data at the
// next MiB; `converted.whole_end` then says what is whole. `observer` is
// told at each block how far the input has been read.
Stop convert_samples(Reader& in, Writer& out, const Handoff& handoff, Converted& converted,
                     Observer& observer);

// The least length the output can have, for an input of `input_length` bytes
// whose header, `header_length` bytes, has been transcribed: the header, the
// whole frames the data chunk holds within the input, and what follows them.
std::uint64_t least_output_length(const Handoff& handoff, std::uint64_t header_length,
                                  std::uint64_t input_length);

}  // namespace velkoran::wave
