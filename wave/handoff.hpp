// What the header transcription hands to the sample conversion, and the one
// bound both must keep.
#pragma once

#include <cstdint>

namespace velkoran::wave {

// A WAVE file states its sizes in 32 bits: the RIFF size, which is the file's
// length less 8 bytes, must fit, so no output may grow longer than this.
inline constexpr std::uint64_t kMaxWaveLength = 0xFFFFFFFFull + 8;

// A data size that says the length is unknown: the samples run to the end of
// the input. A size of 0 (a header never finished) says the same.
inline constexpr std::uint32_t kUnknownDataSize = 0xFFFFFFFF;

struct Handoff {
  unsigned bytes_per_sample = 0;         // of the input: 2 (16-bit) or 3 (24-bit)
  std::uint32_t declared_data_size = 0;  // the input's data chunk size, as it stands
  std::uint64_t data_size_offset = 0;    // where the output's data size field stands
};

}  // namespace velkoran::wave
