// The re-laying itself: a WAVE file in a layout that velkoran refuses by
// design, rewritten into the plain one it takes, losing nothing.
//  - Chunks before the format chunk (JUNK, bext, iXML, LIST, anything, the
//    data chunk too where it states its length): the format chunk moves to
//    the front; every other chunk keeps its bytes, its pad and its order.
//  - WAVE_FORMAT_EXTENSIBLE of PCM, stereo, 16 or 24 bits: a plain 16-byte
//    PCM format chunk with the same rate, channels, byte rate, block
//    alignment and bits.
//  - RF64 and BW64 whose sizes fit a RIFF file: RIFF, the data size the
//    ds64 chunk states (wherever it stands before the data), and the ds64
//    chunk, which only holds those sizes, dropped.
//  - A file velkoran takes as it is is copied unchanged.
// Damage velkoran tolerates (a cut data chunk, a data size of 0 or
// 0xFFFFFFFF, odd chunks with or without a pad) is carried over as it is; in
// a re-laid file, a pad a writer left out is added, as 0.
#pragma once

#include <cstdint>
#include <optional>

#include "prep/outcome.hpp"
#include "wave/format.hpp"
#include "wave/stream.hpp"

namespace velkoran::prep {

// Reads `in` from its first byte and writes the re-laid file to `out`: a
// new, empty file (its RIFF size is set at the end), a layout, or nowhere.
// An input that is a file is walked twice where chunks stand before the
// format chunk; from a pipe, they are held, up to kMaxHeld. Memory does not
// grow with the number of chunks. `changes` says what was changed, and the
// RIFF size written.
// `takes`: velkoran's recordings, or velkoran-drop's (wave/format.hpp), of
// any channel count and 8 bits too, their extensible format kept where the
// output states its mask or channels, a plain one of more than two channels
// written extensible.
Outcome re_lay(wave::Reader& in, wave::Writer& out, Changes& changes,
               wave::Takes takes = wave::Takes::kStereo);

}  // namespace velkoran::prep
