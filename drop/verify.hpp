// An output read back from its file and checked against its recording, by
// a reading of its own: every sample, decoded from the output and compared
// exactly with the recording's (not by the conversion's loop); every other
// chunk, byte for byte, in order; every size it states. What it finds is
// said in words for the recording's line, with where it stands.
#pragma once

#include <cstdio>
#include <string>

#include "wave/workspace.hpp"

namespace velkoran::drop {

// Empty where the output open as `output` is the conversion of the
// recording open as `recording`, or with `copy`, its copy byte for byte;
// else the first difference, and where it stands. An MD5 chunk of the
// recording is matched by one stating the output's own data's digest, or by
// a JUNK chunk of zeros. Both are read from their first byte through
// `workspace`'s buffers, and the recording is rewound after it.
std::string differences(std::FILE* output, std::FILE* recording, bool copy,
                        wave::Workspace& workspace);

}  // namespace velkoran::drop
