#include "drop/verify.hpp"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "drop/done.hpp"
#include "drop/shape.hpp"
#include "platform/files.hpp"
#include "wave/format.hpp"
#include "wave/header.hpp"
#include "wave/le.hpp"
#include "wave/md5.hpp"
#include "wave/riff.hpp"
#include "wave/stream.hpp"

namespace velkoran::drop {
namespace {

std::string at_byte(std::uint64_t at) {
  return "byte " + std::to_string(at);
}

// A chunk as a line names it: by its id, where that is printable.
std::string chunk_named(const wave::ChunkHeader& h) {
  std::string id;
  for (int i = 0; i < 4; ++i) {
    const unsigned char c = h.bytes[i];
    if (c < 0x20 || c > 0x7E || c == '"') return "a chunk";
    id += static_cast<char>(c);
  }
  return "its \"" + id + "\" chunk";
}

// The first byte at which n bytes at a and b differ (n where none does).
std::size_t first_difference(const unsigned char* a, const unsigned char* b, std::size_t n) {
  if (std::memcmp(a, b, n) == 0) return n;
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Every byte of two files, from their first.
std::string copy_differences(std::FILE* output, std::FILE* recording, wave::Workspace& w) {
  wave::Reader a(output, w.writer.get());
  wave::Reader b(recording, w.reader.get());
  for (std::uint64_t at = 0;;) {
    const std::size_t got = a.read(w.out_block.get(), wave::kInBlockBytes);
    const std::size_t also = b.read(w.in_block.get(), wave::kInBlockBytes);
    const std::size_t same =
        first_difference(w.out_block.get(), w.in_block.get(), got < also ? got : also);
    if (same < got && same < also) {
      return at_byte(at + same) + " of the copy is not its recording's";
    }
    if (got != also || a.failed() || b.failed()) {
      return a.failed() || b.failed()
                 ? "a read failed"
                 : "the copy is " + std::to_string(a.position()) +
                       " bytes long, where its recording is " + std::to_string(b.position());
    }
    if (got == 0) return "";
    at += got;
  }
}

// The frames of the recording's samples: the whole frames its data chunk
// states and holds.
std::uint64_t frames_of(const Shape& recording, std::uint64_t length) {
  return frames_written({recording.data_at, recording.data_size, recording.block_align}, length);
}

// The output's data size: the recording's frames, as floats.
std::string data_size_differences(const Shape& output, const Shape& recording,
                                  std::uint64_t recording_length) {
  const std::uint64_t frames = frames_of(recording, recording_length);
  const std::uint64_t data = frames * wave::kOutBytesPerSample * recording.channels;
  if (output.data_size == data) return "";
  return "its data chunk states " + std::to_string(output.data_size.value_or(0)) +
         " bytes, where its recording's " + std::to_string(frames) + " frames make " +
         std::to_string(data);
}

// What the output's format chunk carries over of the recording's: where
// both are of one kind and size, every byte past the fields the conversion
// states; and an output's extension, 32 valid bits (where the recording's
// was plain or re-laid, stated anew: of 22 bytes).
bool same_carried(const Shape& output, const Shape& recording) {
  const bool extensible = output.tag == wave::kTagExtensible;
  const std::vector<unsigned char>& a = output.format_body;
  const std::vector<unsigned char>& b = recording.format_body;
  if (extensible && (a.size() < wave::kExtensibleFormatBytes ||
                     wave::load_u16(&a[18]) != 8 * wave::kOutBytesPerSample)) {
    return false;
  }
  if (output.format_size != recording.format_size ||
      extensible != (recording.tag == wave::kTagExtensible)) {
    return !extensible || (output.format_size == wave::kExtensibleFormatBytes &&
                           wave::load_u16(&a[16]) == wave::kExtensionBytes);
  }
  for (std::size_t i = 16; i < a.size() && i < b.size(); ++i) {
    // The extension's valid bits and sub-format are stated anew.
    const bool stated = extensible && i >= 18 && i < wave::kExtensibleFormatBytes &&
                        (i < wave::kMaskAt || i >= wave::kSubFormatAt);
    if (!stated && a[i] != b[i]) return false;
  }
  return true;
}

// The kept chunks of both, side by side: the same headers and bodies in the
// same order; and the data chunk's size. The digests the output states are
// left in `output.digests`.
std::string chunk_differences(Shape& output, Shape& recording, std::uint64_t recording_length,
                              wave::Workspace& w) {
  unsigned char* const a = w.out_block.get();
  unsigned char* const b = w.in_block.get();
  bool sized = false;
  for (;;) {
    wave::ChunkHeader x;
    wave::ChunkHeader y;
    const bool more = output.next(x);
    const bool also = recording.next(y);
    // The data size first, once both walks have passed it (and the
    // recording's format): a wrong one leads the walk astray.
    if (!sized && output.data_size && recording.data_end && recording.has_format() &&
        recording.channels != 0) {
      sized = true;
      if (std::string why = data_size_differences(output, recording, recording_length);
          !why.empty()) {
        return why;
      }
    }
    if (more != also) {
      return more
                 ? chunk_named(x) + " at " + at_byte(output.chunk_at()) + " is not in its recording"
                 : "its recording's chunk at " + at_byte(recording.chunk_at()) + " is missing";
    }
    if (!more) return "";
    const std::string where = chunk_named(x) + " at " + at_byte(output.chunk_at());
    if (wave::is_digest(y) && wave::is_digest_or_junk(x)) {
      // An MD5 chunk stating the output's digest (checked with its data's
      // once that is read), or JUNK, all zeros; cut short only where the
      // recording's is, and then JUNK.
      const std::size_t got =
          x.is("MD5 ") ? output.digest_held : output.body(a, wave::kDigestBytes);
      if (got != recording.digest_held || (x.is("MD5 ") && got != wave::kDigestBytes)) {
        return where + " is not as long as its recording's";
      }
      if (x.is("MD5 ")) continue;
      if (first_difference(a, wave::Digest{}.data(), got) != got) {
        return where + ", in the place of its recording's MD5 chunk, is not all zeros";
      }
      continue;
    }
    if (std::memcmp(x.bytes, y.bytes, sizeof x.bytes) != 0) {
      return where + " is not its recording's chunk at " + at_byte(recording.chunk_at());
    }
    for (std::uint64_t into = 0;;) {
      const std::size_t got = output.body(a, wave::kInBlockBytes);
      const std::size_t held = recording.body(b, wave::kInBlockBytes);
      const std::size_t same = first_difference(a, b, got < held ? got : held);
      if (same != got || got != held) {
        return "byte " + std::to_string(into + same) + " of " + where + " is not its recording's";
      }
      if (got == 0) break;
      into += got;
    }
  }
}

// The bytes past the last whole chunk of each, byte for byte.
std::string tail_differences(std::FILE* output, const Shape& out_shape, std::uint64_t out_length,
                             std::FILE* recording, const Shape& shape, std::uint64_t length,
                             wave::Workspace& w) {
  const std::uint64_t n = out_length - out_shape.rest_at;
  if (n != length - shape.rest_at || n > 8) return "it does not end as its recording does";
  wave::Reader a(output, w.writer.get());
  wave::Reader b(recording, w.reader.get());
  unsigned char x[8];
  unsigned char y[8];
  const std::size_t k = static_cast<std::size_t>(n);
  if (!a.seek(out_shape.rest_at) || !b.seek(shape.rest_at) || !a.read_exact(x, k) ||
      !b.read_exact(y, k)) {
    return "a read failed";
  }
  if (std::memcmp(x, y, k) != 0) return "it does not end as its recording does";
  return "";
}

// The other sizes the output states of itself: its RIFF size (in RF64, in
// its ds64 chunk, with the data size and the frames); and that it holds its
// samples.
std::string size_differences(const Shape& output, std::uint64_t output_length,
                             const Shape& recording, std::uint64_t recording_length) {
  const std::uint64_t frames = frames_of(recording, recording_length);
  const std::uint64_t data = frames * wave::kOutBytesPerSample * recording.channels;
  if (output_length < output.data_at || output_length - output.data_at < data) {
    return "it ends within its samples, at " + at_byte(output_length);
  }
  // The bytes past the recording's RIFF chunk stand past the output's; but
  // where the recording's layout was re-laid, its chunks read past its
  // stated end are inside (the bytes themselves are compared either way).
  const std::uint64_t stated_riff =
      recording.is_rf64() && recording.ds64_riff ? *recording.ds64_riff : recording.riff_size;
  const std::uint64_t whole = output_length - 8;
  const std::uint64_t riff =
      whole - wave::bytes_after_riff(stated_riff, recording.data_end.value_or(0), recording_length);
  const bool rf64 = output.is_rf64();
  const std::uint64_t stated = rf64 ? output.ds64_riff.value_or(0) : output.riff_size;
  if ((stated != riff && stated != whole) || (rf64 && output.riff_size != wave::kUnknownDataSize)) {
    return "its RIFF size is not the " + std::to_string(riff) + " bytes it holds";
  }
  if (output.data_header_size != (rf64 ? wave::kUnknownDataSize : data) ||
      (rf64 && output.ds64_frames != frames)) {
    return "its data chunk's header does not state its " + std::to_string(data) + " bytes";
  }
  return "";
}

// The float a sample stands for, as its bits: the integer of its `width`
// bytes (8 bits unsigned, the others two's complement), over 2^(8 width - 1),
// which is exact in a float.
template <unsigned width>
std::uint32_t expected_bits(const unsigned char* p) {
  std::int32_t v = 0;
  if constexpr (width == 1) {
    v = std::int32_t{p[0]} - 128;
  } else if constexpr (width == 2) {
    v = static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8);
    v = (v ^ 0x8000) - 0x8000;
  } else {
    v = static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                  std::uint32_t{p[2]} << 16);
    v = (v ^ 0x800000) - 0x800000;
  }
  constexpr float kScale = width == 1 ? 1.0f / 128 : width == 2 ? 1.0f / 32768 : 1.0f / 8388608;
  const float f = static_cast<float>(v) * kScale;
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// The first of n samples whose float in `out` is not the one in `in`
// stands for (n where each is).
template <unsigned width>
std::size_t first_wrong(const unsigned char* in, const unsigned char* out, std::size_t n) {
  std::uint32_t wrong = 0;
  for (std::size_t i = 0; i < n; ++i) {
    wrong |= expected_bits<width>(in + width * i) ^ wave::load_u32(out + 4 * i);
  }
  if (wrong == 0) return n;
  std::size_t i = 0;
  while (expected_bits<width>(in + width * i) == wave::load_u32(out + 4 * i)) ++i;
  return i;
}

std::size_t first_wrong(unsigned width, const unsigned char* in, const unsigned char* out,
                        std::size_t n) {
  return width == 1   ? first_wrong<1>(in, out, n)
         : width == 2 ? first_wrong<2>(in, out, n)
                      : first_wrong<3>(in, out, n);
}

// Every sample of `frames`, and the output's data's digest where it states
// one.
std::string sample_differences(std::FILE* output, const Shape& out_shape, std::FILE* recording,
                               const Shape& shape, std::uint64_t frames, wave::Workspace& w) {
  const unsigned channels = shape.channels;
  const unsigned width = shape.block_align / channels;
  if (width < 1 || width > 3) return "its recording's samples are not of 8, 16 or 24 bits";
  wave::Reader a(output, w.writer.get());
  wave::Reader b(recording, w.reader.get());
  if (!a.seek(out_shape.data_at) || !b.seek(shape.data_at)) return "a read failed";
  const bool digest = !out_shape.digests.empty();
  wave::Md5 md5;
  const std::size_t block = wave::kBlockSamples / channels * channels;
  for (std::uint64_t done = 0; done < frames * channels;) {
    const std::uint64_t left = frames * channels - done;
    const std::size_t n = static_cast<std::size_t>(left < block ? left : block);
    if (!a.read_exact(w.out_block.get(), 4 * n) || !b.read_exact(w.in_block.get(), width * n)) {
      return "a read failed";
    }
    const std::size_t i = first_wrong(width, w.in_block.get(), w.out_block.get(), n);
    if (i != n) {
      const std::uint64_t sample = done + i;
      return "its sample of channel " + std::to_string(sample % channels + 1) + " in frame " +
             std::to_string(sample / channels) + ", at " + at_byte(out_shape.data_at + 4 * sample) +
             ", is not its recording's";
    }
    if (digest) md5.update(w.out_block.get(), 4 * n);
    done += n;
  }
  if (digest) {
    const wave::Digest own = md5.finish();
    for (const wave::Digest& d : out_shape.digests) {
      if (d != own) return "its MD5 chunk states a digest its data does not have";
    }
  }
  return "";
}

}  // namespace

std::string differences(std::FILE* output, std::FILE* recording, bool copy,
                        wave::Workspace& workspace) {
  const std::optional<platform::FileFacts> out = platform::file_facts(output);
  const std::optional<platform::FileFacts> in = platform::file_facts(recording);
  if (!out || !in) return "a file could not be read";
  std::rewind(output);
  std::rewind(recording);
  std::string why;
  if (copy) {
    why = copy_differences(output, recording, workspace);
    std::rewind(recording);
    return why;
  }
  Shape converted(output, out->size, workspace.writer.get(), true);
  Shape s(recording, in->size, workspace.reader.get(), false);
  why = converted.is_wave() ? chunk_differences(converted, s, in->size, workspace)
                            : "it is no WAVE file";
  if (why.empty() &&
      (!converted.has_format() || !s.has_format() || s.channels == 0 || s.data_at == 0 ||
       !same_format(converted, s, false) || !same_carried(converted, s) ||
       (converted.byte_rate != wave::rescale_byte_rate(s.byte_rate, s.block_align / s.channels) &&
        converted.byte_rate != std::uint64_t{s.rate} * converted.block_align))) {
    why = "its format chunk does not state its recording's conversion";
  }
  if (why.empty()) why = data_size_differences(converted, s, in->size);
  if (why.empty()) why = size_differences(converted, out->size, s, in->size);
  if (why.empty()) {
    why = tail_differences(output, converted, out->size, recording, s, in->size, workspace);
  }
  if (why.empty()) {
    why = sample_differences(output, converted, recording, s, frames_of(s, in->size), workspace);
  }
  std::rewind(recording);
  return why;
}

}  // namespace velkoran::drop
