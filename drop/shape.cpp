#include "drop/shape.hpp"

#include <cstring>

#include "wave/between_passes.hpp"
#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/le.hpp"

namespace velkoran::drop {

Shape::Shape(std::FILE* f, std::uint64_t length, unsigned char* buffer, bool true_sizes)
    : rest_at(length), in_(f, buffer), walk_(in_), length_(length), true_sizes_(true_sizes) {
  unsigned char head[wave::kRiffHeaderBytes];
  const bool read = in_.read_exact(head, sizeof head) && wave::is_id(head + 8, "WAVE");
  rf64_ = read && (wave::is_id(head, "RF64") || wave::is_id(head, "BW64"));
  wave_ = rf64_ || (read && wave::is_id(head, "RIFF"));
  if (wave_) riff_size = wave::load_u32(head + 4);
}

std::uint16_t Shape::encoding() const {
  return tag == wave::kTagExtensible ? sub_format : tag;
}

bool Shape::next(wave::ChunkHeader& h) {
  if (entered_) {
    entered_ = false;
    ended_ = !walk_.skip();
  }
  while (wave_ && !ended_) {
    const std::uint64_t at = in_.position();
    if (!walk_.next(h)) {
      rest_at = at;
      break;
    }
    if (h.is("data") && !data_size) {
      data_at = in_.position();
      data_header_size = h.size();
      // RF64's data size is its ds64 chunk's, whatever the 32-bit one says.
      const std::uint64_t size = rf64_ && ds64_data_ ? *ds64_data_ : h.size();
      // A recording's 0 or 0xFFFFFFFF (ds64's too) says its samples run to
      // the end.
      if (!true_sizes_ && size <= wave::kUnknownDataSize &&
          wave::length_unknown(static_cast<std::uint32_t>(size))) {
        data_end = length_;
        break;
      }
      data_size = size;
      // Where the samples and their pad end; the file's end, where they are
      // cut short.
      walk_.enter(*data_size);
      const bool whole = walk_.skip();
      data_end = whole ? in_.position() : length_;
      if (!whole) break;
      continue;
    }
    if (h.is("fmt ") && h.size() >= wave::kFixedFormatBytes && !format_) {
      // It may end before the bits per sample (14 bytes), and its output
      // then too.
      format_body.assign(h.size() < kFormatKept ? h.size() : kFormatKept, 0);
      if (walk_.read(format_body.data(), format_body.size()) != format_body.size()) break;
      format_size = h.size();
      unsigned char fmt[wave::kExtensibleFormatBytes] = {};
      const std::size_t n = h.size() < sizeof fmt ? h.size() : sizeof fmt;
      std::memcpy(fmt, format_body.data(), n);
      format_ = true;
      tag = wave::load_u16(fmt);
      channels = wave::load_u16(fmt + 2);
      rate = wave::load_u32(fmt + 4);
      byte_rate = wave::load_u32(fmt + 8);
      block_align = wave::load_u16(fmt + 12);
      if (n >= 16) bits = wave::load_u16(fmt + 14);
      if (tag == wave::kTagExtensible && n == sizeof fmt) {
        mask = wave::load_u32(fmt + wave::kMaskAt);
        const unsigned char* guid = fmt + wave::kSubFormatAt;
        sub_format = std::memcmp(guid, wave::kFloatGuid, 16) == 0 ? wave::kTagFloat
                     : std::memcmp(guid, wave::kPcmGuid, 16) == 0 ? wave::kTagPcm
                                                                  : 0;
      }
    } else if (rf64_ && h.is("ds64") && !data_size) {
      // Each one before the data states the sizes (the last one holds), and
      // is dropped; after the data, it is a chunk like any other.
      unsigned char sizes[wave::kDs64SizesBytes];
      if (h.size() < sizeof sizes || walk_.read(sizes, sizeof sizes) != sizeof sizes) break;
      const wave::Ds64 ds64 = wave::read_ds64(sizes);
      ds64_data_ = ds64.data;
      ds64_riff = ds64.riff;
      ds64_frames = ds64.frames;
    } else {
      // Kept, and listed even where its body is cut short; an MD5
      // chunk's digest noted.
      chunk_at_ = at;
      if (wave::is_digest(h)) {
        wave::Digest d{};
        digest_held = walk_.read(d.data(), d.size());
        if (digest_held == d.size()) digests.push_back(d);
      }
      entered_ = true;
      return true;
    }
    if (!walk_.skip()) break;
  }
  ended_ = true;
  return false;
}

std::size_t Shape::body(unsigned char* p, std::size_t n) {
  if (!entered_) return 0;
  const std::uint64_t left = walk_.left();
  return walk_.read(p, n < left ? n : static_cast<std::size_t>(left));
}

// Whether the output's format chunk states what the recording's
// conversion states: floats, of its rate and channels, 32 bits where the
// bits are stated, its channel mask where the output must state one; a
// copy's, the recording's own.
bool same_format(const Shape& output, const Shape& recording, bool copy) {
  if (copy) {
    return output.tag == recording.tag && output.sub_format == recording.sub_format &&
           output.mask == recording.mask && output.channels == recording.channels &&
           output.rate == recording.rate && output.block_align == recording.block_align &&
           output.bits == recording.bits && output.block_align != 0;
  }
  const bool extensible = wave::extensible_output(recording.channels, recording.mask);
  return output.encoding() == wave::kTagFloat &&
         (output.tag == wave::kTagExtensible) == extensible &&
         (!extensible || output.mask == recording.mask) && output.channels == recording.channels &&
         output.rate == recording.rate && output.bits.value_or(32) == 32 &&
         output.block_align != 0 &&
         output.block_align == std::uint32_t{wave::kOutBytesPerSample} * recording.channels;
}

}  // namespace velkoran::drop
