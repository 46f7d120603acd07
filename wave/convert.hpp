// The whole conversion of one WAVE file, in process: it reads `in` from its
// first byte, writes the float WAVE file to `out` and prints the format tag
// line to `console`. It gives back how the run ends; the caller prints that
// (Console::end) and owns the three streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wave/outcome.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// `max_length` caps the output's length; WAVE sizes are 32-bit.
Outcome convert(std::FILE* in, std::FILE* out, Console& console,
                std::uint64_t max_length = kMaxWaveLength);

}  // namespace velkoran::wave
