// The program's console texts, as the README gives them, spelled once for
// every test and for the fuzz checks.
#pragma once

#include <string>

namespace velkoran::test {

inline const std::string kUsage =
    "Give a single filename as argument to this program. (ex sim.wav)";
inline std::string header_error(int n) {
  return "Error in .wav file header [" + std::to_string(n) + "]";
}
inline const std::string kUnknownTag = "Unknown wFormatTag." + header_error(5);
inline const std::string kNotStereo =
    "input has to be 16 or 24 bit int. This file is something else\n";
inline const std::string kWriteFailed = "\nERROR: Failed to write output file.\n";
inline const std::string kReadFailed = "\nERROR: Failed to read input file.\n";
inline const std::string kTooLong = "\nERROR: Output exceeds the 4 GiB limit of a WAVE file.\n";

}  // namespace velkoran::test
