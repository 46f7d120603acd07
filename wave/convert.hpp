// The whole conversion of one WAVE file, in process: it reads `in` from its
// first byte, writes the float WAVE file to `out`, prints its messages to
// `console`, and returns the run's exit status instead of ending the process.
// The caller owns the three streams and closes them.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wave/samples.hpp"

namespace velkoran::wave {

// `max_length` caps the output's length; WAVE sizes are 32-bit.
int convert(std::FILE* in, std::FILE* out, std::FILE* console,
            std::uint64_t max_length = kMaxWaveLength);

}  // namespace velkoran::wave
