// The format chunk: its tags, and what velkoran converts. velkoran-prep asks
// the same question of a file before calling it plain.
#pragma once

#include <cstdint>

namespace velkoran::wave {

inline constexpr std::uint16_t kTagPcm = 1;
inline constexpr std::uint16_t kTagFloat = 3;
inline constexpr std::uint16_t kTagExtensible = 0xFFFE;

// wFormatTag through nBlockAlign: what every format chunk holds. The tail
// (wBitsPerSample and whatever follows) is what its size declares beyond.
inline constexpr std::uint32_t kFixedFormatBytes = 14;

// Samples are converted in whole frames, a sample for each of two channels.
inline constexpr unsigned kChannels = 2;

// The format tags velkoran reads further: PCM, and the float tag, whose
// layout it then judges as PCM's (a float file's 8-byte blocks are refused).
inline bool tag_taken(std::uint16_t tag) {
  return tag == kTagPcm || tag == kTagFloat;
}

// The input's bytes per sample for the layouts velkoran converts, two
// channels in blocks of 4 (16-bit) or 6 (24-bit); 0 for any other. The width
// is the block's alone: wBitsPerSample is never read as a number.
inline unsigned bytes_per_sample(std::uint16_t channels, std::uint16_t block_align) {
  if (channels != kChannels) return 0;
  return block_align == 4 ? 2 : block_align == 6 ? 3 : 0;
}

}  // namespace velkoran::wave
