// The run sequence of one invocation: argument check, output name, banner,
// opening both files, the conversion, and closing the output.
#pragma once

#include <string>
#include <vector>

#include "velkoran/outcome.hpp"
#include "wave/observer.hpp"

namespace velkoran::front {

// Converts the open input `in` into the file `out_name`, as velkoran does
// once it has printed its banner: creates or truncates the output (never
// where it leads to `original`, the file the input stands for, which is
// `in` itself unless the input is a copy of it), converts, and closes the
// output, but not `in`. `observer` is told the format tag and how far the
// run has come.
Outcome convert_into(std::FILE* in, std::FILE* original, const std::string& out_name,
                     wave::Observer& observer);

// `args` are the command-line arguments after the program name, in UTF-8.
// Every message goes to `console`; the result is the process exit status.
Status run(const std::vector<std::string>& args, Console& console);

}  // namespace velkoran::front
