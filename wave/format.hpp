// The format chunk: its tags and sub-formats, what a sample container holds,
// and which recordings each program converts. velkoran takes stereo of 16 or
// 24 bits; velkoran-drop takes integer PCM of any channel count in 8, 16 or
// 24 bits: the same transcription, under another policy. velkoran-prep asks
// velkoran's question of a file before calling it plain.
#pragma once

#include <cstdint>

namespace velkoran::wave {

inline constexpr std::uint16_t kTagPcm = 1;
inline constexpr std::uint16_t kTagFloat = 3;
inline constexpr std::uint16_t kTagExtensible = 0xFFFE;

// wFormatTag through nBlockAlign: what every format chunk holds. The tail
// (wBitsPerSample and whatever follows) is what its size declares beyond.
inline constexpr std::uint32_t kFixedFormatBytes = 14;

// WAVE_FORMAT_EXTENSIBLE: the fixed fields, wBitsPerSample, cbSize and the
// extension's 22 bytes (wValidBitsPerSample, dwChannelMask, the sub-format's
// GUID), at these offsets in the chunk's body.
inline constexpr std::uint32_t kExtensibleFormatBytes = 40;
inline constexpr std::uint16_t kExtensionBytes = 22;
inline constexpr unsigned kMaskAt = 20;
inline constexpr unsigned kSubFormatAt = 24;
// The sub-formats KSDATAFORMAT_SUBTYPE_PCM and _IEEE_FLOAT, as their GUIDs
// stand in the file.
inline constexpr unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                               0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
inline constexpr unsigned char kFloatGuid[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// velkoran's samples are converted in whole frames of two channels.
inline constexpr unsigned kChannels = 2;
// The most channels an output can have: its block alignment, 4 bytes a
// channel, is a 16-bit field.
inline constexpr unsigned kMaxChannels = 0xFFFF / 4;

// Which recordings a conversion takes: velkoran's, or velkoran-drop's.
enum class Takes { kStereo, kAnyInteger };

// The format tags read further: PCM, and the float tag, whose layout is then
// judged as PCM's (a float file's 4- or 8-byte samples are refused); for
// velkoran-drop, the extensible format too.
inline bool tag_taken(std::uint16_t tag, Takes takes = Takes::kStereo) {
  return tag == kTagPcm || tag == kTagFloat ||
         (takes == Takes::kAnyInteger && tag == kTagExtensible);
}

// The bytes of each sample's container: the block's share of a channel; 0
// where the block holds no whole number of them.
inline unsigned container_bytes(std::uint16_t channels, std::uint16_t block_align) {
  if (channels == 0 || block_align % channels != 0) return 0;
  return block_align / channels;
}

// The input's bytes per sample for the layouts converted, 0 for any other:
// for velkoran, two channels in blocks of 4 (16-bit) or 6 (24-bit); for
// velkoran-drop, any number of channels in containers of 1, 2 or 3 bytes.
// The width is the block's alone: wBitsPerSample is never read as a number.
inline unsigned bytes_per_sample(std::uint16_t channels, std::uint16_t block_align,
                                 Takes takes = Takes::kStereo) {
  if (takes == Takes::kStereo) {
    if (channels != kChannels) return 0;
    return block_align == 4 ? 2 : block_align == 6 ? 3 : 0;
  }
  const unsigned bytes = container_bytes(channels, block_align);
  return channels <= kMaxChannels && bytes >= 1 && bytes <= 3 ? bytes : 0;
}

// A channel mask that says no more than a plain format chunk does: none, the
// front centre of mono, the front left and right of stereo.
inline bool plain_mask(std::uint16_t channels, std::uint32_t mask) {
  return mask == 0 || (channels == 1 && mask == 0x4) || (channels == 2 && mask == 0x3);
}

// Whether a float output of these channels and this mask (0: none) is
// WAVE_FORMAT_EXTENSIBLE, with the IEEE float sub-format: where the plain
// float format chunk cannot state what the recording's does.
inline bool extensible_output(std::uint16_t channels, std::uint32_t mask) {
  return channels > kChannels || !plain_mask(channels, mask);
}

}  // namespace velkoran::wave
