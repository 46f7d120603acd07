// The run sequence of one invocation: argument check, output name, banner,
// opening both files, the conversion, and closing the output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace velkoran::app {

// `args` are the command-line arguments after the program name, in UTF-8.
// Messages go to `console`; the result is the process exit status.
int run(const std::vector<std::string>& args, std::FILE* console);

}  // namespace velkoran::app
