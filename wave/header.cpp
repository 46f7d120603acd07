#include "wave/header.hpp"

#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace velkoran::wave {
namespace {

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kOutBlockAlign = 8;  // two channels of 4-byte floats
constexpr unsigned char kOutBitsPerSample[2] = {32, 0};
constexpr std::uint32_t kFixedFormatBytes = 14;  // wFormatTag through nBlockAlign

// One pass over the header. Each step reads a field, checks it, writes the
// output's version of it, and only then goes on to the next field. A step
// that ends the run gives back false, having recorded why; where a write
// failed, the output says why.
class HeaderPass {
 public:
  HeaderPass(Reader& in, Writer& out, Console& console) : in_(in), out_(out), console_(console) {}

  Outcome run(Handoff& handoff) {
    if (riff_and_wave() && format_chunk() && chunks_until_data(handoff)) return Outcome::kConverted;
    return outcome_.converted() ? out_.failure() : outcome_;
  }

 private:
  bool stop(Outcome o) {
    outcome_ = o;
    return false;
  }
  // A field that did not arrive whole: the input ended there (header error
  // `e`) or failed.
  bool cut(HeaderError e) { return stop(in_.short_read(Outcome::header(e))); }

  // Reads a chunk id and carries it over when it is `want`: header error
  // `if_cut` when it does not arrive whole, `if_other` when it is another id.
  bool expect_id(const char (&want)[5], HeaderError if_cut, HeaderError if_other) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(if_cut);
    if (!is_id(id, want)) return stop(Outcome::header(if_other));
    return out_.write(id, sizeof id);
  }

  bool riff_and_wave();
  bool format_chunk();
  bool format_tail(std::uint32_t count);
  bool copy_body(std::uint32_t count);
  bool pad_after(std::uint32_t body_size);
  bool chunks_until_data(Handoff& handoff);

  Reader& in_;
  Writer& out_;
  Console& console_;
  Outcome outcome_;
  unsigned bytes_per_sample_ = 0;
};

bool HeaderPass::riff_and_wave() {
  if (!expect_id("RIFF", HeaderError::kNoRiffId, HeaderError::kNotRiff)) return false;
  // The RIFF size is carried over as it stands; once the whole output has
  // been written, its true size replaces it.
  std::uint32_t riff_size = 0;
  if (!in_.read_u32(riff_size)) return cut(HeaderError::kNotWave);
  // The format chunk must come first: nothing may stand between it and the form type.
  return out_.write_u32(riff_size) &&
         expect_id("WAVE", HeaderError::kNotWave, HeaderError::kNotWave) &&
         expect_id("fmt ", HeaderError::kNoFmtChunk, HeaderError::kNoFmtChunk);
}

bool HeaderPass::format_chunk() {
  std::uint32_t fmt_size = 0;
  if (!in_.read_u32(fmt_size)) return cut(HeaderError::kNoFmtSize);
  if (!out_.write_u32(fmt_size)) return false;

  std::uint16_t tag = 0;
  // No value arrived, so there is no tag to show.
  if (!in_.read_u16(tag)) return stop(in_.short_read(Outcome::kUnknownFormatTag));
  // What has been written so far reaches the output before the tag line: a
  // write that fails shows before it, as it happened before it.
  if (!out_.flush()) return false;
  console_.format_tag(tag);
  if (tag != kTagPcm && tag != kTagFloat) return stop(Outcome::kUnknownFormatTag);
  if (!out_.write_u16(kTagFloat)) return false;

  std::uint16_t channels = 0;
  if (!in_.read_u16(channels)) return cut(HeaderError::kBadChannels);
  if (as_i16(channels) < 1 || as_i16(channels) > 2) {
    return stop(Outcome::header(HeaderError::kBadChannels));
  }
  if (!out_.write_u16(channels)) return false;

  std::uint32_t sample_rate = 0;
  if (!in_.read_u32(sample_rate)) return cut(HeaderError::kNoSampleRate);
  if (!out_.write_u32(sample_rate)) return false;

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
    return stop(Outcome::kNotStereo16Or24);
  }
  if (!out_.write_u32(rescale_byte_rate(byte_rate, bytes_per_sample_))) return false;
  if (!out_.write_u16(kOutBlockAlign)) return false;

  // Whatever the format chunk declares beyond the fixed fields. A size below
  // 14 wraps to a huge count: the copy then runs to the end of the input and
  // stops with header error 11.
  return format_tail(fmt_size - kFixedFormatBytes) && pad_after(fmt_size);
}

// The tail starts with wBitsPerSample, which the output states as 32 whatever
// the input held (the first byte only, when the tail is one byte long); the
// rest is carried over unchanged.
bool HeaderPass::format_tail(std::uint32_t count) {
  for (unsigned char b : kOutBitsPerSample) {
    if (count == 0) return true;
    if (!in_.skip(1)) return cut(HeaderError::kBodyCut);
    if (!out_.write(&b, 1)) return false;
    --count;
  }
  return copy_body(count);
}

bool HeaderPass::copy_body(std::uint32_t count) {
  if (in_.copy_to(out_, count)) return true;
  return out_.failure().converted() && cut(HeaderError::kBodyCut);
}

// The pad byte after a body of odd size is carried over as it stands.
bool HeaderPass::pad_after(std::uint32_t body_size) {
  if (body_size % 2 == 0 || !pad_follows(in_)) return true;
  return copy_body(1);
}

bool HeaderPass::chunks_until_data(Handoff& handoff) {
  for (;;) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(HeaderError::kNoDataChunk);
    if (!out_.write(id, sizeof id)) return false;

    std::uint32_t size = 0;
    if (!in_.read_u32(size)) return cut(HeaderError::kNoChunkSize);

    if (is_id(id, "data")) {
      handoff = Handoff{bytes_per_sample_, size, out_.position()};
      return out_.write_u32(rescale_data_size(size, bytes_per_sample_));
    }
    if (!out_.write_u32(size) || !copy_body(size) || !pad_after(size)) return false;
  }
}

}  // namespace

std::uint32_t rescale_byte_rate(std::uint32_t in_rate, unsigned bytes_per_sample) {
  const std::uint32_t times4 = in_rate * 4u;  // wraps, as unsigned arithmetic does
  const std::int64_t as_signed =
      times4 < 0x80000000u ? std::int64_t{times4} : std::int64_t{times4} - 0x100000000;
  // Integer division truncates toward zero; the conversion back wraps modulo 2^32.
  return static_cast<std::uint32_t>(as_signed / static_cast<std::int64_t>(bytes_per_sample));
}

std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample) {
  // "Length unknown" (recorders, streams) stays so: rescaled, it would read
  // as a length that stops a reader 1.4 GB in.
  if (in_size == kUnknownDataSize) return kUnknownDataSize;
  return (in_size / bytes_per_sample) * 4u;
}

Outcome transcribe_header(Reader& in, Writer& out, Console& console, Handoff& handoff) {
  return HeaderPass(in, out, console).run(handoff);
}

}  // namespace velkoran::wave
