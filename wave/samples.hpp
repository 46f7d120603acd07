// Conversion of the integer samples to 32-bit floats, and the part of the
// input that follows them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wave/between_passes.hpp"
#include "wave/conversion_end.hpp"
#include "wave/observer.hpp"
#include "wave/stream.hpp"
#include "wave/workspace.hpp"

namespace velkoran::wave {

// `count` unsigned 8-bit samples in, `count` little-endian floats out: every
// sample u becomes exactly (u - 128) / 2^7.
void pcm8_to_float(const unsigned char* in, std::size_t count, unsigned char* out);

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
// `workspace`, where given, holds the blocks (a run of many files reuses them).
Stop convert_samples(Reader& in, Writer& out, const Handoff& handoff, Converted& converted,
                     Observer& observer, Workspace* workspace = nullptr);

// What the output will hold, for an input of `input_length` bytes whose
// header, `header_length` bytes, has been transcribed: the header, the whole
// frames the data chunk holds within the input, as floats, and what follows
// them: exactly what it will be, unless the input grows while it is read.
struct OutputEstimate {
  std::uint64_t header = 0;
  std::uint64_t data = 0;
  std::uint64_t after = 0;
  std::uint64_t length() const { return header + data + after; }
};
// `pad_after_data` says whether the byte after data of odd size is its pad
// (which the output drops), where the data ends within the input.
OutputEstimate estimate_output(const Handoff& handoff, std::uint64_t header_length,
                               std::uint64_t input_length, bool pad_after_data);

}  // namespace velkoran::wave
