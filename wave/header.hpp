// Transcription of the WAVE header, from the first byte of the input through
// the size field of the data chunk, field by field, into the float output.
#pragma once

#include <cstdint>

#include "wave/handoff.hpp"
#include "wave/outcome.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// Reads the input's header and writes the output's, printing the format tag
// line on the way. When it goes through (kConverted), `handoff` is filled in,
// the input stands at the first sample byte and the output just after its
// data size field. Otherwise the outcome says why the run ends there, and
// whatever was written stays in the output.
Outcome transcribe_header(Reader& in, Writer& out, Console& console, Handoff& handoff);

// The output's nAvgBytesPerSec: the input's, rescaled for 4-byte samples, with
// the multiplication wrapping at 32 bits and the division truncating toward
// zero on the signed value.
std::uint32_t rescale_byte_rate(std::uint32_t in_rate, unsigned bytes_per_sample);

// The output's data size as the header first states it: whole input samples
// times 4, wrapping at 32 bits, except that kUnknownDataSize stays as it is.
// Once the whole output is written, the true size replaces it wherever the
// output can be repositioned.
std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample);

}  // namespace velkoran::wave
