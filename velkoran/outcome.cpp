#include "velkoran/outcome.hpp"

#include <iterator>

#include "platform/print.hpp"
#include "wave/le.hpp"

namespace velkoran::front {
namespace {

// The banner: the input's name, then the output's.
constexpr char kBannerFormat[] = "\n Convert %s to Velkoran format (%s)\n\n";
// The input's format tag, as a signed 16-bit value, with no line feed after it.
constexpr char kFormatTagFormat[] = "tag=%d";

// What each way a run ends prints last, and the exit status it ends with, in
// the order of the README's table. The two names in "Could not open %s" are
// the input's and the output's; "%d" is the header error number.
struct Ending {
  Outcome::Kind kind;
  const char* text;
  Status status;
};
constexpr Ending kEndings[] = {
    {Outcome::kConverted, "", kSuccess},
    {Outcome::kWrongArgumentCount,
     "Give a single filename as argument to this program. (ex sim.wav)", kFailure},
    {Outcome::kInputNotOpened, "Could not open %s", kFailure},
    {Outcome::kOutputNotOpened, "Could not open %s\n", kFailure},
    {Outcome::kHeaderMalformed, "Error in .wav file header [%d]", kFailure},
    // Followed by the message of kHeaderMalformed, for HeaderError::kBadFormatTag.
    {Outcome::kUnknownFormatTag, "Unknown wFormatTag.", kFailure},
    {Outcome::kNotStereo16Or24, "input has to be 16 or 24 bit int. This file is something else\n",
     kFailure},
    {Outcome::kWriteFailed, "\nERROR: Failed to write output file.\n", kFailure},
    {Outcome::kReadFailed, "\nERROR: Failed to read input file.\n", kFailure},
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

namespace {

// `text` with its first "%s" or "%d" from `from` on replaced by `value`;
// `from` is then just after it.
std::string with(const std::string& text, const std::string& value, std::size_t& from) {
  std::string s = text;
  const std::size_t at = s.find('%', from);
  if (at == std::string::npos) return s;
  from = at + value.size();
  return s.replace(at, 2, value);
}

std::string with(const char* text, const std::string& value) {
  std::size_t from = 0;
  return with(text, value, from);
}

}  // namespace

void Console::banner(const std::string& in_name, const std::string& out_name) {
  std::size_t from = 0;
  const std::string in = with(kBannerFormat, in_name, from);
  platform::print(f_, with(in, out_name, from));
}

std::size_t Console::format_tag(std::uint16_t tag) {
  // Shown at once, though it ends with no line feed: the conversion of a
  // large file takes a while.
  const std::string line = with(kFormatTagFormat, std::to_string(wave::as_i16(tag)));
  platform::print(f_, line);
  return line.size();
}

std::string text_of(const Outcome& outcome, const std::string& name) {
  const char* text = kEndings[outcome.kind].text;
  const auto header_error = [](HeaderError e) {
    return with(kEndings[Outcome::kHeaderMalformed].text, std::to_string(static_cast<int>(e)));
  };
  switch (outcome.kind) {
    case Outcome::kInputNotOpened:
    case Outcome::kOutputNotOpened:
      return with(text, name);
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
