// How a run of velkoran-prep ends, and every text it prints.
//
// The steps of a run give back an Outcome; Console::end prints the line that
// belongs to it and gives the exit status: 0 where a file was written, 1 for
// everything else. Every text stands in outcome.cpp, in the order of Kind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace velkoran::prep {

struct [[nodiscard]] Outcome {
  enum Kind {
    kWritten,  // re-laid: with what was changed
    kCopied,   // already in the plain layout
    kWrongArgumentCount,
    kInputNotOpened,
    kOutputIsInput,
    kOutputFolder,
    kOutputFifo,
    kOutputDevice,
    kOutputLinked,  // with the number of names the file has
    kOutputNotOpened,
    kNotWave,
    kRifx,
    kNoFormat,
    kFormatTooShort,  // with the format chunk's size
    kBadDs64,         // with the ds64 chunk's size
    kNoData,
    kDataWithoutLength,  // a data chunk before the format chunk, of no stated length
    kMono,
    kChannels,           // with the channel count
    kWidth,              // with the bits per sample
    kWidthAgainstBlock,  // with the bits per sample, and the block alignment that contradicts them
    kBlockAlign,         // with the block alignment
    kFloat,
    kNotPcm,             // with the format tag
    kExtensibleNotPcm,   // WAVE_FORMAT_EXTENSIBLE of another sub-format
    kChannelMask,        // with the mask
    kTooLong,            // more than RIFF sizes can state
    kLongFromAPipe,      // RF64 data past what RIFF states, from a pipe
    kLongWithStrayTail,  // RF64 data past what RIFF states, followed by what is no chunk
    kTooMuchBeforeData,  // from a pipe, more before the format chunk than is held
    kReadFailed,
    kWriteFailed,
    kInterrupted,  // by a signal, which then ends the process
  };

  constexpr Outcome(Kind k, std::uint32_t v = 0, std::uint32_t o = 0)
      : kind(k), value(v), other(o) {}

  // True where the output was written: re-laid, or copied unchanged.
  constexpr bool written() const { return kind == kWritten || kind == kCopied; }

  Kind kind;
  std::uint32_t value;  // the number the message names, where it names one
  std::uint32_t other;  // a second one, where it names two
};

// What a step gives back: nothing while the run goes on, else how it ends.
class [[nodiscard]] Stop : public std::optional<Outcome> {
 public:
  using std::optional<Outcome>::optional;
};

// What the re-laying changed, for the line that says it was written.
struct Changes {
  const char* form = "RIFF";  // the input's form: RIFF, RF64 or BW64
  unsigned ds64_dropped = 0;  // ds64 chunks of an RF64 file, read for its sizes, not written
  unsigned chunks_moved = 0;  // chunks that stood before the format chunk
  bool extensible = false;    // WAVE_FORMAT_EXTENSIBLE written as plain PCM
  unsigned valid_bits = 0;    // its wValidBitsPerSample, where fewer than the bits
  std::uint64_t extension_dropped = 0;  // its bytes past the 22 of the extension
  unsigned pads_added = 0;              // pad bytes a writer had left out
  unsigned pads_zeroed = 0;             // pad bytes of another value than 0, written as 0
  // RF64 data past what RIFF sizes state: written with both sizes "length
  // unknown", the chunks after it moved before it.
  bool past_riff = false;
  unsigned chunks_after_data_moved = 0;
  // Where the samples stand in the input, and how many bytes of them its
  // sizes state: none where the length is unknown (they run to the end).
  std::uint64_t data_at = 0;
  std::optional<std::uint64_t> data_size;
  unsigned block_align = 0;
  // Whether anything the line tells was changed.
  bool any() const {
    return std::string(form) != "RIFF" || ds64_dropped != 0 || chunks_moved != 0 || extensible ||
           pads_added != 0 || pads_zeroed != 0 || past_riff;
  }
};

// The most that is held of the chunks before the format chunk when the input
// is a pipe, which cannot be read twice: their headers, bodies and pads.
inline constexpr std::size_t kMaxHeld = 16 * 1024 * 1024;

// The line that says how a run ended, for the input `in` and the output
// `out`: what was changed, or why it was refused (its suggested command
// quoting `in` for the shell).
// `subject`, where given, stands for the input in the sentence ("it is
// mono"), its name still in the command.
std::string line_of(const Outcome& outcome, const std::string& in, const std::string& out,
                    const Changes& changes = Changes(), const char* subject = nullptr);

// What the re-laying changed, as its line says it: "the format chunk moved
// to the front, ..., every other chunk kept byte for byte". `converted`:
// what of it the converted output keeps, as velkoran-drop's line says it
// (the re-laid file itself never seen).
std::string describe(const Changes& changes, bool converted = false);

class Console {
 public:
  explicit Console(std::FILE* f) : f_(f) {}
  // Prints the line of how the run ended and gives its exit status.
  int end(const Outcome& outcome, const std::string& in, const std::string& out,
          const Changes& changes = Changes());

 private:
  std::FILE* f_;
};

}  // namespace velkoran::prep
