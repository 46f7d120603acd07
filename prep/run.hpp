// The run sequence of velkoran-prep: the two names, the input, a new file
// beside the output, the re-laying, and the output put in place.
#pragma once

#include <string>
#include <vector>

#include "prep/outcome.hpp"

namespace velkoran::prep {

// `args` are the command-line arguments after the program name, in UTF-8:
// the input's name and the output's. The result is the exit status.
int run(const std::vector<std::string>& args, Console& console);

}  // namespace velkoran::prep
