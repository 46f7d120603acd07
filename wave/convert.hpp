// The whole conversion of one WAVE file, in process: it reads `in` from its
// first byte, writes the float WAVE file to `out` and prints the format tag
// line to `console`. It gives back how the run ends; the caller prints that
// (Console::end) and owns the three streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wave/outcome.hpp"
#include "wave/progress.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// `max_length` caps the output's length; WAVE sizes are 32-bit. `progress`,
// where there is one, is told how far the samples have come.
Outcome convert(std::FILE* in, std::FILE* out, Console& console,
                std::uint64_t max_length = kMaxWaveLength, Progress* progress = nullptr);

}  // namespace velkoran::wave
