#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/samples.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

Outcome convert(std::FILE* in, std::FILE* out, Console& console, std::uint64_t max_length) {
  Reader reader(in);
  Writer writer(out, max_length);
  Handoff handoff;
  std::uint64_t samples = 0;
  Stop stop = transcribe_header(reader, writer, console, handoff);
  if (!stop) stop = convert_samples(reader, writer, handoff, samples);
  if (!stop) stop = write_true_sizes(writer, handoff, samples);
  // Whatever was written before the run ended reaches the output now. A
  // write that fails here came before that ending, so it is what is reported.
  if (!writer.flush()) return Outcome::kWriteFailed;
  return stop.value_or(Outcome::kConverted);
}

}  // namespace velkoran::wave
