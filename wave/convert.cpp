#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/samples.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {
namespace {

// The output offset of the RIFF size field.
constexpr std::uint64_t kRiffSizeOffset = 4;

// Once the whole output is written, its RIFF and data sizes are set to what
// it really holds: the input's may not match what was converted, and the
// output is longer. An output that cannot be repositioned by its nature (a
// pipe) keeps the sizes written on the way; any other failure to reposition
// it is a failed write.
Outcome write_true_sizes(Writer& out, const Handoff& handoff, std::uint64_t samples) {
  const std::uint64_t length = out.position();
  switch (out.seek(kRiffSizeOffset)) {
    case Writer::Seek::kMoved:
      break;
    case Writer::Seek::kUnseekable:
      return Outcome::kConverted;
    case Writer::Seek::kFailed:
      return Outcome::kWriteFailed;
  }
  if (!out.write_u32(static_cast<std::uint32_t>(length - 8)) ||
      out.seek(handoff.data_size_offset) != Writer::Seek::kMoved ||
      !out.write_u32(static_cast<std::uint32_t>(samples * 4))) {
    return Outcome::kWriteFailed;
  }
  return Outcome::kConverted;
}

}  // namespace

Outcome convert(std::FILE* in, std::FILE* out, Console& console, std::uint64_t max_length) {
  Reader reader(in);
  Writer writer(out, max_length);
  Handoff handoff;
  std::uint64_t samples = 0;
  Outcome outcome = transcribe_header(reader, writer, console, handoff);
  if (outcome.converted()) outcome = convert_samples(reader, writer, handoff, samples);
  if (outcome.converted()) outcome = write_true_sizes(writer, handoff, samples);
  // Whatever was written before the run ended reaches the output now. A
  // write that fails here came before that ending, so it is what is reported.
  if (!writer.flush()) return Outcome::kWriteFailed;
  return outcome;
}

}  // namespace velkoran::wave
