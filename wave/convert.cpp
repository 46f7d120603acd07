#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/outcome.hpp"
#include "wave/samples.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {
namespace {

// Once the whole output is written, its RIFF and data sizes are set to what
// it really holds: the input's may not match what was converted, and the
// output is longer. An output that cannot be repositioned (a pipe) keeps the
// sizes written on the way.
bool write_true_sizes(Writer& out, const Header& header, std::uint64_t samples) {
  const std::uint64_t length = out.position();
  if (!out.seek(kRiffSizeOffset)) return true;
  return out.write_u32(static_cast<std::uint32_t>(length - 8)) &&
         out.seek(header.data_size_offset) &&
         out.write_u32(static_cast<std::uint32_t>(samples * 4));
}

}  // namespace

int convert(std::FILE* in, std::FILE* out, std::FILE* console, std::uint64_t max_length) {
  Reader reader(in);
  Writer writer(out);
  const auto header = transcribe_header(reader, writer, console);
  if (!header) return kFailure;
  const Body body = convert_body(reader, writer, *header, console, max_length);
  if (body.status != kSuccess) return body.status;
  if (!write_true_sizes(writer, *header, body.samples) || !writer.flush()) {
    std::fputs(kWriteFailedMessage, console);
    return kFailure;
  }
  return kSuccess;
}

}  // namespace velkoran::wave
