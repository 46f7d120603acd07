#include "wave/header.hpp"

#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace velkoran::wave {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kOutBlockAlign = kChannels * kOutBytesPerSample;
constexpr unsigned char kOutBitsPerSample[2] = {8 * kOutBytesPerSample, 0};
constexpr std::uint32_t kFixedFormatBytes = 14;  // wFormatTag through nBlockAlign
// Where the output's RIFF size field stands; the data size's depends on the
// chunks before it, and the hand-off carries it.
constexpr std::uint64_t kRiffSizeOffset = 4;

// One pass over the header. Each step reads a field, checks it, writes the
// output's version of it, and only then goes on to the next field. A step
// that ends the run gives back why.
class HeaderPass {
 public:
  HeaderPass(Reader& in, Writer& out, Console& console) : in_(in), out_(out), console_(console) {}

  Stop run(Handoff& handoff) {
    if (Stop s = riff_and_wave()) return s;
    if (Stop s = format_chunk()) return s;
    return chunks_until_data(handoff);
  }

 private:
  // A field that did not arrive whole: the input ended there (header error
  // `e`) or failed.
  Stop cut(HeaderError e) const { return in_.short_read(Outcome::header(e)); }
  Stop write(const unsigned char* p, std::size_t n) {
    if (out_.write(p, n)) return {};
    return out_.failure();
  }
  Stop write_u16(std::uint16_t v) {
    if (out_.write_u16(v)) return {};
    return out_.failure();
  }
  Stop write_u32(std::uint32_t v) {
    if (out_.write_u32(v)) return {};
    return out_.failure();
  }

  // Reads a chunk id and carries it over when it is `want`: header error
  // `if_cut` when it does not arrive whole, `if_other` when it is another id.
  Stop expect_id(const char (&want)[5], HeaderError if_cut, HeaderError if_other) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(if_cut);
    if (!is_id(id, want)) return Outcome::header(if_other);
    return write(id, sizeof id);
  }

  Stop riff_and_wave();
  Stop format_chunk();
  Stop format_tail(std::uint32_t count);
  Stop copy_body(std::uint32_t count) {
    return in_.copy_to(out_, count, Outcome::header(HeaderError::kBodyCut));
  }
  Stop pad_after(std::uint32_t body_size);
  Stop chunks_until_data(Handoff& handoff);

  Reader& in_;
  Writer& out_;
  Console& console_;
  std::uint32_t riff_size_ = 0;
  unsigned bytes_per_sample_ = 0;
};

Stop HeaderPass::riff_and_wave() {
  if (Stop s = expect_id("RIFF", HeaderError::kNoRiffId, HeaderError::kNotRiff)) return s;
  // The RIFF size is carried over as it stands; once the whole output has
  // been written, its true size replaces it.
  if (!in_.read_u32(riff_size_)) return cut(HeaderError::kNotWave);
  if (Stop s = write_u32(riff_size_)) return s;
  if (Stop s = expect_id("WAVE", HeaderError::kNotWave, HeaderError::kNotWave)) return s;
  // The format chunk must come first: nothing may stand between it and the form type.
  return expect_id("fmt ", HeaderError::kNoFmtChunk, HeaderError::kNoFmtChunk);
}

Stop HeaderPass::format_chunk() {
  std::uint32_t fmt_size = 0;
  if (!in_.read_u32(fmt_size)) return cut(HeaderError::kNoFmtSize);
  if (Stop s = write_u32(fmt_size)) return s;

  std::uint16_t tag = 0;
  // No value arrived, so there is no tag to show.
  if (!in_.read_u16(tag)) return in_.short_read(Outcome::kUnknownFormatTag);
  // What has been written so far reaches the output before the tag line is
  // printed: a write that fails there is reported without the line, as it
  // came first.
  if (!out_.flush()) return out_.failure();
  console_.format_tag(tag);
  if (tag != kTagPcm && tag != kTagFloat) return Outcome::kUnknownFormatTag;
  if (Stop s = write_u16(kTagFloat)) return s;

  std::uint16_t channels = 0;
  if (!in_.read_u16(channels)) return cut(HeaderError::kBadChannels);
  if (as_i16(channels) < 1 || as_i16(channels) > 2)
    return Outcome::header(HeaderError::kBadChannels);
  if (Stop s = write_u16(channels)) return s;

  std::uint32_t sample_rate = 0;
  if (!in_.read_u32(sample_rate)) return cut(HeaderError::kNoSampleRate);
  if (Stop s = write_u32(sample_rate)) return s;

  // The output's byte rate depends on the sample width, which only the next
  // field tells: hold it back until then.
  std::uint32_t byte_rate = 0;
  if (!in_.read_u32(byte_rate)) return cut(HeaderError::kNoByteRate);

  std::uint16_t block_align = 0;
  if (!in_.read_u16(block_align)) return cut(HeaderError::kNoBlockAlign);
  // Only stereo is converted. With one channel a block alignment of 4 means
  // 32-bit samples, which are not pairs of 16-bit ones.
  if (channels == 2 && block_align == 4) {
    bytes_per_sample_ = 2;
  } else if (channels == 2 && block_align == 6) {
    bytes_per_sample_ = 3;
  } else {
    return Outcome::kNotStereo16Or24;
  }
  if (Stop s = write_u32(rescale_byte_rate(byte_rate, bytes_per_sample_))) return s;
  if (Stop s = write_u16(kOutBlockAlign)) return s;

  // Whatever the format chunk declares beyond the fixed fields. A size below
  // 14 wraps to a huge count: the copy then runs to the end of the input and
  // stops with header error 11.
  if (Stop s = format_tail(fmt_size - kFixedFormatBytes)) return s;
  return pad_after(fmt_size);
}

// The tail starts with wBitsPerSample, which the output states as 32 whatever
// the input held (the first byte only, when the tail is one byte long); the
// rest is carried over unchanged.
Stop HeaderPass::format_tail(std::uint32_t count) {
  for (unsigned char b : kOutBitsPerSample) {
    if (count == 0) return {};
    if (!in_.skip(1)) return cut(HeaderError::kBodyCut);
    if (Stop s = write(&b, 1)) return s;
    --count;
  }
  return copy_body(count);
}

// The pad byte after a body of odd size is carried over as it stands.
Stop HeaderPass::pad_after(std::uint32_t body_size) {
  if (body_size % 2 == 0 || !pad_follows(in_)) return {};
  return copy_body(1);
}

Stop HeaderPass::chunks_until_data(Handoff& handoff) {
  for (;;) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(HeaderError::kNoDataChunk);
    if (Stop s = write(id, sizeof id)) return s;

    std::uint32_t size = 0;
    if (!in_.read_u32(size)) return cut(HeaderError::kNoChunkSize);

    if (is_id(id, "data")) {
      handoff = Handoff{bytes_per_sample_, size, out_.position(), riff_size_};
      return write_u32(rescale_data_size(size, bytes_per_sample_));
    }
    if (Stop s = write_u32(size)) return s;
    if (Stop s = copy_body(size)) return s;
    if (Stop s = pad_after(size)) return s;
  }
}

}  // namespace

std::uint32_t rescale_byte_rate(std::uint32_t in_rate, unsigned bytes_per_sample) {
  // Wraps, as unsigned arithmetic does.
  const std::uint32_t scaled = in_rate * kOutBytesPerSample;
  const std::int64_t as_signed =
      scaled < 0x80000000u ? std::int64_t{scaled} : std::int64_t{scaled} - 0x100000000;
  // Integer division truncates toward zero; the conversion back wraps modulo 2^32.
  return static_cast<std::uint32_t>(as_signed / static_cast<std::int64_t>(bytes_per_sample));
}

std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample) {
  // "Length unknown" (recorders, streams) stays so: rescaled, 0xFFFFFFFF
  // would read as a length that stops a reader 1.4 GB in.
  if (length_unknown(in_size)) return in_size;
  const unsigned in_frame = kChannels * bytes_per_sample;
  const std::uint64_t size = std::uint64_t{in_size / in_frame} * kOutBlockAlign;
  // Wrapped at 32 bits, a size past 4 GiB would state a short, clean
  // recording; unknown, it lets a reader take all there is.
  return size > kUnknownDataSize ? kUnknownDataSize : static_cast<std::uint32_t>(size);
}

Stop transcribe_header(Reader& in, Writer& out, Console& console, Handoff& handoff) {
  return HeaderPass(in, out, console).run(handoff);
}

Stop write_true_sizes(Writer& out, const Handoff& handoff, const Converted& converted) {
  const std::uint64_t riff_end = out.position() - converted.after_riff;
  switch (out.seek(kRiffSizeOffset)) {
    case Writer::Seek::kMoved:
      break;
    case Writer::Seek::kUnseekable:
      return {};
    case Writer::Seek::kFailed:
      return Outcome::kWriteFailed;
  }
  if (!out.write_u32(static_cast<std::uint32_t>(riff_end - 8)) ||
      out.seek(handoff.data_size_offset) != Writer::Seek::kMoved ||
      !out.write_u32(static_cast<std::uint32_t>(converted.samples * kOutBytesPerSample))) {
    return Outcome::kWriteFailed;
  }
  return {};
}

}  // namespace velkoran::wave
