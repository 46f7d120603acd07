#include "prep/relay.hpp"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "wave/handoff.hpp"
#include "wave/interrupt.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace velkoran::prep {
namespace {

// The stream layer's own: how a read or a write stopped.
using WaveStop = ::velkoran::Stop;
using WaveOutcome = ::velkoran::Outcome;
using wave::is_id;
using wave::load_u16;
using wave::load_u32;

constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// The sub-formats of WAVE_FORMAT_EXTENSIBLE: KSDATAFORMAT_SUBTYPE_PCM and
// _IEEE_FLOAT, as their GUIDs stand in the file.
constexpr unsigned char kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr unsigned char kFloatGuid[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                          0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT: what plain stereo means anyway.
constexpr std::uint32_t kFrontPair = 0x3;
constexpr std::uint32_t kPlainFormatSize = 16;
// Larger than any format chunk or ds64 chunk a writer makes: past it, the
// chunk is damage, not a format.
constexpr std::uint32_t kMaxSmallChunk = 64 * 1024;
// Bytes copied between two looks at whether a signal asked the run to stop.
constexpr std::uint64_t kCopyPiece = 1024 * 1024;

std::uint64_t load_u64(const unsigned char* p) {
  return std::uint64_t{load_u32(p)} | (std::uint64_t{load_u32(p + 4)} << 32);
}

// A chunk that stood before the format chunk, to be written after it.
struct Held {
  unsigned char header[8];
  std::uint32_t size;
  std::uint64_t body_at;  // where its body starts, in an input that is a file
  std::string body;       // its body, from a pipe
  int pad;                // the pad byte as it stood, or -1 where it was left out
};

class Relay {
 public:
  Relay(wave::Reader& in, wave::Writer& out, Changes& changes)
      : in_(in), out_(out), changes_(changes), file_(in.length().has_value()) {}

  Outcome run() {
    Stop s = riff_header();
    if (!s) s = chunks_until_format();
    if (!s) s = check_format();
    if (!s && plain()) return copy_unchanged().value_or(Outcome::kCopied);
    if (!s) s = format_and_held();
    if (!s) s = chunks_until_data();
    if (!s) s = riff_size();
    return s.value_or(Outcome::kWritten);
  }

 private:
  // How a step that read or wrote short ends the run.
  Stop stopped(const WaveStop& s, Outcome at_end) const {
    if (wave::stop_requested()) return Outcome::kInterrupted;
    if (!s) return {};
    switch (s->kind) {
      case WaveOutcome::kWriteFailed:
        return Outcome::kWriteFailed;
      case WaveOutcome::kTooLong:
        return Outcome::kTooLong;
      case WaveOutcome::kReadFailed:
        return Outcome::kReadFailed;
      default:
        return at_end;
    }
  }
  Stop read(unsigned char* p, std::size_t n, Outcome at_end) {
    if (in_.read_exact(p, n)) return stopped({}, at_end);
    return stopped(in_.short_read(WaveOutcome::kConverted), at_end);
  }
  Stop write(const void* p, std::size_t n) {
    if (out_.write(static_cast<const unsigned char*>(p), n)) return {};
    return stopped(out_.failure(), Outcome::kWriteFailed);
  }
  Stop write_u16(std::uint16_t v) {
    unsigned char b[2];
    wave::store_u16(b, v);
    return write(b, sizeof b);
  }
  Stop write_u32(std::uint32_t v) {
    unsigned char b[4];
    wave::store_u32(b, v);
    return write(b, sizeof b);
  }
  // Carries up to n bytes over, a piece at a time through a buffer of its
  // own (large pieces move straight between the files and it); `cut` tells
  // whether the input ended first.
  Stop copy(std::uint64_t n, bool& cut) {
    cut = false;
    if (!piece_) piece_ = std::make_unique<unsigned char[]>(kCopyPiece);
    while (n != 0) {
      const std::size_t want = static_cast<std::size_t>(n < kCopyPiece ? n : kCopyPiece);
      const std::size_t got = in_.read(piece_.get(), want);
      if (got != 0) {
        if (Stop s = write(piece_.get(), got)) return s;
      }
      if (wave::stop_requested()) return Outcome::kInterrupted;
      if (got != want) {
        if (in_.failed()) return Outcome::kReadFailed;
        cut = true;
        return {};
      }
      n -= got;
    }
    return {};
  }
  // Everything up to the end of the input.
  Stop copy_rest() {
    bool cut = false;
    return copy(UINT64_MAX, cut);
  }
  // A chunk's id and size; `at_end` where the input ends before them.
  Stop chunk_header(unsigned char (&h)[8], std::uint32_t& size, Outcome at_end) {
    if (Stop s = read(h, sizeof h, at_end)) return s;
    size = load_u32(h + 4);
    return {};
  }
  // The pad after a body of odd size: as it stands, or -1 where the writer
  // left it out.
  int read_pad(std::uint32_t size) {
    if (size % 2 == 0 || !wave::pad_follows(in_)) return -1;
    unsigned char b = 0;
    in_.read_exact(&b, 1);  // it is there: pad_follows saw it
    return b;
  }
  Stop write_pad(std::uint32_t size, int pad) {
    if (size % 2 == 0) return {};
    if (pad < 0) ++changes_.pads_added;
    const unsigned char b = static_cast<unsigned char>(pad < 0 ? 0 : pad);
    return write(&b, 1);
  }

  Stop riff_header();
  Stop chunks_until_format();
  Stop check_format();
  bool plain() const { return !rf64_ && held_.empty() && !ds64_ && !extensible_; }
  Stop copy_unchanged();
  Stop format_and_held();
  Stop chunks_until_data();
  Stop data_chunk(const unsigned char* header);
  Stop riff_size();

  wave::Reader& in_;
  wave::Writer& out_;
  Changes& changes_;
  const bool file_;  // the input can be repositioned and read twice
  std::unique_ptr<unsigned char[]> piece_;

  unsigned char riff_[12] = {};
  bool rf64_ = false;
  std::uint64_t riff_size_ = 0;  // the input's, from ds64 for RF64
  bool ds64_ = false;
  std::uint64_t ds64_data_size_ = 0;
  std::vector<Held> held_;
  std::size_t held_bytes_ = 0;
  unsigned char fmt_header_[8] = {};
  std::vector<unsigned char> fmt_;
  int fmt_pad_ = -1;
  bool extensible_ = false;
  std::uint64_t after_format_ = 0;  // where the input goes on after the format chunk
  // Where the data chunk, with its pad, ended in the input and the output;
  // none where the data ran to the end of the input.
  bool data_whole_ = false;
  std::uint64_t data_end_in_ = 0;
  std::uint64_t data_end_out_ = 0;
};

Stop Relay::riff_header() {
  if (Stop s = read(riff_, sizeof riff_, Outcome::kNotWave)) return s;
  if (is_id(riff_, "RIFX")) return Outcome::kRifx;
  rf64_ = is_id(riff_, "RF64") || is_id(riff_, "BW64");
  if ((!rf64_ && !is_id(riff_, "RIFF")) || !is_id(riff_ + 8, "WAVE")) return Outcome::kNotWave;
  riff_size_ = load_u32(riff_ + 4);
  return {};
}

Stop Relay::chunks_until_format() {
  for (;;) {
    unsigned char h[8];
    std::uint32_t size = 0;
    if (Stop s = chunk_header(h, size, Outcome::kNoFormat)) return s;
    if (is_id(h, "fmt ") || is_id(h, "ds64")) {
      const bool format = is_id(h, "fmt ");
      if (size > kMaxSmallChunk || size < (format ? kPlainFormatSize : 24)) {
        return Outcome::kNotWave;
      }
      std::vector<unsigned char> body(size);
      if (Stop s = read(body.data(), size, Outcome::kNoFormat)) return s;
      const int pad = read_pad(size);
      if (!format) {
        // Only the sizes of an RF64 file: the RIFF chunk's and the data chunk's.
        ds64_ = true;
        riff_size_ = load_u64(body.data());
        ds64_data_size_ = load_u64(body.data() + 8);
        continue;
      }
      std::memcpy(fmt_header_, h, sizeof h);
      fmt_ = std::move(body);
      fmt_pad_ = pad;
      after_format_ = in_.position();
      return {};
    }
    Held c{{}, size, in_.position(), {}, -1};
    std::memcpy(c.header, h, sizeof h);
    if (file_) {
      // Passed over now, read again once the format chunk is written.
      const std::optional<std::uint64_t> length = in_.length();
      if (c.body_at + size > *length) return Outcome::kNoFormat;
      if (!in_.seek(c.body_at + size)) return Outcome::kReadFailed;
    } else {
      held_bytes_ += size;
      if (held_bytes_ > kMaxHeld) return Outcome::kTooMuchBeforeData;
      c.body.resize(size);
      if (Stop s =
              read(reinterpret_cast<unsigned char*>(c.body.data()), size, Outcome::kNoFormat)) {
        return s;
      }
    }
    c.pad = read_pad(size);
    held_.push_back(std::move(c));
  }
}

Stop Relay::check_format() {
  const unsigned char* f = fmt_.data();
  const std::uint16_t tag = load_u16(f);
  const std::uint16_t channels = load_u16(f + 2);
  const std::uint16_t block_align = load_u16(f + 12);
  const std::uint16_t bits = load_u16(f + 14);
  if (tag == kTagExtensible) {
    // cbSize 22: valid bits, the channel mask and the sub-format's GUID.
    if (fmt_.size() < 40 || load_u16(f + 16) < 22) return Outcome::kNotWave;
    if (std::memcmp(f + 24, kFloatGuid, 16) == 0) return Outcome::kFloat;
    if (std::memcmp(f + 24, kPcmGuid, 16) != 0) return Outcome::kExtensibleNotPcm;
    extensible_ = true;
  } else if (tag == kTagFloat) {
    return Outcome::kFloat;
  } else if (tag != kTagPcm) {
    return Outcome(Outcome::kNotPcm, tag);
  }
  if (channels == 1) return Outcome::kMono;
  if (channels != wave::kChannels) return Outcome(Outcome::kChannels, channels);
  if (block_align != 4 && block_align != 6) return Outcome(Outcome::kWidth, bits);
  if (extensible_) {
    // The container's bits must be the block's: 24 bits in 32 is another width.
    if (bits != block_align * 8 / wave::kChannels) return Outcome(Outcome::kWidth, bits);
    const std::uint32_t mask = load_u32(f + 20);
    if (mask != 0 && mask != kFrontPair) return Outcome(Outcome::kChannelMask, mask);
  }
  return {};
}

Stop Relay::copy_unchanged() {
  if (Stop s = write(riff_, sizeof riff_)) return s;
  if (Stop s = write(fmt_header_, sizeof fmt_header_)) return s;
  if (Stop s = write(fmt_.data(), fmt_.size())) return s;
  if (fmt_pad_ >= 0) {
    const unsigned char b = static_cast<unsigned char>(fmt_pad_);
    if (Stop s = write(&b, 1)) return s;
  }
  return copy_rest();
}

Stop Relay::format_and_held() {
  changes_.rf64 = rf64_;
  // The RIFF size is set once the whole file is written.
  if (Stop s = write("RIFF\0\0\0\0WAVE", 12)) return s;
  if (extensible_) {
    changes_.extensible = true;
    const unsigned char* f = fmt_.data();
    if (Stop s = write("fmt ", 4)) return s;
    if (Stop s = write_u32(kPlainFormatSize)) return s;
    if (Stop s = write_u16(kTagPcm)) return s;
    // Channels, rate, byte rate, block alignment and bits, as they stand.
    if (Stop s = write(f + 2, 14)) return s;
  } else {
    if (Stop s = write(fmt_header_, sizeof fmt_header_)) return s;
    if (Stop s = write(fmt_.data(), fmt_.size())) return s;
    if (Stop s = write_pad(static_cast<std::uint32_t>(fmt_.size()), fmt_pad_)) return s;
  }
  changes_.chunks_moved = static_cast<unsigned>(held_.size());
  for (const Held& c : held_) {
    if (Stop s = write(c.header, sizeof c.header)) return s;
    if (file_) {
      bool cut = false;
      if (!in_.seek(c.body_at)) return Outcome::kReadFailed;
      if (Stop s = copy(c.size, cut)) return s;
      if (cut) return Outcome::kReadFailed;  // the file shrank under us
    } else if (Stop s = write(c.body.data(), c.body.size())) {
      return s;
    }
    if (Stop s = write_pad(c.size, c.pad)) return s;
  }
  if (file_ && !held_.empty() && !in_.seek(after_format_)) return Outcome::kReadFailed;
  return {};
}

Stop Relay::chunks_until_data() {
  for (;;) {
    unsigned char h[8];
    std::uint32_t size = 0;
    if (Stop s = chunk_header(h, size, Outcome::kNoData)) return s;
    if (is_id(h, "data")) return data_chunk(h);
    bool cut = false;
    if (is_id(h, "ds64")) {
      // Its sizes, after the format chunk, are of no use: dropped.
      if (!in_.skip(size)) return Outcome::kNoData;
      read_pad(size);
      continue;
    }
    if (Stop s = write(h, sizeof h)) return s;
    if (Stop s = copy(size, cut)) return s;
    if (cut) return Outcome::kNoData;
    if (Stop s = write_pad(size, read_pad(size))) return s;
  }
}

Stop Relay::data_chunk(const unsigned char* header) {
  std::uint32_t size = load_u32(header + 4);
  if (rf64_ && size == wave::kUnknownDataSize && ds64_) {
    if (ds64_data_size_ > wave::kUnknownDataSize - 1) return Outcome::kTooLong;
    size = static_cast<std::uint32_t>(ds64_data_size_);
  }
  if (Stop s = write(header, 4)) return s;
  if (Stop s = write_u32(size)) return s;
  // A data chunk whose length is unknown runs to the end of the input.
  if (wave::length_unknown(size)) return copy_rest();
  bool cut = false;
  if (Stop s = copy(size, cut)) return s;
  if (cut) return {};  // a recording cut short: all there is was carried over
  if (Stop s = write_pad(size, read_pad(size))) return s;
  data_whole_ = true;
  data_end_in_ = in_.position();
  data_end_out_ = out_.position();
  // Chunks after the data, and bytes after the RIFF chunk, as they stand.
  return copy_rest();
}

// The output's RIFF chunk ends where the input's did, relative to the data,
// where that is believable (between the data and the end of the input);
// else at the end of the output.
Stop Relay::riff_size() {
  const std::uint64_t length = out_.position();
  const std::uint64_t riff_end = 8 + riff_size_;
  std::uint64_t out_end = length;
  if (data_whole_ && riff_end >= data_end_in_ && riff_end < in_.position()) {
    out_end = riff_end - data_end_in_ + data_end_out_;
  }
  if (out_.seek(4) != wave::Writer::Seek::kMoved) return Outcome::kWriteFailed;
  return write_u32(static_cast<std::uint32_t>(out_end - 8));
}

}  // namespace

Outcome relay(wave::Reader& in, wave::Writer& out, Changes& changes) {
  return Relay(in, out, changes).run();
}

}  // namespace velkoran::prep
