#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/interrupt.hpp"
#include "wave/samples.hpp"

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
  return End::kTooLong;
}

}  // namespace

End convert(std::FILE* in, std::FILE* out, Observer& observer, std::uint64_t max_length) {
  Reader reader(in);
  Writer writer(out, max_length);
  Handoff handoff;
  Converted converted;
  Stop stop = transcribe_header(reader, writer, observer, handoff);
  const bool header_written = !stop;
  if (!stop) stop = refuse_what_cannot_fit(reader, writer, handoff, max_length);
  if (!stop) stop = convert_samples(reader, writer, handoff, converted, observer);
  if (stop_requested()) {
    // A signal ended the run (a read it cut short may look like the end of
    // the input): what has been written becomes a whole, shorter file of
    // whole chunks, and nothing is printed. Chunks that were not reached,
    // or reached only in part, are not in it.
    if (writer.ok()) {
      (void)(header_written ? keep_whole(writer, handoff, converted)
                            : keep_whole_header(writer, handoff));
    }
    (void)writer.flush();
    return End::kInterrupted;
  }
  if (!stop) stop = write_true_sizes(writer, handoff, converted);
  // Whatever was written before the run ended reaches the output now. A
  // write that fails here came before that ending, so it is what is reported.
  if (!writer.flush()) return End::kWriteFailed;
  return stop.value_or(End::kConverted);
}

}  // namespace velkoran::wave
