#include "wave/convert.hpp"

#include "wave/header.hpp"
#include "wave/interrupt.hpp"
#include "wave/riff.hpp"
#include "wave/samples.hpp"

namespace velkoran::wave {
namespace {

// RF64 states its sizes in 64 bits: no bound of its own.
constexpr std::uint64_t kNoBound = UINT64_MAX;
// What the ds64 chunk adds to the header.
constexpr std::uint64_t kDs64ChunkBytes = 36;

// Where the input's length is known (a file), its header shows whether the
// output can fit the bound of RIFF's sizes. One that cannot is written as
// RF64 where the output is a file too: both are then rewound, and the
// header written again, with a ds64 chunk. Otherwise (an output that cannot
// be rewound) it is refused before any sample, not after writing 4 GiB: the
// header then states the little it holds. A pipe keeps the bound on every
// byte.
Stop fit(Reader& in, Writer& out, Observer& observer, Handoff& handoff, std::uint64_t max_length,
         Takes takes) {
  const std::optional<std::uint64_t> length = in.length();
  if (!length) return {};
  // Whether the output drops a pad after odd data is told by the bytes
  // there, as the samples pass will tell it: looked at ahead, in the file.
  bool pad = false;
  const std::uint32_t declared = handoff.declared_data_size;
  const std::uint64_t data_at = in.position();
  if (!length_unknown(declared) && is_odd(declared) && data_at + declared < *length) {
    if (!in.seek(data_at + declared)) return End::kReadFailed;
    pad = pad_next(in);
    if (!in.seek(data_at)) return End::kReadFailed;
  }
  const OutputEstimate estimate = estimate_output(handoff, out.position(), *length, pad);
  if (estimate.length() <= max_length) return {};
  if (!out.is_file()) {
    if (Stop s = write_true_sizes(out, handoff, Converted())) return s;
    return End::kTooLong;
  }
  if (!in.seek(0)) return End::kReadFailed;
  if (out.truncate(0) != Writer::Seek::kMoved) return End::kWriteFailed;
  out.set_max_length(kNoBound);
  const Rf64Sizes sizes{estimate.length() + kDs64ChunkBytes - 8, estimate.data,
                        estimate.data / (std::uint64_t{kOutBytesPerSample} * handoff.channels)};
  observer.as_rf64();
  return transcribe_header(in, out, observer, handoff, &sizes, takes);
}

// Whether an MD5 chunk of the data's digest follows the data, so that the
// samples pass computes the digests: looked at ahead in a file, through the
// chunks' headers; an input that cannot be looked ahead in (a pipe) has them
// computed all the same.
Stop look_for_digest(Reader& in, Handoff& handoff) {
  if (handoff.digests) return {};
  const std::optional<std::uint64_t> length = in.length();
  const std::uint32_t declared = handoff.declared_data_size;
  if (!length) {
    handoff.digests = true;
    return {};
  }
  const std::uint64_t data_at = in.position();
  // Nothing follows data that runs to the end.
  if (length_unknown(declared) || data_at + declared >= *length) return {};
  if (!in.seek(data_at + declared)) return End::kReadFailed;
  if (!is_odd(declared) || !pad_next(in) || in.skip(1)) {
    ChunkWalk walk(in);
    for (ChunkHeader h; walk.next(h) && !handoff.digests;) {
      handoff.digests = is_digest(h);
      if (!walk.skip()) break;
    }
  }
  if (!in.seek(data_at)) return End::kReadFailed;
  return {};
}

End convert(Reader& reader, std::FILE* out, Observer& observer, std::uint64_t max_length,
            Workspace* workspace, Takes takes) {
  Writer writer(out, max_length, workspace != nullptr ? workspace->writer.get() : nullptr);
  Handoff handoff;
  Converted converted;
  Stop stop = transcribe_header(reader, writer, observer, handoff, nullptr, takes);
  if (!stop) stop = fit(reader, writer, observer, handoff, max_length, takes);
  if (!stop) stop = look_for_digest(reader, handoff);
  const bool header_written = !stop;
  if (!stop) stop = convert_samples(reader, writer, handoff, converted, observer, workspace);
  if (!stop && handoff.digest_at != 0 &&
      (!converted.digested || converted.in_digest != handoff.stated)) {
    observer.stale_digest();
  }
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
  if (!stop) stop = state_digest(writer, handoff, converted);
  // Whatever was written before the run ended reaches the output now. A
  // write that fails here came before that ending, so it is what is reported.
  if (!writer.flush()) stop = End::kWriteFailed;
  if (stop && stop->kind == End::kWriteFailed) {
    // A full disk, the file-size limit: as after a stop, the output keeps
    // its whole pieces, and states no more than it holds.
    if (const std::optional<std::uint64_t> held = writer.recover()) {
      (void)keep_whole_held(writer, handoff, converted, header_written, *held);
      (void)writer.flush();
    }
  }
  return stop.value_or(End::kConverted);
}

}  // namespace

End convert(std::FILE* in, std::FILE* out, Observer& observer, std::uint64_t max_length,
            Workspace* workspace, Takes takes) {
  Reader reader(in, workspace != nullptr ? workspace->reader.get() : nullptr);
  return convert(reader, out, observer, max_length, workspace, takes);
}

End convert(Source& in, std::FILE* out, Observer& observer, std::uint64_t max_length,
            Workspace* workspace, Takes takes) {
  Reader reader(in, workspace != nullptr ? workspace->reader.get() : nullptr);
  return convert(reader, out, observer, max_length, workspace, takes);
}

}  // namespace velkoran::wave
