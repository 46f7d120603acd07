// Work done already: a recording whose output exists, has the recording's
// time (which the output keeps), and is this recording's conversion as its headers show it (every
// frame the recording's conversion gives, no more, stated and held; the
// recording's rate and channels; every other chunk of the recording, in
// order, of its id and size, those after the samples too) needs no
// conversion. Anything else (an output cut short, one a stop ended early, a
// recording edited or replaced since) is converted again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "drop/convert_one.hpp"
#include "platform/files.hpp"
#include "wave/workspace.hpp"

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

// What the recording open as `recording` holds (its frames, channels,
// container bits and rate), as its headers state it; rewound after it.
std::optional<Stats> stats_of(std::FILE* recording, wave::Workspace& workspace);

// True where the output `output` of the recording open as `recording`
// (whose length and time `recording_facts` states) is complete and up to
// date: a regular file of one name, of the recording's time, a float WAVE
// (RIFF or RF64) of the recording's rate and channels whose data chunk
// states and holds `frames`, and whose other chunks are the recording's;
// where the output must state the recording's channel mask (more than two
// channels, speakers named), it does. Only headers are read, through
// `workspace`'s stream buffers; where it is false, the recording is rewound
// after it. With `copy`, the output is the recording's copy (a float
// recording's, under --into): of its length and its format chunk's fields.
bool already_converted(const std::string& output, std::FILE* recording,
                       const platform::FileFacts& recording_facts, std::uint64_t frames,
                       wave::Workspace& workspace, bool copy = false);

}  // namespace velkoran::drop
