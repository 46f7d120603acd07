#include "prep/outcome.hpp"

#include <iterator>

namespace velkoran::prep {
namespace {

// The line each way a run ends prints, in the order of Kind. In each, {in}
// and {out} stand for the two names and {n} for the number the outcome
// carries ({x}: the same in hexadecimal). Each refusal says what the file is
// and what to use instead.
struct Ending {
  Outcome::Kind kind;
  const char* text;
};
constexpr Ending kEndings[] = {
    {Outcome::kWritten, "Wrote {out}: {changes}.\n"},
    {Outcome::kCopied,
     "{in} is already laid out as velkoran takes it: copied unchanged to {out}.\n"},
    {Outcome::kWrongArgumentCount,
     "Give an input and an output file name to this program. (ex take.wav plain.wav)\n"},
    {Outcome::kInputNotOpened, "Could not open {in}\n"},
    {Outcome::kOutputIsInput, "Could not open {out}: it is the input itself.\n"},
    {Outcome::kOutputNotOpened, "Could not open {out}\n"},
    {Outcome::kNotWave, "{in} is not a WAVE file.\n"},
    {Outcome::kRifx,
     "{in} is big-endian (RIFX); velkoran takes little-endian WAVE files. Re-save it with: "
     "sox {in} -t wavpcm fixed.wav\n"},
    {Outcome::kNoFormat, "{in} has no format chunk.\n"},
    {Outcome::kNoData, "{in} has no data chunk.\n"},
    {Outcome::kMono,
     "{in} is mono; velkoran takes stereo. Re-save it as stereo with: "
     "sox {in} -t wavpcm -c 2 fixed.wav\n"},
    {Outcome::kChannels,
     "{in} has {n} channels; velkoran takes stereo. Keep the first two with: "
     "sox {in} -t wavpcm fixed.wav remix 1 2\n"},
    {Outcome::kWidth,
     "{in} holds {n}-bit samples; velkoran takes 16 or 24 bits. Re-save it at 24 bits with: "
     "sox -D {in} -t wavpcm -b 24 fixed.wav\n"},
    {Outcome::kFloat,
     "{in} is floating point already: it needs no conversion. To make 24-bit PCM of it "
     "anyway: sox -D {in} -t wavpcm -e signed-integer -b 24 fixed.wav\n"},
    {Outcome::kNotPcm,
     "{in} is not PCM (format tag {n}); decode it first, for instance with: "
     "ffmpeg -i {in} -c:a pcm_s24le fixed.wav\n"},
    {Outcome::kExtensibleNotPcm,
     "{in} is WAVE_FORMAT_EXTENSIBLE, but not PCM; decode it first, for instance with: "
     "ffmpeg -i {in} -c:a pcm_s24le fixed.wav\n"},
    {Outcome::kChannelMask,
     "{in} states its speakers (channel mask 0x{x}), which the plain layout cannot carry. "
     "To drop them: sox {in} -t wavpcm fixed.wav\n"},
    {Outcome::kTooLong,
     "{in} holds more than a RIFF file's sizes can state (4 GiB); velkoran could not take "
     "it either.\n"},
    {Outcome::kTooMuchBeforeData,
     "{in} is not a file, and what stands before its format chunk passes the 16 MiB held "
     "from a pipe: give it as a file.\n"},
    {Outcome::kReadFailed, "\nERROR: Failed to read input file.\n"},
    {Outcome::kWriteFailed, "\nERROR: Failed to write output file.\n"},
    {Outcome::kInterrupted, ""},
};

constexpr bool each_ending_at_its_kind() {
  for (std::size_t i = 0; i < std::size(kEndings); ++i) {
    if (kEndings[i].kind != static_cast<Outcome::Kind>(i)) return false;
  }
  return std::size(kEndings) == Outcome::kInterrupted + 1;
}
static_assert(each_ending_at_its_kind(), "kEndings lists every outcome once, in the order of Kind");

void replace_all(std::string& s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
    s.replace(at, from.size(), to);
  }
}

std::string hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%X", static_cast<unsigned>(v));
  return b;
}

// "the format chunk moved before 2 other chunks, ..." as the run did it.
std::string describe(const Changes& c) {
  std::string s;
  const auto add = [&s](const std::string& part) { s += (s.empty() ? "" : ", ") + part; };
  if (c.rf64) add("RF64 written as RIFF with its true sizes");
  if (c.chunks_moved != 0) {
    add("the format chunk moved to the front, before " + std::to_string(c.chunks_moved) +
        (c.chunks_moved == 1 ? " other chunk" : " other chunks"));
  }
  if (c.extensible) add("the extensible format written as plain PCM");
  if (c.pads_added != 0) {
    add(std::to_string(c.pads_added) +
        (c.pads_added == 1 ? " missing pad byte" : " missing pad bytes") + " added");
  }
  add("every other chunk kept byte for byte");
  return s;
}

}  // namespace

int Console::end(const Outcome& outcome, const std::string& in, const std::string& out,
                 const Changes& changes) {
  std::string text = kEndings[outcome.kind].text;
  replace_all(text, "{changes}", describe(changes));
  replace_all(text, "{n}", std::to_string(outcome.value));
  replace_all(text, "{x}", hex(outcome.value));
  replace_all(text, "{in}", in);
  replace_all(text, "{out}", out);
  std::fputs(text.c_str(), f_);
  std::fflush(f_);
  return outcome.written() ? 0 : 1;
}

}  // namespace velkoran::prep
