// Text for a person that more than one program says, and the one way a
// template is filled in.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velkoran::platform {

// The failures of the streams, as velkoran and velkoran-prep end with them
// (and velkoran-drop lists them).
inline constexpr char kReadFailedText[] = "\nERROR: Failed to read input file.\n";
inline constexpr char kWriteFailedText[] = "\nERROR: Failed to write output file.\n";

// `text` with each field in it ("{in}", say) replaced by its value, in one
// pass: a value that holds a field's name (a file named "{out}") is kept as
// it is. Fields are tried in their order.
std::string fill_in(const char* text,
                    const std::vector<std::pair<std::string, std::string>>& fields);

}  // namespace velkoran::platform
