// The run sequence of one invocation: argument check, output name, banner,
// opening both files, the conversion, and closing the output.
#pragma once

#include <string>
#include <vector>

#include "app/outcome.hpp"
#include "wave/observer.hpp"
#include "wave/workspace.hpp"

namespace velkoran::app {

// What velkoran prefixes to the input's name to name its output.
inline constexpr char kOutputPrefix[] = "velkoran-";

// Converts the open input `in` into the file `out_name`, as velkoran does
// once it has printed its banner: creates or truncates the output (never
// where it leads to `in`, or to `original` where that is another open file
// the input stands for), converts, and closes the output, but not `in`.
// `observer` is told the format tag and how far the run has come.
// `workspace`, where given, is the memory a run of many files reuses.
Outcome convert_into(std::FILE* in, const std::string& out_name, wave::Observer& observer,
                     std::FILE* original = nullptr, wave::Workspace* workspace = nullptr);

// `args` are the command-line arguments after the program name, in UTF-8.
// Every message goes to `console`; the result is the process exit status.
Status run(const std::vector<std::string>& args, Console& console);

}  // namespace velkoran::app
