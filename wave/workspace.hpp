// Memory that a run of many conversions reuses (velkoran-drop): the two
// streams' buffers and the blocks of samples, allocated once, so that each
// file costs no allocation, and no fresh pages.
#pragma once

#include <cstddef>
#include <memory>

#include "wave/stream.hpp"

namespace velkoran::wave {

// Samples per block, whole frames: 192 KiB of 24-bit input, 256 KiB of
// float output.
inline constexpr std::size_t kBlockSamples = 64 * 1024;
inline constexpr std::size_t kInBlockBytes = kBlockSamples * 3;
inline constexpr std::size_t kOutBlockBytes = kBlockSamples * 4;

struct Workspace {
  std::unique_ptr<unsigned char[]> reader{new unsigned char[kStreamBufferSize]};
  std::unique_ptr<unsigned char[]> writer{new unsigned char[kStreamBufferSize]};
  std::unique_ptr<unsigned char[]> in_block{new unsigned char[kInBlockBytes]};
  std::unique_ptr<unsigned char[]> out_block{new unsigned char[kOutBlockBytes]};
};

}  // namespace velkoran::wave
