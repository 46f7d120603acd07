// The run sequence of velkoran-drop: the recordings found, each converted
// with a line saying what became of it, then a summary of those that were
// not.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velkoran::drop {

// `args` are the paths after the program name, in UTF-8; lines go to
// `console`, the indication of progress to `progress` where that is a
// terminal. The result is the exit status: 0 where every recording found
// converted, 1 otherwise (none found included).
int run(const std::vector<std::string>& args, std::FILE* console, std::FILE* progress);

}  // namespace velkoran::drop
