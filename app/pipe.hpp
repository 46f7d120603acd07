// A pipe within the process, its two ends as binary streams: what one thread
// writes into one end, another reads from the other, with no file between.
#pragma once

#include <cstdio>

namespace velkoran::app {

// False where no pipe could be made. Closing the reading end makes every
// later write into the other fail (SIGPIPE is ignored by the process).
bool make_pipe(std::FILE*& read_end, std::FILE*& write_end);

}  // namespace velkoran::app
