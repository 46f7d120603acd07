#include "wave/header.hpp"

#include <cstring>

#include "wave/le.hpp"
#include "wave/outcome.hpp"

namespace velkoran::wave {
namespace {

// Header error numbers, printed through kHeaderErrorFormat. The gaps (10,
// 13-24) are numbers that no check uses.
enum HeaderError : int {
  kNoRiffId = 0,      // the first four bytes cannot be read
  kNotRiff = 1,       // the first four bytes are not "RIFF"
  kNotWave = 2,       // RIFF size or form type unreadable, or form type not "WAVE"
  kNoFmtChunk = 3,    // the chunk after the form type is not "fmt "
  kNoFmtSize = 4,     // the format chunk size cannot be read
  kBadFormatTag = 5,  // wFormatTag unreadable or neither 1 nor 3
  kBadChannels = 6,   // nChannels unreadable or outside 1..2
  kNoSampleRate = 7,  // nSamplesPerSec cannot be read
  kNoByteRate = 8,    // nAvgBytesPerSec cannot be read
  kNoBlockAlign = 9,  // nBlockAlign cannot be read
  kBodyCut = 11,      // a byte of the format tail or of a chunk body cannot be read
  kNoDataChunk = 12,  // the input ends before a data chunk
  kNoChunkSize = 25,  // a chunk size after the format chunk cannot be read
};

constexpr char kHeaderErrorFormat[] = "Error in .wav file header [%d]";
constexpr char kTagFormat[] = "tag=%d";
constexpr char kUnknownTagMessage[] = "Unknown wFormatTag.";
constexpr char kNotStereo16Or24Message[] =
    "input has to be 16 or 24 bit int. This file is something else\n";

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kOutBlockAlign = 8;  // two channels of 4-byte floats
constexpr unsigned char kOutBitsPerSample[2] = {32, 0};
constexpr std::uint32_t kFixedFormatBytes = 14;  // wFormatTag through nBlockAlign

bool is_id(const unsigned char* id, const char (&want)[5]) {
  return std::memcmp(id, want, 4) == 0;
}

// One pass over the header. Each step reads a field, checks it, writes the
// output's version of it, and only then goes on to the next field.
class Transcription {
 public:
  Transcription(Reader& in, Writer& out, std::FILE* console)
      : in_(in), out_(out), console_(console) {}

  std::optional<Header> run();

 private:
  bool fail(HeaderError e) {
    std::fprintf(console_, kHeaderErrorFormat, static_cast<int>(e));
    return false;
  }
  bool write_failed() {
    std::fputs(kWriteFailedMessage, console_);
    return false;
  }
  bool put(const unsigned char* p, std::size_t n) { return out_.write(p, n) || write_failed(); }
  bool put_u16(std::uint16_t v) { return out_.write_u16(v) || write_failed(); }
  bool put_u32(std::uint32_t v) { return out_.write_u32(v) || write_failed(); }

  bool read_u16(std::uint16_t& v) {
    unsigned char b[2];
    if (!in_.read_exact(b, sizeof b)) return false;
    v = load_u16(b);
    return true;
  }
  bool read_u32(std::uint32_t& v) {
    unsigned char b[4];
    if (!in_.read_exact(b, sizeof b)) return false;
    v = load_u32(b);
    return true;
  }

  bool riff_and_wave();
  bool format_fields();
  bool copy_body(std::uint32_t count, bool is_format_tail);
  bool skip_pad_after(std::uint32_t body_size);
  bool read_chunk_id(unsigned char (&id)[4]);
  std::optional<Header> chunks_until_data();

  Reader& in_;
  Writer& out_;
  std::FILE* console_;
  unsigned bytes_per_sample_ = 0;
  // The first byte of the next chunk id, when a writer left out a pad byte.
  int carried_byte_ = -1;
};

bool Transcription::riff_and_wave() {
  unsigned char id[4];
  if (!in_.read_exact(id, 4)) return fail(kNoRiffId);
  if (!is_id(id, "RIFF")) return fail(kNotRiff);
  if (!put(id, 4)) return false;

  // The RIFF size is carried over as it stands; the sample stage writes the
  // output's true size once the whole file has been written.
  std::uint32_t riff_size = 0;
  if (!read_u32(riff_size)) return fail(kNotWave);
  if (!put_u32(riff_size)) return false;

  if (!in_.read_exact(id, 4) || !is_id(id, "WAVE")) return fail(kNotWave);
  if (!put(id, 4)) return false;

  // The format chunk must come first: nothing may stand between it and the form type.
  if (!in_.read_exact(id, 4) || !is_id(id, "fmt ")) return fail(kNoFmtChunk);
  return put(id, 4);
}

bool Transcription::format_fields() {
  std::uint32_t fmt_size = 0;
  if (!read_u32(fmt_size)) return fail(kNoFmtSize);
  if (!put_u32(fmt_size)) return false;

  std::uint16_t tag = 0;
  if (!read_u16(tag)) {
    // No value arrived, so there is no tag to show.
    std::fputs(kUnknownTagMessage, console_);
    return fail(kBadFormatTag);
  }
  std::fprintf(console_, kTagFormat, as_i16(tag));
  if (tag != kTagPcm && tag != kTagFloat) {
    std::fputs(kUnknownTagMessage, console_);
    return fail(kBadFormatTag);
  }
  if (!put_u16(kTagFloat)) return false;

  std::uint16_t channels = 0;
  if (!read_u16(channels) || as_i16(channels) < 1 || as_i16(channels) > 2) {
    return fail(kBadChannels);
  }
  if (!put_u16(channels)) return false;

  std::uint32_t sample_rate = 0;
  if (!read_u32(sample_rate)) return fail(kNoSampleRate);
  if (!put_u32(sample_rate)) return false;

  // The output's byte rate depends on the sample width, which only the next
  // field tells: hold it back until then.
  std::uint32_t byte_rate = 0;
  if (!read_u32(byte_rate)) return fail(kNoByteRate);

  std::uint16_t block_align = 0;
  if (!read_u16(block_align)) return fail(kNoBlockAlign);
  // Only stereo is converted. With one channel a block alignment of 4 means
  // 32-bit samples, which are not pairs of 16-bit ones.
  if (channels == 2 && block_align == 4) {
    bytes_per_sample_ = 2;
  } else if (channels == 2 && block_align == 6) {
    bytes_per_sample_ = 3;
  } else {
    std::fputs(kNotStereo16Or24Message, console_);
    return false;
  }
  if (!put_u32(rescale_byte_rate(byte_rate, bytes_per_sample_))) return false;
  if (!put_u16(kOutBlockAlign)) return false;

  // Whatever the format chunk declares beyond the fixed fields. A size below
  // 14 wraps to a huge count: the copy then runs to the end of the input and
  // stops with header error 11.
  const std::uint32_t tail = fmt_size - kFixedFormatBytes;
  return copy_body(tail, true) && skip_pad_after(fmt_size);
}

// Carries a chunk body over unchanged. In the format tail, the first two bytes
// are wBitsPerSample, which the output states as 32 whatever the input held.
bool Transcription::copy_body(std::uint32_t count, bool is_format_tail) {
  unsigned char buf[16 * 1024];
  if (is_format_tail) {
    for (unsigned char b : kOutBitsPerSample) {
      if (count == 0) break;
      unsigned char ignored;
      if (!in_.read_exact(&ignored, 1)) return fail(kBodyCut);
      if (!put(&b, 1)) return false;
      --count;
    }
  }
  while (count != 0) {
    const std::size_t want = count < sizeof buf ? count : sizeof buf;
    const std::size_t got = in_.read_some(buf, want);
    // What did arrive is carried over before the failure is reported.
    if (got != 0 && !put(buf, got)) return false;
    if (got != want) return fail(kBodyCut);
    count -= static_cast<std::uint32_t>(got);
  }
  return true;
}

// RIFF keeps chunks at even offsets: a body of odd size is followed by one pad
// byte. Some writers leave it out, so a non-zero byte here is taken as the
// first byte of the next chunk id instead.
bool Transcription::skip_pad_after(std::uint32_t body_size) {
  if (body_size % 2 == 0) return true;
  unsigned char b;
  if (!in_.read_exact(&b, 1)) return fail(kNoDataChunk);
  if (b == 0) return put(&b, 1);
  carried_byte_ = b;
  return true;
}

bool Transcription::read_chunk_id(unsigned char (&id)[4]) {
  if (carried_byte_ < 0) return in_.read_exact(id, 4);
  id[0] = static_cast<unsigned char>(carried_byte_);
  carried_byte_ = -1;
  return in_.read_exact(id + 1, 3);
}

std::optional<Header> Transcription::chunks_until_data() {
  for (;;) {
    unsigned char id[4];
    if (!read_chunk_id(id)) {
      fail(kNoDataChunk);
      return std::nullopt;
    }
    if (!put(id, 4)) return std::nullopt;

    std::uint32_t size = 0;
    if (!read_u32(size)) {
      fail(kNoChunkSize);
      return std::nullopt;
    }

    if (is_id(id, "data")) {
      Header h{bytes_per_sample_, size, out_.position()};
      if (!put_u32(rescale_data_size(size, bytes_per_sample_))) return std::nullopt;
      return h;
    }
    if (!put_u32(size) || !copy_body(size, false) || !skip_pad_after(size)) return std::nullopt;
  }
}

std::optional<Header> Transcription::run() {
  if (!riff_and_wave() || !format_fields()) return std::nullopt;
  return chunks_until_data();
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
  return (in_size / bytes_per_sample) * 4u;
}

std::optional<Header> transcribe_header(Reader& in, Writer& out, std::FILE* console) {
  return Transcription(in, out, console).run();
}

}  // namespace velkoran::wave
