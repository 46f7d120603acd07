// Work done already: a recording whose output exists, is no older than the
// recording, and states and holds every frame the recording's conversion
// gives, needs no conversion. Anything else (an output cut short, one a stop
// ended early, a recording edited since) is converted again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velkoran::drop {

// Where a recording's samples stand, and how long they are.
struct Samples {
  std::uint64_t at = 0;               // their first byte in the recording
  std::optional<std::uint64_t> size;  // as its sizes state it; none: to the end
  unsigned block_align = 0;           // bytes per frame of the recording
};

// The frames velkoran writes for `samples` of a recording `length` bytes
// long: the whole frames its sizes state, or that it holds where it holds
// fewer.
std::uint64_t frames_written(const Samples& samples, std::uint64_t length);

// True where the output `output` of a recording last written at
// `recording_modified` (as platform::FileFacts states it) is complete and up
// to date: a regular file of one name, not older than the recording, a
// float WAVE (RIFF or RF64) whose data chunk states and holds `frames`.
// `buffer` is kStreamBufferSize bytes to read the output's header through.
bool already_converted(const std::string& output, std::int64_t recording_modified,
                       std::uint64_t frames, unsigned char* buffer);

}  // namespace velkoran::drop
