// The whole conversion of one WAVE file, in process: it reads `in` from its
// first byte, writes the float WAVE file to `out`, prints its messages to
// `console`, and returns the run's exit status instead of ending the process.
// The caller owns the three streams and closes them.
#pragma once

#include <cstdio>

namespace velkoran::wave {

int convert(std::FILE* in, std::FILE* out, std::FILE* console);

}  // namespace velkoran::wave
