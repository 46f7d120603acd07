// How a conversion ends, without words: the front end says what each end
// means to the user, and the exit status it gives.
#pragma once

#include <optional>

#include "wave/stream.hpp"

namespace velkoran::wave {

// Header error numbers: which field or chunk of the header was missing or
// wrong. The gaps (10, 13-24) are numbers that no check uses.
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

struct [[nodiscard]] End {
  enum Kind {
    kConverted,
    kHeaderMalformed,  // with its header error number
    kUnknownFormatTag,
    kNotStereo16Or24,
    kWriteFailed,
    kReadFailed,
    kTooLong,
    kInterrupted,  // a signal asked the run to stop
  };

  constexpr End(Kind k) : kind(k) {}
  static constexpr End header(HeaderError e) {
    End o(kHeaderMalformed);
    o.header_error = e;
    return o;
  }
  // What a halted read, write or copy ends the run with: `if_ended` where
  // the input ended first.
  static constexpr End of(Halt h, End if_ended) {
    switch (h) {
      case Halt::kEnded:
        return if_ended;
      case Halt::kReadFailed:
        return kReadFailed;
      case Halt::kWriteFailed:
        return kWriteFailed;
      case Halt::kTooLong:
        return kTooLong;
      case Halt::kStopped:
        break;
    }
    return kInterrupted;
  }

  Kind kind;
  HeaderError header_error = HeaderError::kNoRiffId;  // meaningful for kHeaderMalformed only
};

// What a step of the conversion gives back: nothing while the run goes on,
// else the end it comes to. A caller cannot drop it without a warning, so a
// step cannot end the run without saying why.
class [[nodiscard]] Stop : public std::optional<End> {
 public:
  using std::optional<End>::optional;
};

// A halted read, write or copy as a step's Stop (see End::of).
inline Stop stop_for(const Halted& h, End if_ended = End::kWriteFailed) {
  if (!h) return {};
  return End::of(*h, if_ended);
}

// A halted read or copy where the end of the input is the normal end of the
// step: nothing then, else what halted it.
inline Stop unless_ended(const Halted& h) {
  if (!h || *h == Halt::kEnded) return {};
  return End::of(*h, End::kReadFailed);
}

}  // namespace velkoran::wave
