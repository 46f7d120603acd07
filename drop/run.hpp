// The run sequence of velkoran-drop: the recordings found, each converted
// with a line saying what became of it, then a summary of those that were
// not.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velkoran::drop {

// The status of a command line that is wrong (an unknown option, a missing
// or bad value): nothing is done.
inline constexpr int kUsageError = 2;

// `args` are the paths after the program name, in UTF-8; lines go to
// `console`; a usage error, and the indication of progress where that is a
// terminal, to `errors`. The result is the exit status: 0 where every
// recording found converted, kUsageError for a wrong command line, 1
// otherwise (none found included).
int run(const std::vector<std::string>& args, std::FILE* console, std::FILE* errors);

}  // namespace velkoran::drop
