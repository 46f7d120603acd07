// A fuzz input may end in a trailer that sets how the run's streams behave,
// so that the fuzzer reaches the length bound, failing reads, outputs that
// cannot be rewound and RF64 outputs as well as the bytes of the file: the
// marker, then a byte for the bound, one for the failing reads and one of
// flags (an unseekable output; files for input and output). An input without the trailer runs on a
// plain input and a seekable, unbounded output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace velkoran::fuzz {

inline constexpr char kMarker[4] = {'\0', 'C', 'T', 'L'};
inline constexpr std::size_t kTrailer = sizeof kMarker + 3;

struct Controls {
  std::uint64_t max_length = 0;    // 0: the 4 GiB bound of WAVE sizes
  std::size_t fail_at = SIZE_MAX;  // reads fail once this many bytes have been read
  bool unseekable = false;         // the output cannot be repositioned, as a pipe
  // The input and the output are files: an output past the bound is RF64.
  bool files = false;
};

// The controls an input's trailer sets; `size` then leaves the trailer out.
inline Controls controls_of(const std::uint8_t* data, std::size_t& size) {
  Controls c;
  if (size < kTrailer || std::memcmp(data + size - kTrailer, kMarker, sizeof kMarker) != 0) {
    return c;
  }
  const std::uint8_t* t = data + size - 3;
  size -= kTrailer;
  // At least 20 bytes, so the format tag's line is printed before the bound stops a run.
  if (t[0] != 0) c.max_length = 20 + 4u * t[0];
  if (t[1] != 0) c.fail_at = 3u * (t[1] - 1u);
  // Files for both streams leave no failing reads and no unseekable output.
  c.files = (t[2] & 2) != 0;
  c.unseekable = !c.files && (t[2] & 1) != 0;
  if (c.files) c.fail_at = SIZE_MAX;
  return c;
}

// The trailer that sets those controls (the byte values controls_of reads).
inline std::string trailer(std::uint8_t bound, std::uint8_t fail, std::uint8_t unseekable) {
  std::string t(kMarker, sizeof kMarker);
  t += static_cast<char>(bound);
  t += static_cast<char>(fail);
  t += static_cast<char>(unseekable);
  return t;
}

}  // namespace velkoran::fuzz
