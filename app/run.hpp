// The run sequence of one invocation: argument check, output name, banner,
// opening both files, the conversion, and closing the output.
#pragma once

#include <string>
#include <vector>

#include "app/outcome.hpp"

namespace velkoran::app {

// `args` are the command-line arguments after the program name, in UTF-8.
// Every message goes to `console`; the result is the process exit status.
Status run(const std::vector<std::string>& args, Console& console);

}  // namespace velkoran::app
