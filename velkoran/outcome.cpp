#include "velkoran/outcome.hpp"

#include <iterator>

#include "platform/print.hpp"
#include "platform/text.hpp"
#include "wave/le.hpp"

namespace velkoran::front {
namespace {

// The banner: the input's name, then the output's.
constexpr char kBannerFormat[] = "\n Convert {in} to Velkoran format ({out})\n\n";
// The input's format tag, as a signed 16-bit value, with no line feed after it.
constexpr char kFormatTagFormat[] = "tag={n}";

// What each way a run ends prints last, and the exit status it ends with, in
// the order of the README's table. The name in "Could not open {name}" is
// the input's or the output's; "{n}" is the header error number.
struct Ending {
  Outcome::Kind kind;
  const char* text;
  Status status;
};
constexpr Ending kEndings[] = {
    {Outcome::kConverted, "", kSuccess},
    {Outcome::kWrongArgumentCount,
     "Give a single filename as argument to this program. (ex sim.wav)", kFailure},
    {Outcome::kInputNotOpened, "Could not open {name}", kFailure},
    {Outcome::kOutputNotOpened, "Could not open {name}\n", kFailure},
    {Outcome::kHeaderMalformed, "Error in .wav file header [{n}]", kFailure},
    // Followed by the message of kHeaderMalformed, for HeaderError::kBadFormatTag.
    {Outcome::kUnknownFormatTag, "Unknown wFormatTag.", kFailure},
    {Outcome::kNotStereo16Or24, "input has to be 16 or 24 bit int. This file is something else\n",
     kFailure},
    {Outcome::kWriteFailed, platform::kWriteFailedText, kFailure},
    {Outcome::kReadFailed, platform::kReadFailedText, kFailure},
    {Outcome::kTooLong, "\nERROR: Output exceeds the 4 GiB limit of a WAVE file.\n", kFailure},
    // Nothing is added to the console; the process ends by the signal itself.
    {Outcome::kInterrupted, "", kFailure},
};

constexpr bool each_ending_at_its_kind() {
  for (std::size_t i = 0; i < std::size(kEndings); ++i) {
    if (kEndings[i].kind != static_cast<Outcome::Kind>(i)) return false;
  }
  return std::size(kEndings) == Outcome::kInterrupted + 1;
}
static_assert(each_ending_at_its_kind(), "kEndings lists every outcome once, in the order of Kind");
// The outcome of each way the conversion ends, named one by one: a new end
// cannot take another's place, and the compiler asks for it here.
constexpr Outcome::Kind outcome_of(wave::End::Kind k) {
  switch (k) {
    case wave::End::kConverted:
      return Outcome::kConverted;
    case wave::End::kHeaderMalformed:
      return Outcome::kHeaderMalformed;
    case wave::End::kUnknownFormatTag:
      return Outcome::kUnknownFormatTag;
    case wave::End::kNotStereo16Or24:
      return Outcome::kNotStereo16Or24;
    case wave::End::kWriteFailed:
      return Outcome::kWriteFailed;
    case wave::End::kReadFailed:
      return Outcome::kReadFailed;
    case wave::End::kTooLong:
      return Outcome::kTooLong;
    case wave::End::kInterrupted:
      break;
  }
  return Outcome::kInterrupted;
}

}  // namespace

Outcome::Outcome(const wave::End& end)
    : kind(outcome_of(end.kind)), header_error(end.header_error) {}

void Console::banner(const std::string& in_name, const std::string& out_name) {
  platform::print(f_, platform::fill_in(kBannerFormat, {{"{in}", in_name}, {"{out}", out_name}}));
}

std::size_t Console::format_tag(std::uint16_t tag) {
  // Shown at once, though it ends with no line feed: the conversion of a
  // large file takes a while.
  const std::string line =
      platform::fill_in(kFormatTagFormat, {{"{n}", std::to_string(wave::as_i16(tag))}});
  platform::print(f_, line);
  return line.size();
}

std::string text_of(const Outcome& outcome, const std::string& name) {
  const char* text = kEndings[outcome.kind].text;
  const auto header_error = [](HeaderError e) {
    return platform::fill_in(kEndings[Outcome::kHeaderMalformed].text,
                             {{"{n}", std::to_string(static_cast<int>(e))}});
  };
  switch (outcome.kind) {
    case Outcome::kInputNotOpened:
    case Outcome::kOutputNotOpened:
      return platform::fill_in(text, {{"{name}", name}});
    case Outcome::kHeaderMalformed:
      return header_error(outcome.header_error);
    case Outcome::kUnknownFormatTag:
      return text + header_error(HeaderError::kBadFormatTag);
    default:
      return text;
  }
}

Status Console::end(const Outcome& outcome, const std::string& name) {
  platform::print(f_, text_of(outcome, name));
  return kEndings[outcome.kind].status;
}

}  // namespace velkoran::front
