// How a run of velkoran ends, and every text it prints.
//
// The stages of a run give back an Outcome (the conversion, a wave::End);
// Console::end prints the message that belongs to it and gives the exit
// status. Every text, and the status of each outcome, stands in outcome.cpp,
// in the order of the README's table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/process.hpp"
#include "wave/conversion_end.hpp"

namespace velkoran::front {

using platform::kFailure;
using platform::kSuccess;
using platform::Status;
using wave::HeaderError;

struct [[nodiscard]] Outcome {
  // Every way a run ends, in the order of the README's table.
  enum Kind {
    kConverted,
    kWrongArgumentCount,
    kInputNotOpened,
    kOutputNotOpened,
    kHeaderMalformed,  // with its header error number
    kUnknownFormatTag,
    kNotStereo16Or24,
    kWriteFailed,
    kReadFailed,
    kTooLong,
    kInterrupted,  // by a signal, which then ends the process
  };

  constexpr Outcome(Kind k) : kind(k) {}
  // How the run ends where the conversion ended so.
  Outcome(const wave::End& end);
  constexpr bool converted() const { return kind == kConverted; }

  Kind kind;
  HeaderError header_error = HeaderError::kNoRiffId;  // meaningful for kHeaderMalformed only
};

// The message of how a run ended (`name` is the file that could not be
// opened, for the two outcomes that name one), as the program prints it.
std::string text_of(const Outcome& outcome, const std::string& name = std::string());

// Where the program's text goes: standard output, or a file in the tests.
class Console {
 public:
  explicit Console(std::FILE* f) : f_(f) {}

  // Printed before any file is opened.
  void banner(const std::string& in_name, const std::string& out_name);
  // Printed as soon as wFormatTag has been read, before it is checked; gives
  // the number of characters printed.
  std::size_t format_tag(std::uint16_t tag);
  // Prints the message of how the run ended (`name` is the file that could
  // not be opened, for the two outcomes that name one) and gives its status.
  Status end(const Outcome& outcome, const std::string& name = std::string());

 private:
  std::FILE* f_;
};

}  // namespace velkoran::front
