// Rules of the RIFF container that hold wherever a chunk stands in the file,
// before the data chunk or after it.
#pragma once

#include <cstddef>

#include "wave/stream.hpp"

namespace velkoran::wave {

// True when the four bytes at `id` are the chunk id `want`, byte for byte.
bool is_id(const unsigned char* id, const char (&want)[5]);

// RIFF keeps chunks at even offsets: a body of odd size is followed by one
// pad byte. Given the byte after such a body and the four after it (`n`
// bytes at `p`, fewer where the input ends), true when that byte is the pad,
// and false when the writer left the pad out and it starts the next chunk.
bool is_pad(const unsigned char* p, std::size_t n);

// Looks at the input, after a body of odd size, without consuming it: true
// when the next byte is the pad.
bool pad_follows(Reader& in);

}  // namespace velkoran::wave
