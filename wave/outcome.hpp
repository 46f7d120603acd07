// How a run ends, and every text the program prints.
//
// The stages of a run give back an Outcome; Console::end prints the message
// that belongs to it and gives the exit status. Every text, and the status of
// each outcome, stands in outcome.cpp, in the order of the README's table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace velkoran {

// The process exit statuses: every refusal and every failure is kFailure.
enum Status : int { kSuccess = 0, kFailure = 1 };

// Header error numbers, printed in the message of kHeaderMalformed. The gaps
// (10, 13-24) are numbers that no check uses.
enum class HeaderError : int {
  kNoRiffId = 0,      // the first four bytes cannot be read
  kNotRiff = 1,       // the first four bytes are not "RIFF"
  kNotWave = 2,       // RIFF size or form type unreadable, or form type not "WAVE"
  kNoFmtChunk = 3,    // the chunk after the form type is not "fmt "
  kNoFmtSize = 4,     // the format chunk size cannot be read
  kBadFormatTag = 5,  // wFormatTag unreadable or neither 1 nor 3
  kBadChannels = 6,   // nChannels unreadable or outside 1..2
  kNoSampleRate = 7,  // nSamplesPerSec cannot be read
  kNoByteRate = 8,    // nAvgBytesPerSec cannot be read
  kNoBlockAlign = 9,  // nBlockAlign cannot be read
  kBodyCut = 11,      // the input ends inside the format tail or a chunk body
  kNoDataChunk = 12,  // the input ends before a data chunk
  kNoChunkSize = 25,  // the input ends inside a chunk size after the format chunk
};

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
  static constexpr Outcome header(HeaderError e) {
    Outcome o(kHeaderMalformed);
    o.header_error = e;
    return o;
  }
  constexpr bool converted() const { return kind == kConverted; }

  Kind kind;
  HeaderError header_error = HeaderError::kNoRiffId;  // meaningful for kHeaderMalformed only
};

// What a step of the run gives back: nothing while the run goes on, else the
// outcome it ends with. A caller cannot drop it without a warning, so a step
// cannot end the run without saying why.
class [[nodiscard]] Stop : public std::optional<Outcome> {
 public:
  using std::optional<Outcome>::optional;
};

// Where the program's text goes: standard output, or a file in the tests.
class Console {
 public:
  explicit Console(std::FILE* f) : f_(f) {}

  // Printed before any file is opened.
  void banner(const std::string& in_name, const std::string& out_name);
  // Printed as soon as wFormatTag has been read, before it is checked.
  void format_tag(std::uint16_t tag);
  // Prints the message of how the run ended (`name` is the file that could
  // not be opened, for the two outcomes that name one) and gives its status.
  Status end(const Outcome& outcome, const std::string& name = std::string());

 private:
  std::FILE* f_;
};

}  // namespace velkoran
