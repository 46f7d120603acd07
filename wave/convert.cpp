#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/interrupt.hpp"
#include "wave/samples.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {
namespace {

// Where the input's length is known (a file), an output that cannot fit the
// bound is refused before any sample, not after writing 4 GiB: the header
// then states the little it holds. A pipe keeps the bound on every byte.
Stop refuse_what_cannot_fit(const Reader& in, Writer& out, const Handoff& handoff,
                            std::uint64_t max_length) {
  const std::optional<std::uint64_t> length = in.length();
  if (!length || least_output_length(handoff, out.position(), *length) <= max_length) return {};
  if (Stop s = write_true_sizes(out, handoff, Converted())) return s;
  return Outcome::kTooLong;
}

}  // namespace

Outcome convert(std::FILE* in, std::FILE* out, Console& console, std::uint64_t max_length,
                Progress* progress) {
  Reader reader(in);
  Writer writer(out, max_length);
  Handoff handoff;
  Converted converted;
  Stop stop = transcribe_header(reader, writer, console, handoff);
  const bool header_written = !stop;
  if (!stop) stop = refuse_what_cannot_fit(reader, writer, handoff, max_length);
  if (!stop) stop = convert_samples(reader, writer, handoff, converted, progress);
  if (stop_requested()) {
    // A signal ended the run (a read it cut short may look like a failure):
    // what has been written becomes a whole, shorter file, and nothing is
    // printed. Chunks after the data that were not reached are not written.
    if (header_written && writer.ok()) (void)write_true_sizes(writer, handoff, converted);
    (void)writer.flush();
    return Outcome::kInterrupted;
  }
  if (!stop) stop = write_true_sizes(writer, handoff, converted);
  // Whatever was written before the run ended reaches the output now. A
  // write that fails here came before that ending, so it is what is reported.
  if (!writer.flush()) return Outcome::kWriteFailed;
  return stop.value_or(Outcome::kConverted);
}

}  // namespace velkoran::wave
