// The whole conversion of one WAVE file, in process: it reads `in` from its
// first byte and writes the float WAVE file to `out`, handing the format tag
// and its progress to `observer` on the way. It gives back how the run ends;
// the caller says what that means and owns the streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "wave/conversion_end.hpp"
#include "wave/format.hpp"
#include "wave/observer.hpp"
#include "wave/stream.hpp"
#include "wave/workspace.hpp"

namespace velkoran::wave {

// `max_length` is the most a RIFF output may hold, as its sizes are 32-bit:
// from a file into a file, an output that cannot fit it is written as RF64;
// otherwise it is refused.
// `workspace`, where given, holds the buffers and blocks a run of many files
// reuses. `takes` says which recordings are converted (wave/format.hpp).
End convert(std::FILE* in, std::FILE* out, Observer& observer,
            std::uint64_t max_length = kMaxWaveLength, Workspace* workspace = nullptr,
            Takes takes = Takes::kStereo);
// The same, from a source: a file described in pieces (wave/layout.hpp).
End convert(Source& in, std::FILE* out, Observer& observer,
            std::uint64_t max_length = kMaxWaveLength, Workspace* workspace = nullptr,
            Takes takes = Takes::kStereo);

}  // namespace velkoran::wave
