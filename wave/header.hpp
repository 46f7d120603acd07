// The output's header: transcribed from the input's, from its first byte
// through the size field of the data chunk, field by field; and, once the
// whole output is written, its true sizes.
#pragma once

#include <cstdint>

#include "wave/between_passes.hpp"
#include "wave/conversion_end.hpp"
#include "wave/observer.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

// Reads the input's header and writes the output's, handing the format tag to
// `observer` on the way. When the run goes on, `handoff` is filled in, the
// input stands at the first sample byte and the output just after its data
// size field. Otherwise the run ends there, and whatever was written stays in
// the output; `handoff.whole_end` says where its last whole piece ends.
// With `rf64`, the output is RF64 instead, its ds64 chunk stating those
// sizes first: a second pass over a header whose tag has been handed on.
// `takes` says which recordings it converts (wave/format.hpp).
Stop transcribe_header(Reader& in, Writer& out, Observer& observer, Handoff& handoff,
                       const Rf64Sizes* rf64 = nullptr, Takes takes = Takes::kStereo);

// Sets the RIFF and data sizes that transcribe_header wrote (RF64's in its
// ds64 chunk, with the number of frames) to what the output really holds: the converted samples,
// and a RIFF chunk that ends where the bytes after the input's RIFF chunk begin (else at the end).
// The input's sizes may not match what was converted, and the output is longer. An output that
// cannot be repositioned by its nature (a pipe) keeps the sizes written on the way; any other
// failure to reposition it is a failed write.
Stop write_true_sizes(Writer& out, const Handoff& handoff, const Converted& converted);

// Once the whole output is written: the MD5 chunk before the data, a JUNK
// chunk so far, states the output's digest where the input's data had the
// digest it stated, and the output can be repositioned (a pipe keeps the
// JUNK chunk).
Stop state_digest(Writer& out, const Handoff& handoff, const Converted& converted);

// A run stopped inside the header keeps only its whole pieces: the output is
// cut back to `handoff.whole_end`, and its RIFF size states what it holds.
Stop keep_whole_header(Writer& out, const Handoff& handoff);

// A run stopped after the header keeps its whole frames and whole chunks:
// the output is cut back to `converted.whole_end`, its sizes then true.
Stop keep_whole(Writer& out, const Handoff& handoff, const Converted& converted);

// After a failed write, the output holds `held` bytes, which may be fewer
// than were taken (buffered, then lost): it keeps its whole pieces within
// them, as after a stop, and states what it then holds. `header_written`
// says whether the samples had begun.
Stop keep_whole_held(Writer& out, const Handoff& handoff, const Converted& converted,
                     bool header_written, std::uint64_t held);

// The output's nAvgBytesPerSec: the input's, rescaled for 4-byte samples, with
// the multiplication wrapping at 32 bits and the division truncating toward
// zero on the signed value.
std::uint32_t rescale_byte_rate(std::uint32_t in_rate, unsigned bytes_per_sample);

// The output's data size as the header first states it: the whole frames
// the input's declares, times 4 a channel, except that a size that says the length is
// unknown stays as it is, and one that would not fit 32 bits says so too.
std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample,
                                unsigned channels = kChannels);

}  // namespace velkoran::wave
