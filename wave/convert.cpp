#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/outcome.hpp"
#include "wave/stream.hpp"

namespace velkoran::wave {

int convert(std::FILE* in, std::FILE* out, std::FILE* console) {
  Reader reader(in);
  Writer writer(out);
  const auto header = transcribe_header(reader, writer, console);
  if (!header) return kFailure;
  if (!writer.flush()) {
    std::fputs(kWriteFailedMessage, console);
    return kFailure;
  }
  return kSuccess;
}

}  // namespace velkoran::wave
