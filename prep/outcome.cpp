#include "prep/outcome.hpp"

#include <iterator>
#include <utility>
#include <vector>

#include "platform/files.hpp"
#include "platform/print.hpp"
#include "platform/quote.hpp"
#include "platform/text.hpp"

namespace velkoran::prep {
namespace {

// The line each way a run ends prints, in the order of Kind. In each, {in}
// and {out} stand for the two names and {n} for the number the outcome
// carries ({x}: the same in hexadecimal). Each refusal says what the file is
// and what to use instead.
// A command that brings a refused file in, suggested after the reason: how
// it is put, the tool, the command ({qin} the input, {qfix} the file it
// writes: the input's name with `suffix`), and what that tool drops.
struct Fix {
  const char* how;
  const char* tool;
  const char* command;
  const char* suffix;
};
constexpr char kSoxDrops[] =
    "sox keeps the samples only: bext, iXML, cue, LIST and every other chunk are dropped";
constexpr char kFfmpegDrops[] =
    "ffmpeg keeps the samples and at most the LIST tags: bext, iXML, cue and every other chunk are "
    "dropped";

struct Ending {
  Outcome::Kind kind;
  const char* text;
  Fix fix = {};
};
constexpr Ending kEndings[] = {
    {Outcome::kWritten, "Wrote {out}: {changes}.\n"},
    {Outcome::kCopied,
     "{in} is already laid out as velkoran takes it: copied unchanged to {out}.\n"},
    {Outcome::kWrongArgumentCount,
     "Give an input and an output file name to this program. (ex take.wav plain.wav)\n"},
    {Outcome::kInputNotOpened, "Could not open {in}\n"},
    {Outcome::kOutputIsInput, "Could not open {out}: it is the input itself.\n"},
    {Outcome::kOutputFolder, "Could not open {out}: it is a folder, not a file.\n"},
    {Outcome::kOutputFifo, "Could not open {out}: it is a FIFO, not a file.\n"},
    {Outcome::kOutputDevice, "Could not open {out}: it is a device, not a file.\n"},
    {Outcome::kOutputLinked,
     "Could not open {out}: the file has {n} names (hard links), which replacing it would "
     "part.\n"},
    {Outcome::kOutputNotOpened, "Could not open {out}\n"},
    {Outcome::kNotWave, "{in} is not a WAVE file.\n"},
    {Outcome::kRifx,
     "{in} is big-endian (RIFX); velkoran takes little-endian WAVE files.",
     {"Re-save it with", "sox", "sox {qin} -t wavpcm {qfix}", "-le"}},
    {Outcome::kNoFormat, "{in} has no format chunk, or it is cut short.\n"},
    {Outcome::kFormatTooShort,
     "{in} has a format chunk of {n} bytes, too short for the format it names.\n"},
    {Outcome::kBadDs64, "{in} has a ds64 chunk of {n} bytes, too short to state its sizes.\n"},
    {Outcome::kNoData, "{in} has no data chunk.\n"},
    {Outcome::kDataWithoutLength,
     "{in} has its data chunk before its format chunk, with no length stated: where the "
     "samples end cannot be told.\n"},
    {Outcome::kMono,
     "{in} is mono; velkoran takes stereo.",
     {"Re-save it as stereo with", "sox", "sox {qin} -t wavpcm -c 2 {qfix}", "-stereo"}},
    {Outcome::kChannels,
     "{in} has {n} channels; velkoran takes stereo.",
     {"Keep the first two with", "sox", "sox {qin} -t wavpcm {qfix} remix 1 2", "-stereo"}},
    {Outcome::kWidth,
     "{in} holds {n}-bit samples; velkoran takes 16 or 24 bits.",
     {"Re-save it at 24 bits with", "sox", "sox -D {qin} -t wavpcm -b 24 {qfix}", "-24bit"}},
    {Outcome::kWidthAgainstBlock,
     "{in} states {n}-bit samples in blocks of {m} bytes, which hold {w}-bit stereo samples: "
     "the two contradict each other, and which is right cannot be told.\n"},
    {Outcome::kBlockAlign,
     "{in} states a block alignment of {n} bytes, which no stereo layout of whole bytes has.\n"},
    {Outcome::kFloat,
     "{in} is floating point already: it needs no conversion.",
     {"To make 24-bit PCM of it anyway", "sox",
      "sox -D {qin} -t wavpcm -e signed-integer -b 24 {qfix}", "-24bit"}},
    {Outcome::kNotPcm,
     "{in} is not PCM (format tag {n}).",
     {"Decode it first, for instance with", "ffmpeg", "ffmpeg -i {qin} -c:a pcm_s24le {qfix}",
      "-pcm"}},
    {Outcome::kExtensibleNotPcm,
     "{in} is WAVE_FORMAT_EXTENSIBLE, but not PCM.",
     {"Decode it first, for instance with", "ffmpeg", "ffmpeg -i {qin} -c:a pcm_s24le {qfix}",
      "-pcm"}},
    {Outcome::kChannelMask,
     "{in} states its speakers (channel mask 0x{x}), which the plain layout cannot carry.",
     {"To drop them", "sox", "sox {qin} -t wavpcm {qfix}", "-stereo"}},
    {Outcome::kTooLong,
     "{in} holds more than a RIFF file's sizes can state (4 GiB); velkoran could not take "
     "it either.\n"},
    {Outcome::kLongFromAPipe,
     "{in} is not a file, and its data passes what RIFF sizes can state (4 GiB): the chunks "
     "after it could not be moved before it. Give it as a file.\n"},
    {Outcome::kLongWithStrayTail,
     "{in} has data past what RIFF sizes can state (4 GiB), and after it bytes that are no "
     "whole chunk: they could not be moved before the data, and velkoran would read them as "
     "samples.\n"},
    {Outcome::kTooMuchBeforeData,
     "{in} is not a file, and what stands before its format chunk passes the 16 MiB held "
     "from a pipe: give it as a file.\n"},
    {Outcome::kReadFailed, platform::kReadFailedText},
    {Outcome::kWriteFailed, platform::kWriteFailedText},
    {Outcome::kInterrupted, ""},
};

constexpr bool each_ending_at_its_kind() {
  for (std::size_t i = 0; i < std::size(kEndings); ++i) {
    if (kEndings[i].kind != static_cast<Outcome::Kind>(i)) return false;
  }
  return std::size(kEndings) == Outcome::kInterrupted + 1;
}
static_assert(each_ending_at_its_kind(), "kEndings lists every outcome once, in the order of Kind");

std::string hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%X", static_cast<unsigned>(v));
  return b;
}

std::string count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// What the run changed, in the order the file has it: "RF64 written as RIFF,
// ...", and that nothing else was.
std::string describe(const Changes& c, bool converted) {
  std::string s;
  const auto add = [&s](const std::string& part) { s += (s.empty() ? "" : ", ") + part; };
  // An RF64 file without a ds64 chunk whose data chunk states no length:
  // everything after the data chunk's header is read as samples.
  const bool unstated = std::string(c.form) != "RIFF" && c.ds64_dropped == 0 && !c.data_size;
  if (converted && c.past_riff) {
    // The output is RF64 itself: only the chunks' new order is a change.
    if (c.chunks_after_data_moved != 0) {
      add(count(c.chunks_after_data_moved, "chunk", "chunks") +
          " after the data now standing before it");
    }
  } else if (converted && unstated) {
    add(std::string(c.form) +
        " without a ds64 chunk, its data chunk stating no length: "
        "everything after the data chunk's header read as samples");
  } else if (c.past_riff) {
    add(std::string(c.form) + " written as RIFF, its ds64 chunk dropped");
    add("and as its data passes what RIFF sizes can state (4 GiB), the RIFF and data sizes "
        "written as 0xFFFFFFFF (length unknown)");
    if (c.chunks_after_data_moved != 0) {
      add(count(c.chunks_after_data_moved, "chunk", "chunks") + " after the data moved before it");
    }
  } else if (std::string(c.form) != "RIFF") {
    add(std::string(c.form) + " written as RIFF");
    if (c.ds64_dropped > 1) {
      add("its data size taken from the last of its " + std::to_string(c.ds64_dropped) +
          " ds64 chunks, which are dropped");
    } else if (c.ds64_dropped == 1) {
      add("its data size taken from its ds64 chunk, which is dropped");
    } else {
      add("its data size kept as its data chunk states it (it has no ds64 chunk)");
    }
  }
  if (c.chunks_moved != 0) {
    add("the format chunk moved to the front, before " +
        count(c.chunks_moved, "other chunk", "other chunks"));
  }
  if (c.extensible) {
    add("the extensible format written as plain PCM");
    if (c.valid_bits != 0) {
      add("its " + std::to_string(c.valid_bits) +
          " valid bits per sample not kept (plain PCM cannot state them)");
    }
    if (c.extension_dropped != 0) {
      add(count(c.extension_dropped, "byte", "bytes") + " after its extension dropped");
    }
  }
  if (c.pads_added != 0) {
    add(count(c.pads_added, "missing pad byte", "missing pad bytes") + " added");
  }
  if (c.pads_zeroed != 0) {
    add(count(c.pads_zeroed, "pad byte", "pad bytes") + " of another value than 0 written as 0");
  }
  add(converted && unstated ? "every other chunk before the data kept byte for byte"
                            : "every other chunk kept byte for byte");
  return s;
}

// The name of the file a suggested command writes: the input's, its .wav
// (in any case) taken off, with `suffix`.
std::string fixed_name(const std::string& in, const char* suffix) {
  std::string stem = in;
  if (stem.size() > 4 && platform::ends_in_wav(stem)) stem.resize(stem.size() - 4);
  return stem + suffix + ".wav";
}

std::string line_of(const Outcome& outcome, const std::string& in, const std::string& out,
                    const Changes& changes, const char* subject) {
  const Ending& ending = kEndings[outcome.kind];
  std::string text = ending.text;
  const Fix& fix = ending.fix;
  if (fix.command != nullptr) {
    // Pasted into the shell, the command names that file and runs nothing
    // else; where no quoting can promise that, only the tool is named.
    const std::string why = platform::unquotable(in);
    if (why.empty()) {
      text += std::string(" ") + fix.how + ": " + fix.command + " (" +
              (std::string(fix.tool) == "sox" ? kSoxDrops : kFfmpegDrops) + ")\n";
    } else {
      text +=
          std::string(" ") + fix.how + " " + fix.tool + " (no command is shown: " + why + ").\n";
    }
  }
  const std::uint32_t width = outcome.other * 8 / 2;  // the bits a stereo block of `other` holds
  return platform::fill_in(
      text.c_str(), {{"{changes}", describe(changes)},
                     {"{n}", std::to_string(outcome.value)},
                     {"{m}", std::to_string(outcome.other)},
                     {"{w}", std::to_string(width)},
                     {"{x}", hex(outcome.value)},
                     {"{qin}", platform::quote_for_shell(in)},
                     {"{qfix}", platform::quote_for_shell(
                                    fixed_name(in, fix.suffix != nullptr ? fix.suffix : ""))},
                     {"{in}", subject != nullptr ? subject : platform::shown_name(in)},
                     {"{out}", platform::shown_name(out)}});
}

int Console::end(const Outcome& outcome, const std::string& in, const std::string& out,
                 const Changes& changes) {
  platform::print(f_, line_of(outcome, in, out, changes));
  return outcome.written() ? 0 : 1;
}

}  // namespace velkoran::prep
