#include "wave/samples.hpp"

#include <cstring>
#include <memory>

#include "wave/interrupt.hpp"
#include "wave/le.hpp"
#include "wave/md5.hpp"
#include "wave/riff.hpp"

namespace velkoran::wave {
namespace {

static_assert(kBlockSamples >= kMaxChannels, "a block holds a frame of the most channels");
static_assert(kOutBlockBytes == kBlockSamples * kOutBytesPerSample, "a block of floats");

// An MD5 chunk of 16 bytes after the data, its header read: the output's
// digest where the input's data had the digest it states, else a JUNK chunk
// of zeros.
Stop digest_after_data(Reader& in, ChunkWalk& walk, Writer& out, Converted& converted,
                       Observer& observer) {
  Digest stated{};
  const std::size_t got = walk.read(stated.data(), stated.size());
  const bool true_digest =
      got == stated.size() && converted.digested && stated == converted.in_digest;
  if (got == stated.size() && !true_digest) observer.stale_digest();
  const Digest zeros{};
  unsigned char header[8] = {'J', 'U', 'N', 'K'};
  if (true_digest) std::memcpy(header, "MD5 ", 4);
  store_u32(header + 4, kDigestBytes);
  if (Halted x = out.write(header, sizeof header)) return stop_for(x);
  if (Halted x = out.write(true_digest ? converted.out_digest.data() : zeros.data(), got)) {
    return stop_for(x);
  }
  if (got != stated.size()) return unless_ended(in.why_short());
  converted.whole_end = out.position();
  return {};
}

// Carries over, unchanged, every byte after the data chunk (and its pad) to
// the end of the input. It goes a chunk at a time only to know where each
// ends, so that a run stopped inside one keeps the chunks before it whole;
// bytes that are no chunk (a stray tail) are carried over all the same.
Stop copy_after_data(Reader& in, Writer& out, Converted& converted, Observer& observer) {
  ChunkWalk walk(in);
  for (;;) {
    ChunkHeader h;
    std::size_t got = 0;
    const bool whole = walk.next(h, &got);
    if (whole && is_digest(h)) {
      if (Stop s = digest_after_data(in, walk, out, converted, observer)) return s;
      continue;
    }
    if (Halted x = out.write(h.bytes, got)) return stop_for(x);
    if (!whole) return unless_ended(in.why_short());
    if (Halted x = walk.copy(out)) return unless_ended(x);
    if (Halted x = walk.copy_pad(out)) return unless_ended(x);
    converted.whole_end = out.position();
  }
}

}  // namespace

Stop convert_samples(Reader& in, Writer& out, const Handoff& handoff, Converted& converted,
                     Observer& observer, Workspace* workspace) {
  converted = Converted();
  converted.whole_end = out.position();
  const unsigned width = handoff.bytes_per_sample;
  const unsigned channels = handoff.channels;
  // The header hands over only these; a hand-off without a width or a
  // channel is no reason to divide by zero.
  if (width < 1 || width > 3 || channels < 1 || channels > kMaxChannels) {
    return End::kNotStereo16Or24;
  }
  const unsigned frame = channels * width;
  // A block of whole frames.
  const std::size_t block = kBlockSamples / channels * channels;
  // The blocks of a run of many files are reused; one file's are its own.
  std::unique_ptr<unsigned char[]> own_in;
  std::unique_ptr<unsigned char[]> own_out;
  if (workspace == nullptr) {
    own_in.reset(new unsigned char[kInBlockBytes]);
    own_out.reset(new unsigned char[kOutBlockBytes]);
  }
  unsigned char* const in_block = workspace != nullptr ? workspace->in_block.get() : own_in.get();
  unsigned char* const out_block =
      workspace != nullptr ? workspace->out_block.get() : own_out.get();
  const std::uint32_t declared = handoff.declared_data_size;
  const bool bounded = !length_unknown(declared);
  const std::optional<std::uint64_t> length = in.length();
  // Samples still to convert, in whole frames.
  std::uint64_t left = bounded ? std::uint64_t{declared / frame} * channels : UINT64_MAX;
  // The digests of both data chunks, where an MD5 chunk asks for them.
  Md5 in_md5;
  Md5 out_md5;
  const auto digested = [&] {
    converted.digested = true;
    converted.in_digest = in_md5.finish();
    converted.out_digest = out_md5.finish();
  };

  while (left != 0) {
    const std::size_t want = static_cast<std::size_t>(left < block ? left : block);
    const std::size_t got = in.read(in_block, want * width);
    // A partial frame at the end of the input is dropped: a lone left sample,
    // the bytes of a partial sample.
    const std::size_t whole = got / frame * channels;
    if (width == 1) {
      pcm8_to_float(in_block, whole, out_block);
    } else if (width == 2) {
      pcm16_to_float(in_block, whole, out_block);
    } else {
      pcm24_to_float(in_block, whole, out_block);
    }
    converted.offered = converted.samples + whole;
    if (handoff.digests) {
      in_md5.update(in_block, got);
      out_md5.update(out_block, whole * kOutBytesPerSample);
    }
    if (Halted h = out.write(out_block, whole * kOutBytesPerSample)) return stop_for(h);
    converted.samples += whole;
    converted.whole_end = out.position();
    left -= whole;
    // The end of the input, within the data or where a length-unknown data
    // chunk ends: nothing follows. Only the latter is the whole data chunk.
    if (got != want * width) {
      if (handoff.digests && !bounded && in.why_short() == Halt::kEnded) digested();
      return unless_ended(in.why_short());
    }
    // A signal asks the run to end: it does so at a block's edge, once what
    // had arrived is converted.
    if (stop_requested()) return End::kInterrupted;
    observer.advance(in.position(), length);
  }

  // The bytes of a partial frame at the end of the data chunk are dropped,
  // and so is the pad byte after a chunk of odd size: the output's data is
  // whole frames, never odd.
  ChunkWalk data(in);
  data.enter(declared, declared % frame);
  if (handoff.digests) {
    const std::size_t part = data.read(in_block, static_cast<std::size_t>(data.left()));
    in_md5.update(in_block, part);
    if (part == declared % frame) digested();
  }
  if (!data.skip()) return unless_ended(in.why_short());

  // Chunks after the data (LIST, cue, id3 and the like) are carried over
  // unchanged, to the end of the input; so are bytes after the RIFF chunk.
  const std::uint64_t data_end = in.position();
  if (Stop s = copy_after_data(in, out, converted, observer)) return s;
  converted.after_riff = bytes_after_riff(handoff.riff_size, data_end, in.position());
  return {};
}

OutputEstimate estimate_output(const Handoff& handoff, std::uint64_t header_length,
                               std::uint64_t input_length, bool pad_after_data) {
  const unsigned frame = handoff.channels * handoff.bytes_per_sample;
  const std::uint32_t declared = handoff.declared_data_size;
  const std::uint64_t available = input_length > header_length ? input_length - header_length : 0;
  const bool bounded = !length_unknown(declared);
  const std::uint64_t data = bounded && declared < available ? declared : available;
  std::uint64_t after = available - data;
  // The pad after data of odd size, where there is one, is dropped.
  if (bounded && is_odd(declared) && after != 0 && pad_after_data) --after;
  return {header_length, data / frame * handoff.channels * kOutBytesPerSample, after};
}

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
// is the sample times 2^24 (8-bit), 2^16 (16-bit) or 2^8 (24-bit). The word
// times 2^-31 is then exactly s / 2^7, s / 2^15 or s / 2^23: every such word converts to float
// without rounding, as it has at most 24 significant bits.
inline float from_word(std::uint32_t word) {
  std::int32_t s;  // int32_t is two's complement: the bits say the value
  std::memcpy(&s, &word, sizeof s);
  return static_cast<float>(s) * (1.0f / 2147483648.0f);
}

}  // namespace

VELKORAN_SAMPLE_LOOP
void pcm8_to_float(const unsigned char* in, std::size_t count, unsigned char* out) {
  // Unsigned, 128 the silence: the top bit flipped, the byte is the signed
  // sample, at the word's top.
  for (std::size_t i = 0; i < count; ++i) {
    store_f32(out + 4 * i, from_word(static_cast<std::uint32_t>(in[i] ^ 0x80u) << 24));
  }
}

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

}  // namespace velkoran::wave
