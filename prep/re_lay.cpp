#include "prep/re_lay.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wave/between_passes.hpp"
#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/interrupt.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace velkoran::prep {
namespace {

using wave::ChunkHeader;
using wave::Halt;
using wave::Halted;
using wave::load_u16;
using wave::load_u32;

using wave::kFloatGuid;
using wave::kPcmGuid;
// SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT: what plain stereo means anyway.
constexpr std::uint32_t kFrontPair = 0x3;
constexpr std::uint32_t kPlainFormatSize = 16;
// The extensible format: no other format chunk's fields are read beyond
// its; the rest of a longer one is copied.
constexpr std::uint32_t kExtensibleSize = wave::kExtensibleFormatBytes;
using wave::kRiffHeaderBytes;

// What a halted read, write or copy ends the run with: `at_end` where the
// input ended first.
Outcome ending(Halt h, Outcome at_end) {
  switch (h) {
    case Halt::kEnded:
      return at_end;
    case Halt::kReadFailed:
      return Outcome::kReadFailed;
    case Halt::kWriteFailed:
      return Outcome::kWriteFailed;
    case Halt::kTooLong:
      return Outcome::kTooLong;
    case Halt::kStopped:
      break;
  }
  return Outcome::kInterrupted;
}

Stop stop_for(const Halted& h, Outcome at_end = Outcome::kWriteFailed) {
  if (!h) return {};
  return ending(*h, at_end);
}

// What is held of a pipe's chunks before the format chunk, in blocks of a
// MiB: growing it copies nothing, so it takes what it holds and a block.
class Held {
 public:
  std::uint64_t size() const { return size_; }
  void append(const unsigned char* p, std::size_t n) {
    while (n != 0) {
      std::size_t k = 0;
      unsigned char* to = room(k, n);
      std::memcpy(to, p, k);
      size_ += k;
      p += k;
      n -= k;
    }
  }
  // The next n bytes of the body the walk is in; false where fewer came.
  bool append_from(wave::ChunkWalk& walk, std::size_t n) {
    while (n != 0) {
      std::size_t k = 0;
      unsigned char* to = room(k, n);
      const std::size_t got = walk.read(to, k);
      size_ += got;
      if (got != k) return false;
      n -= k;
    }
    return true;
  }
  Halted write_to(wave::Writer& out) const {
    std::uint64_t left = size_;
    for (const auto& block : blocks_) {
      const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlock));
      if (Halted h = out.write(block.get(), k)) return h;
      left -= k;
    }
    return {};
  }

 private:
  static constexpr std::size_t kBlock = 1 << 20;
  // Where the next bytes go, and how many of `want` fit there.
  unsigned char* room(std::size_t& fit, std::size_t want) {
    const std::size_t used = static_cast<std::size_t>(size_ % kBlock);
    if (used == 0 && size_ / kBlock == blocks_.size()) {
      blocks_.emplace_back(new unsigned char[kBlock]);
    }
    fit = std::min(want, kBlock - used);
    return blocks_.back().get() + used;
  }
  std::vector<std::unique_ptr<unsigned char[]>> blocks_;
  std::uint64_t size_ = 0;
};

class ReLay {
 public:
  ReLay(wave::Reader& in, wave::Writer& out, Changes& changes, wave::Takes takes)
      : in_(in),
        walk_(in),
        out_(out),
        changes_(changes),
        file_(in.length().has_value()),
        any_(takes == wave::Takes::kAnyInteger) {}

  Outcome run() {
    Stop s = riff_header();
    if (!s) s = walk_to_format();
    if (!s) s = format_head();
    if (!s) s = check_format();
    if (!s) s = look_ahead();
    if (!s && plain()) return copy_plain().value_or(Outcome::kCopied);
    if (!s) s = format_chunk();
    if (!s) s = chunks_before_format();
    if (!s) s = chunks_after_format();
    if (!s) s = riff_size();
    return s.value_or(Outcome::kWritten);
  }

 private:
  // A read that came up short: `at_end` where the input ended there.
  Stop cut(Outcome at_end) const { return ending(in_.why_short(), at_end); }
  Stop write(const void* p, std::size_t n) {
    return stop_for(out_.write(static_cast<const unsigned char*>(p), n));
  }
  // The data chunk that stood before the format chunk states its size as
  // the re-laid file has it (RF64's from ds64), and its body is that long.
  void restate_data_size(ChunkHeader& h) {
    wave::store_u32(h.bytes + 4, data_before_size_);
    walk_.enter(data_before_size_);
  }
  // A stop requested between two chunks ends the run there.
  static Stop between_chunks() {
    if (wave::stop_requested()) return Outcome::kInterrupted;
    return {};
  }
  // Passes over the last `rest` bytes of a body of `size`, and its pad.
  bool skip_body(std::uint64_t size, std::uint64_t rest) {
    walk_.enter(size, rest);
    return walk_.skip();
  }
  // The pad after the body just taken, as the re-laid file has it: the one
  // that stood there, copied, or where the writer left it out, a 0 added.
  // In a file copied unchanged, a pad left out stays out.
  Stop pad(bool relaid) {
    if (!relaid) return stop_for(walk_.copy_pad(out_), Outcome::kNoData);
    const Pad p = take_pad();
    if (p == Pad::kNone) return {};
    if (p == Pad::kCut) return cut(Outcome::kNoData);
    const unsigned char zero = 0;
    return write(&zero, 1);
  }
  // The pad after the body just taken, in a re-laid file: consumed, and
  // counted where it was left out or was not 0. A chunk that moved stands
  // before another one now, against which a pad of another value could be
  // weighed as the first byte of its id: every pad there is written as 0,
  // so only whether one is due is told.
  enum class Pad { kNone, kDue, kCut };
  Pad take_pad() {
    unsigned char b = 0;
    switch (walk_.take_pad(b)) {
      case wave::ChunkWalk::Pad::kNone:
        return Pad::kNone;
      case wave::ChunkWalk::Pad::kLeftOut:
        ++changes_.pads_added;
        return Pad::kDue;
      case wave::ChunkWalk::Pad::kThere:
        if (b != 0) ++changes_.pads_zeroed;
        return Pad::kDue;
      case wave::ChunkWalk::Pad::kCut:
        break;
    }
    return Pad::kCut;
  }

  Stop riff_header();
  Stop walk_to_format();
  Stop ds64(const ChunkHeader& h);
  Stop data_before_format(ChunkHeader& h);
  Stop hold(const ChunkHeader& h);
  Stop format_head();
  Stop check_format();
  Stop look_ahead();
  bool tail_is_chunks(std::uint64_t from, std::uint64_t length, unsigned& chunks);
  Stop long_data();
  bool plain() const {
    return !rf64_ && format_at_ == kRiffHeaderBytes && (!extensible_ || keep_extensible_) &&
           !make_extensible_;
  }
  Stop extensible_format();
  Stop copy_plain();
  Stop format_as_it_stands(bool relaid);
  Stop format_chunk();
  Stop chunks_before_format();
  Stop chunks_after_format(bool plain = false);
  Stop data_chunk(const ChunkHeader& h, bool plain);
  Stop riff_size();

  wave::Reader& in_;
  wave::ChunkWalk walk_;  // every chunk's header, body and pad go through it
  wave::Writer& out_;
  Changes& changes_;
  const bool file_;  // the input can be repositioned and read twice
  const bool any_;   // velkoran-drop's recordings, any channels and 8 bits, are taken

  unsigned char riff_[kRiffHeaderBytes] = {};
  bool rf64_ = false;
  std::uint64_t riff_size_ = 0;  // the input's, from ds64 for RF64
  bool ds64_found_ = false;
  std::uint64_t ds64_data_size_ = 0;
  // A data chunk that stood before the format chunk, and the size it states.
  bool data_before_ = false;
  std::uint64_t data_before_at_ = 0;
  std::uint32_t data_before_size_ = 0;
  // What stood before the format chunk, from a pipe: headers, bodies, pads.
  Held held_;
  std::uint64_t format_at_ = 0;  // where the format chunk starts in the input
  std::uint32_t format_size_ = 0;
  unsigned char head_[kExtensibleSize] = {};
  std::uint32_t head_size_ = 0;  // bytes of the format chunk read into head_
  bool extensible_ = false;
  // For velkoran-drop: an extensible format chunk whose output states its
  // mask or its channels, kept as it stands; a plain one of more than two
  // channels, which the output must state so, written extensible.
  bool keep_extensible_ = false;
  bool make_extensible_ = false;
  std::uint64_t after_format_ = 0;  // where the input goes on after the format chunk
  // Where the data chunk, with its pad, ended in the input; none where the
  // data ran to the end of the input.
  bool data_whole_ = false;
  std::uint64_t data_end_in_ = 0;
  // RF64 data past what RIFF states, from a file: its size, and where the
  // chunks after it begin.
  bool past_ = false;
  std::uint64_t long_size_ = 0;
  std::uint64_t tail_at_ = 0;
  unsigned tail_chunks_ = 0;
};

Stop ReLay::riff_header() {
  if (!in_.read_exact(riff_, sizeof riff_)) return cut(Outcome::kNotWave);
  if (wave::is_id(riff_, "RIFX")) return Outcome::kRifx;
  rf64_ = wave::is_id(riff_, "RF64") || wave::is_id(riff_, "BW64");
  if ((!rf64_ && !wave::is_id(riff_, "RIFF")) || !wave::is_id(riff_ + 8, "WAVE")) {
    return Outcome::kNotWave;
  }
  if (rf64_) changes_.form = wave::is_id(riff_, "RF64") ? "RF64" : "BW64";
  riff_size_ = load_u32(riff_ + 4);
  return {};
}

// The first walk: up to the format chunk, reading only the ds64 chunk's
// sizes. From a file the other chunks are passed over (they are read again
// once the format chunk is written); from a pipe they are held.
Stop ReLay::walk_to_format() {
  for (;;) {
    if (Stop s = between_chunks()) return s;
    ChunkHeader h;
    if (!walk_.next(h)) return cut(Outcome::kNoFormat);
    if (h.is("fmt ")) {
      format_at_ = in_.position() - sizeof h.bytes;
      format_size_ = h.size();
      return {};
    }
    // A ds64 chunk states the sizes before the data; after it, it is a
    // chunk like any other.
    if (rf64_ && !data_before_ && h.is("ds64")) {
      if (Stop s = ds64(h)) return s;
      continue;
    }
    ++changes_.chunks_moved;
    // The first data chunk is the one; a later one is a chunk like any other.
    if (h.is("data") && !data_before_) {
      if (Stop s = data_before_format(h)) return s;
    }
    if (!file_) {
      if (Stop s = hold(h)) return s;
      continue;
    }
    // Its pad, where one is missing, is added (and counted) on the second walk.
    if (!walk_.skip()) return cut(Outcome::kNoFormat);
  }
}

// The sizes of an RF64 file: its RIFF chunk's and its data chunk's. The
// chunk itself is not written.
Stop ReLay::ds64(const ChunkHeader& h) {
  if (h.size() < wave::kDs64SizesBytes) return Outcome(Outcome::kBadDs64, h.size());
  unsigned char sizes[wave::kDs64SizesBytes];
  if (walk_.read(sizes, sizeof sizes) != sizeof sizes) return cut(Outcome::kNoData);
  if (!walk_.skip()) return cut(Outcome::kNoData);
  ds64_found_ = true;
  ++changes_.ds64_dropped;
  const wave::Ds64 ds64 = wave::read_ds64(sizes);
  riff_size_ = ds64.riff;
  ds64_data_size_ = ds64.data;
  return {};
}

// A data chunk before the format chunk moves with the others, its size as
// RF64's ds64 states it; with no length stated, where its samples end
// cannot be told once other chunks follow it.
Stop ReLay::data_before_format(ChunkHeader& h) {
  std::uint64_t size = h.size();
  if (rf64_ && ds64_found_) size = ds64_data_size_;
  if (size > wave::kUnknownDataSize) return Outcome::kTooLong;
  if (wave::length_unknown(static_cast<std::uint32_t>(size))) return Outcome::kDataWithoutLength;
  data_before_ = true;
  data_before_at_ = in_.position() - sizeof h.bytes;
  data_before_size_ = static_cast<std::uint32_t>(size);
  restate_data_size(h);
  changes_.data_at = in_.position();
  changes_.data_size = size;
  return {};
}

// From a pipe, a chunk before the format chunk is held whole, with its pad
// (as 0), up to kMaxHeld in all.
Stop ReLay::hold(const ChunkHeader& h) {
  const std::uint32_t size = h.size();
  if (held_.size() + sizeof h.bytes + std::uint64_t{size} + 1 > kMaxHeld) {
    return Outcome::kTooMuchBeforeData;
  }
  held_.append(h.bytes, sizeof h.bytes);
  if (!held_.append_from(walk_, size)) return cut(Outcome::kNoFormat);
  const Pad pad = take_pad();
  if (pad == Pad::kCut) return cut(Outcome::kNoFormat);
  const unsigned char zero = 0;
  if (pad == Pad::kDue) held_.append(&zero, 1);
  return {};
}

// The fields of the format chunk that tell what it is: all of them, for the
// extensible format; a longer chunk's rest is copied as it comes.
Stop ReLay::format_head() {
  if (format_size_ < wave::kFixedFormatBytes) {
    return Outcome(Outcome::kFormatTooShort, format_size_);
  }
  head_size_ = std::min(format_size_, kExtensibleSize);
  if (walk_.read(head_, head_size_) != head_size_) return cut(Outcome::kNoFormat);
  return {};
}

Stop ReLay::check_format() {
  const unsigned char* f = head_;
  const std::uint16_t tag = load_u16(f);
  const std::uint16_t channels = load_u16(f + 2);
  const std::uint16_t block_align = load_u16(f + 12);
  const wave::Takes takes = any_ ? wave::Takes::kAnyInteger : wave::Takes::kStereo;
  // The bits of each sample's container, the block's share of a channel.
  const unsigned width = 8 * wave::container_bytes(channels, block_align);
  if (tag == wave::kTagExtensible) {
    // cbSize 22: valid bits, the channel mask and the sub-format's GUID.
    if (format_size_ < kExtensibleSize || load_u16(f + 16) < wave::kExtensionBytes) {
      return Outcome(Outcome::kFormatTooShort, format_size_);
    }
    if (std::memcmp(f + wave::kSubFormatAt, kFloatGuid, 16) == 0) {
      return Outcome(Outcome::kFloat, width);
    }
    if (std::memcmp(f + wave::kSubFormatAt, kPcmGuid, 16) != 0) {
      return Outcome::kExtensibleNotPcm;
    }
    extensible_ = true;
  } else if (!wave::tag_taken(tag)) {
    return Outcome(Outcome::kNotPcm, tag);
  }
  if (!any_ && channels == 1) return Outcome::kMono;
  if (any_ ? channels == 0 || channels > wave::kMaxChannels : channels != wave::kChannels) {
    return Outcome(Outcome::kChannels, channels);
  }
  changes_.block_align = block_align;
  // The layouts taken, judged as velkoran judges them: by the block.
  if (wave::bytes_per_sample(channels, block_align, takes) == 0) {
    if (tag == wave::kTagFloat) return Outcome(Outcome::kFloat, width);
    if (width == 0) return Outcome(Outcome::kBlockAlign, block_align);
    return Outcome(Outcome::kWidth, width);
  }
  if (!extensible_) {
    make_extensible_ = any_ && channels > wave::kChannels;
  } else {
    // The container's bits must be the block's: 24 bits in 32 is another width.
    const std::uint16_t bits = load_u16(f + 14);
    if (bits != width) return Outcome(Outcome::kWidthAgainstBlock, bits, block_align);
    const std::uint32_t mask = load_u32(f + wave::kMaskAt);
    if (any_ && wave::extensible_output(channels, mask)) {
      keep_extensible_ = true;
      return {};
    }
    if (!any_ && mask != 0 && mask != kFrontPair) return Outcome(Outcome::kChannelMask, mask);
    const std::uint16_t valid_bits = load_u16(f + 18);
    if (valid_bits != 0 && valid_bits < bits) changes_.valid_bits = valid_bits;
    changes_.extension_dropped = format_size_ - kExtensibleSize;
  }
  return {};
}

// An RF64 file whose data passes what RIFF can state (its size past 32 bits,
// or the whole file past the writer's bound) is written with RIFF and data
// sizes that say "length unknown", which velkoran reads to the end of the
// file: so the chunks after the data must come before it. From a file, its
// chunk headers up to the data, and the chunks after it, are read ahead to
// know that, and that they are whole chunks, before anything is written;
// a pipe cannot be read twice.
Stop ReLay::look_ahead() {
  if (!rf64_ || data_before_) return {};
  if (!file_) {
    if (ds64_found_ && ds64_data_size_ >= wave::kUnknownDataSize) return Outcome::kLongFromAPipe;
    return {};
  }
  const std::uint64_t length = *in_.length();
  const std::uint64_t resume = in_.position();
  bool ds64 = ds64_found_;
  std::uint64_t size = ds64_data_size_;
  if (!skip_body(format_size_, format_size_ - head_size_)) return cut(Outcome::kNoFormat);
  for (;;) {
    ChunkHeader h;
    // No data chunk: the walk that writes says so.
    if (!walk_.next(h)) break;
    if (h.is("ds64") && h.size() >= wave::kDs64SizesBytes) {
      unsigned char sizes[wave::kDs64SizesBytes];
      if (walk_.read(sizes, sizeof sizes) != sizeof sizes) break;
      ds64 = true;
      size = wave::read_ds64(sizes).data;
    } else if (h.is("data")) {
      const std::uint64_t body_at = in_.position();
      const bool long_size = ds64 && size >= wave::kUnknownDataSize;
      if (!long_size && length <= out_.max_length()) break;
      // Without ds64, a size of 0 or 0xFFFFFFFF says the data runs to the end.
      if (!ds64) size = wave::length_unknown(h.size()) ? length - body_at : h.size();
      past_ = true;
      long_size_ = size;
      // (A size past what the file holds, however large, ends at its end.)
      tail_at_ = size < length - body_at ? body_at + size : length;
      if (!tail_is_chunks(tail_at_, length, tail_chunks_)) return Outcome::kLongWithStrayTail;
      break;
    }
    if (!walk_.skip()) break;
  }
  if (in_.failed()) return Outcome::kReadFailed;
  if (!in_.seek(resume)) return Outcome::kReadFailed;
  if (past_) out_.set_max_length(UINT64_MAX);  // the output says "length unknown"
  return {};
}

// True when the bytes from `from` (just after long data) to `length` are
// whole chunks, their pads after them, or nothing; `chunks` counts them.
bool ReLay::tail_is_chunks(std::uint64_t from, std::uint64_t length, unsigned& chunks) {
  chunks = 0;
  if (!in_.seek(from)) return false;
  if (!skip_body(long_size_, 0)) return false;
  tail_at_ = in_.position();
  while (in_.position() < length) {
    ChunkHeader h;
    if (!walk_.next(h) || !walk_.skip()) return false;
    ++chunks;
  }
  return true;
}

// The long data of an RF64 file, last: the chunks after it first, as they
// stand, then the data chunk, its size "length unknown", and every byte of
// its data; no pad follows what runs to the end of the file.
Stop ReLay::long_data() {
  changes_.past_riff = true;
  changes_.chunks_after_data_moved = tail_chunks_;
  const std::uint64_t body_at = in_.position();
  changes_.data_at = body_at;
  changes_.data_size = long_size_;
  if (!in_.seek(tail_at_)) return Outcome::kReadFailed;
  if (Stop s = stop_for(in_.copy_rest(out_))) return s;
  if (Stop s = write("data", 4)) return s;
  if (Stop s = stop_for(out_.write_u32(wave::kUnknownDataSize))) return s;
  if (!in_.seek(body_at)) return Outcome::kReadFailed;
  const Halted copied = in_.copy_to(out_, long_size_);
  if (copied == Halt::kEnded) return {};  // cut short: all there is was carried over
  return stop_for(copied);
}

// velkoran takes the file as it is: every byte is copied, a chunk at a time
// up to the data chunk, so that a file without one is not called plain.
Stop ReLay::copy_plain() {
  if (Stop s = write(riff_, sizeof riff_)) return s;
  if (Stop s = format_as_it_stands(false)) return s;
  return chunks_after_format(true);
}

// The format chunk as it stood, its pad as the layout being written has it.
Stop ReLay::format_as_it_stands(bool relaid) {
  if (Stop s = write("fmt ", 4)) return s;
  if (Stop s = stop_for(out_.write_u32(format_size_))) return s;
  if (Stop s = write(head_, head_size_)) return s;
  walk_.enter(format_size_, format_size_ - head_size_);
  if (Stop s = stop_for(walk_.copy(out_), Outcome::kNoFormat)) return s;
  return pad(relaid);
}

// The format chunk, first: a plain one as it stands (a pad left out added),
// an extensible one as the plain PCM format it describes.
Stop ReLay::format_chunk() {
  if (Stop s = write("RIFF\0\0\0\0WAVE", kRiffHeaderBytes)) return s;  // sized at the end
  if (make_extensible_) {
    if (Stop s = extensible_format()) return s;
  } else if (extensible_ && !keep_extensible_) {
    changes_.extensible = true;
    if (Stop s = write("fmt ", 4)) return s;
    if (Stop s = stop_for(out_.write_u32(kPlainFormatSize))) return s;
    if (Stop s = stop_for(out_.write_u16(wave::kTagPcm))) return s;
    // Channels, rate, byte rate, block alignment and bits, as they stand.
    if (Stop s = write(head_ + 2, kPlainFormatSize - 2)) return s;
    if (!skip_body(format_size_, format_size_ - head_size_)) return cut(Outcome::kNoFormat);
  } else if (Stop s = format_as_it_stands(true)) {
    return s;
  }
  after_format_ = in_.position();
  return {};
}

// A plain format chunk of more than two channels, as the extensible one it
// describes: the same fields, the container's bits, no channel mask (the
// file states none), PCM. What a longer chunk holds past the plain fields
// states nothing of PCM, and is not written.
Stop ReLay::extensible_format() {
  unsigned char f[kExtensibleSize] = {};
  std::memcpy(f, head_, wave::kFixedFormatBytes);
  wave::store_u16(f, wave::kTagExtensible);
  // The container's bits, all of them valid: the float output states its own.
  const auto width =
      static_cast<std::uint16_t>(8 * wave::container_bytes(load_u16(f + 2), load_u16(f + 12)));
  wave::store_u16(f + 14, width);
  wave::store_u16(f + 16, wave::kExtensionBytes);
  wave::store_u16(f + 18, width);
  std::memcpy(f + wave::kSubFormatAt, kPcmGuid, sizeof kPcmGuid);
  if (Stop s = write("fmt ", 4)) return s;
  if (Stop s = stop_for(out_.write_u32(kExtensibleSize))) return s;
  if (Stop s = write(f, sizeof f)) return s;
  if (!skip_body(format_size_, format_size_ - head_size_)) return cut(Outcome::kNoFormat);
  return {};
}

// The chunks that stood before the format chunk, after it now, in their
// order: held from a pipe; from a file, found again by a second walk.
Stop ReLay::chunks_before_format() {
  if (!file_) return stop_for(held_.write_to(out_));
  if (format_at_ == kRiffHeaderBytes) return {};
  if (!in_.seek(kRiffHeaderBytes)) return Outcome::kReadFailed;
  while (in_.position() < format_at_) {
    if (Stop s = between_chunks()) return s;
    ChunkHeader h;
    // The file changed under the run if it is no longer as the first walk
    // found it.
    if (!walk_.next(h)) return cut(Outcome::kReadFailed);
    const std::uint64_t at = in_.position() - sizeof h.bytes;
    if (rf64_ && h.is("ds64") && !(data_before_ && at > data_before_at_)) {
      if (!walk_.skip()) return cut(Outcome::kReadFailed);
      continue;
    }
    if (data_before_ && at == data_before_at_) restate_data_size(h);
    if (Stop s = write(h.bytes, sizeof h.bytes)) return s;
    if (Stop s = stop_for(walk_.copy(out_), Outcome::kReadFailed)) return s;
    if (Stop s = pad(true)) return s;
  }
  if (!in_.seek(after_format_)) return Outcome::kReadFailed;
  return {};
}

// The chunks after the format chunk, up to the data chunk, and the rest. In
// a re-laid RF64 file, a ds64 chunk here is read for its sizes, and dropped.
Stop ReLay::chunks_after_format(bool plain) {
  for (;;) {
    if (Stop s = between_chunks()) return s;
    ChunkHeader h;
    std::size_t got = 0;
    if (!walk_.next(h, &got)) {
      if (in_.why_short() != Halt::kEnded) return cut(Outcome::kNoData);
      if (!data_before_) return Outcome::kNoData;
      // What stands after the last chunk, as it stands.
      return write(h.bytes, got);
    }
    if (h.is("data") && !data_before_) return data_chunk(h, plain);
    if (!plain && rf64_ && !data_before_ && h.is("ds64")) {
      if (Stop s = ds64(h)) return s;
      continue;
    }
    if (Stop s = write(h.bytes, sizeof h.bytes)) return s;
    const Halted copied = walk_.copy(out_);
    // With the samples placed already, a last chunk cut short is carried
    // over as it came.
    if (copied == Halt::kEnded && data_before_) return {};
    if (Stop s = stop_for(copied, Outcome::kNoData)) return s;
    if (Stop s = pad(!plain)) return s;
  }
}

Stop ReLay::data_chunk(const ChunkHeader& h, bool plain) {
  if (past_) return long_data();
  std::uint64_t size = h.size();
  const bool from_ds64 = !plain && rf64_ && ds64_found_;
  if (from_ds64) size = ds64_data_size_;
  // What a 32-bit size cannot state (its largest value says "length unknown").
  if (from_ds64 && size >= wave::kUnknownDataSize) {
    return file_ ? Outcome::kTooLong : Outcome::kLongFromAPipe;
  }
  const auto size32 = static_cast<std::uint32_t>(size);
  changes_.data_at = in_.position();
  if (!wave::length_unknown(size32)) changes_.data_size = size32;
  if (Stop s = write("data", 4)) return s;
  if (Stop s = stop_for(out_.write_u32(size32))) return s;
  // A data chunk whose length is unknown runs to the end of the input.
  if (wave::length_unknown(size32)) return stop_for(in_.copy_rest(out_));
  walk_.enter(size32);
  const Halted copied = walk_.copy(out_);
  if (copied == Halt::kEnded) return {};  // a recording cut short: all there is was carried over
  if (Stop s = stop_for(copied)) return s;
  if (Stop s = pad(!plain)) return s;
  data_whole_ = true;
  data_end_in_ = in_.position();
  // Chunks after the data, and bytes after the RIFF chunk, as they stand.
  return stop_for(in_.copy_rest(out_));
}

// The output's RIFF chunk ends where the input's did, relative to the end of
// the data, where that is believable; else at the end of the output.
Stop ReLay::riff_size() {
  // Only looked: nothing to set.
  if (out_.discards()) return {};
  std::uint32_t size = wave::kUnknownDataSize;
  if (!past_) {
    const std::uint64_t outside =
        data_whole_ ? wave::bytes_after_riff(riff_size_, data_end_in_, in_.position()) : 0;
    size = static_cast<std::uint32_t>(out_.position() - outside - 8);
  }
  if (out_.seek(4) != wave::Writer::Seek::kMoved) return Outcome::kWriteFailed;
  return stop_for(out_.write_u32(size));
}

}  // namespace

Outcome re_lay(wave::Reader& in, wave::Writer& out, Changes& changes, wave::Takes takes) {
  return ReLay(in, out, changes, takes).run();
}

}  // namespace velkoran::prep
