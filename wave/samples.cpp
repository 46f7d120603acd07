#include "wave/samples.hpp"

#include <cstring>
#include <memory>

#include "wave/le.hpp"
#include "wave/outcome.hpp"

namespace velkoran::wave {
namespace {

constexpr char kReadFailedMessage[] = "\nERROR: Failed to read input file.\n";
constexpr char kTooLongMessage[] = "\nERROR: Output exceeds the 4 GiB limit of a WAVE file.\n";

// Samples per block: 192 KiB of 24-bit input, 256 KiB of float output.
constexpr std::size_t kBlockSamples = 64 * 1024;
constexpr std::size_t kInBlockBytes = kBlockSamples * 3;
constexpr std::size_t kOutBlockBytes = kBlockSamples * 4;

// A header that was never finished (0) or that belongs to a stream
// (0xFFFFFFFF) says nothing about how long the data is.
bool size_is_known(std::uint32_t data_size) {
  return data_size != 0 && data_size != 0xFFFFFFFF;
}

class BodyPass {
 public:
  BodyPass(Reader& in, Writer& out, std::FILE* console, std::uint64_t max_length)
      : in_(in),
        out_(out),
        console_(console),
        max_length_(max_length),
        in_buf_(std::make_unique<unsigned char[]>(kInBlockBytes)),
        out_buf_(std::make_unique<unsigned char[]>(kOutBlockBytes)) {}

  Body run(const Header& header);

 private:
  Body fail(const char* message) {
    std::fputs(message, console_);
    return Body{kFailure, samples_};
  }
  // The input stopped short: its end is the normal end of the run, an error is not.
  Body input_stopped() {
    return in_.failed() ? fail(kReadFailedMessage) : Body{kSuccess, samples_};
  }

  // Writes n bytes of the output, unless they would make it too long for a WAVE file.
  const char* emit(const unsigned char* p, std::size_t n) {
    if (out_.position() + n > max_length_) return kTooLongMessage;
    return out_.write(p, n) ? nullptr : kWriteFailedMessage;
  }

  Reader& in_;
  Writer& out_;
  std::FILE* console_;
  std::uint64_t max_length_;
  std::unique_ptr<unsigned char[]> in_buf_;
  std::unique_ptr<unsigned char[]> out_buf_;
  std::uint64_t samples_ = 0;
};

Body BodyPass::run(const Header& header) {
  const unsigned width = header.bytes_per_sample;
  const bool bounded = size_is_known(header.data_size);
  std::uint64_t left = bounded ? header.data_size / width : UINT64_MAX;

  while (left != 0) {
    const std::size_t want = static_cast<std::size_t>(left < kBlockSamples ? left : kBlockSamples);
    const std::size_t got = in_.read_some(in_buf_.get(), want * width);
    // A partial sample at the end of the input is dropped.
    const std::size_t whole = got / width;
    if (width == 2) {
      pcm16_to_float(in_buf_.get(), whole, out_buf_.get());
    } else {
      pcm24_to_float(in_buf_.get(), whole, out_buf_.get());
    }
    if (const char* error = emit(out_buf_.get(), whole * 4)) return fail(error);
    samples_ += whole;
    left -= whole;
    if (got != want * width) return input_stopped();
  }
  if (!bounded) return Body{kSuccess, samples_};

  // The bytes of a partial sample at the end of the data chunk are dropped,
  // and so is the pad byte after a chunk of odd size: the output's data is
  // whole floats, never odd. A byte other than 0 there belongs to the next
  // chunk, from a writer that left the pad out.
  const std::size_t partial = header.data_size % width;
  if (in_.read_some(in_buf_.get(), partial) != partial) return input_stopped();
  if (header.data_size % 2 != 0) {
    unsigned char pad;
    if (!in_.read_exact(&pad, 1)) return input_stopped();
    if (pad != 0) {
      if (const char* error = emit(&pad, 1)) return fail(error);
    }
  }

  // Chunks after the data (LIST, cue, id3 and the like) are carried over
  // unchanged, to the end of the input.
  for (;;) {
    const std::size_t got = in_.read_some(in_buf_.get(), kInBlockBytes);
    if (const char* error = emit(in_buf_.get(), got)) return fail(error);
    if (got != kInBlockBytes) return input_stopped();
  }
}

}  // namespace

// The sample loops are built twice where the toolchain can pick a version at
// load time: once for any x86-64, and once for processors with AVX2, whose
// byte shuffles let the compiler vectorise the 24-bit loop. Both compute the
// same, exact values.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define VELKORAN_SAMPLE_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define VELKORAN_SAMPLE_LOOP
#endif

namespace {

// A sample becomes a float through its sample word: the sample's bytes fill
// the most significant bytes of a 32-bit word, the rest are zero, so the word
// is the sample times 2^16 (16-bit) or 2^8 (24-bit). The word times 2^-31 is
// then exactly s / 2^15 or s / 2^23: every such word converts to float
// without rounding, as it has at most 24 significant bits.
inline float from_word(std::uint32_t word) {
  std::int32_t s;  // int32_t is two's complement: the bits say the value
  std::memcpy(&s, &word, sizeof s);
  return static_cast<float>(s) * (1.0f / 2147483648.0f);
}

}  // namespace

VELKORAN_SAMPLE_LOOP
void pcm16_to_float(const unsigned char* in, std::size_t count, unsigned char* out) {
  for (std::size_t i = 0; i < count; ++i) {
    store_f32(out + 4 * i, from_word(static_cast<std::uint32_t>(load_u16(in + 2 * i)) << 16));
  }
}

VELKORAN_SAMPLE_LOOP
void pcm24_to_float(const unsigned char* in, std::size_t count, unsigned char* out) {
  // Four samples at a time, read as three 32-bit words and split with shifts:
  // the compiler vectorises that, and not a loop over 3-byte groups.
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const unsigned char* p = in + 3 * i;
    const std::uint32_t a = load_u32(p);
    const std::uint32_t b = load_u32(p + 4);
    const std::uint32_t c = load_u32(p + 8);
    unsigned char* o = out + 4 * i;
    store_f32(o, from_word(a << 8));
    store_f32(o + 4, from_word(((a >> 16) | (b << 16)) & 0xFFFFFF00u));
    store_f32(o + 8, from_word(((b >> 8) | (c << 24)) & 0xFFFFFF00u));
    store_f32(o + 12, from_word(c & 0xFFFFFF00u));
  }
  for (; i < count; ++i) {
    const unsigned char* p = in + 3 * i;
    store_f32(out + 4 * i, from_word((static_cast<std::uint32_t>(load_u16(p)) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 24)));
  }
}

Body convert_body(Reader& in, Writer& out, const Header& header, std::FILE* console,
                  std::uint64_t max_length) {
  return BodyPass(in, out, console, max_length).run(header);
}

}  // namespace velkoran::wave
