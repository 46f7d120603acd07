#include "wave/header.hpp"

#include <cstring>

#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace velkoran::wave {
namespace {

constexpr unsigned char kOutBitsPerSample[2] = {8 * kOutBytesPerSample, 0};
// The extensible format's fields after the fixed ones: wBitsPerSample,
// cbSize, wValidBitsPerSample, dwChannelMask and the sub-format.
constexpr std::uint32_t kExtensionTail = kExtensibleFormatBytes - kFixedFormatBytes;

// The output's block alignment: a float for each channel.
std::uint32_t out_frame(unsigned channels) {
  return kOutBytesPerSample * channels;
}
// Where the output's RIFF size field stands; the data size's depends on the
// chunks before it, and the hand-off carries it.
constexpr std::uint64_t kRiffSizeOffset = 4;
// RF64's ds64 chunk, right after the form type: the RIFF size, the data
// size and the number of frames, 64 bits each, and an empty table of the
// sizes of other chunks.
constexpr std::uint64_t kDs64SizesOffset = kRiffHeaderBytes + 8;
constexpr std::uint64_t kRf64HeaderBytes = kRiffHeaderBytes + 8 + kDs64BodyBytes;
// RF64's 32-bit sizes: "the 64-bit one in ds64".
constexpr std::uint32_t kSeeDs64 = 0xFFFFFFFF;

// One pass over the header. Each step reads a field, checks it, writes the
// output's version of it, and only then goes on to the next field. A step
// that ends the run gives back why.
class HeaderPass {
 public:
  HeaderPass(Reader& in, Writer& out, Observer& observer, Handoff& handoff, const Rf64Sizes* rf64,
             Takes takes)
      : in_(in),
        walk_(in),
        out_(out),
        observer_(observer),
        handoff_(handoff),
        rf64_(rf64),
        takes_(takes) {
    handoff_.rf64 = rf64 != nullptr;
  }

  Stop run() {
    if (Stop s = riff_and_wave()) return s;
    if (Stop s = format_chunk()) return s;
    return chunks_until_data();
  }

 private:
  // A field that did not arrive whole: the input ended there (header error
  // `e`), failed, or a signal cut the read short.
  Stop cut(HeaderError e) const { return End::of(in_.why_short(), End::header(e)); }

  // Reads a chunk id and writes `write_as` where it is `want`: header error
  // `if_cut` when it does not arrive whole, `if_other` when it is another id.
  Stop expect_id(const char (&want)[5], HeaderError if_cut, HeaderError if_other,
                 const char* write_as = nullptr) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(if_cut);
    if (!is_id(id, want)) return End::header(if_other);
    if (write_as != nullptr) return stop_for(out_.write(write_as, 4));
    return stop_for(out_.write(id, sizeof id));
  }

  Stop riff_and_wave();
  Stop format_chunk();
  Stop format_tail();
  Stop extensible_tail();
  // The rest of the chunk's body, then the pad byte after a body of odd size,
  // carried over as they stand; the chunk is then whole in the output.
  Stop copy_rest() {
    if (Stop s = stop_for(walk_.copy(out_), End::header(HeaderError::kBodyCut))) return s;
    if (Stop s = stop_for(walk_.copy_pad(out_), End::header(HeaderError::kBodyCut))) return s;
    handoff_.whole_end = out_.position();
    return {};
  }
  Stop chunks_until_data();
  // An MD5 chunk of 16 bytes, its header read: a JUNK chunk of zeros in the
  // output till the end shows whether it may state the output's digest.
  Stop digest_chunk();

  Reader& in_;
  ChunkWalk walk_;
  Writer& out_;
  Observer& observer_;
  Handoff& handoff_;
  const Rf64Sizes* rf64_;  // none for a RIFF output
  const Takes takes_;
  std::uint32_t riff_size_ = 0;
  std::uint16_t channels_ = 0;
  unsigned bytes_per_sample_ = 0;
};

Stop HeaderPass::riff_and_wave() {
  if (Stop s = expect_id("RIFF", HeaderError::kNoRiffId, HeaderError::kNotRiff,
                         rf64_ != nullptr ? "RF64" : nullptr)) {
    return s;
  }
  // The RIFF size is carried over as it stands; once the whole output has
  // been written, its true size replaces it.
  if (!in_.read_u32(riff_size_)) return cut(HeaderError::kNotWave);
  if (Stop s = stop_for(out_.write_u32(rf64_ != nullptr ? kSeeDs64 : riff_size_))) return s;
  if (Stop s = expect_id("WAVE", HeaderError::kNotWave, HeaderError::kNotWave)) return s;
  handoff_.whole_end = kRiffHeaderBytes;
  if (rf64_ != nullptr) {
    unsigned char body[kDs64BodyBytes];
    write_ds64(body, {rf64_->riff, rf64_->data, rf64_->frames});
    if (Stop s = stop_for(out_.write("ds64", 4))) return s;
    if (Stop s = stop_for(out_.write_u32(kDs64BodyBytes))) return s;
    if (Stop s = stop_for(out_.write(body, sizeof body))) return s;
    handoff_.whole_end = kRf64HeaderBytes;
  }
  // The format chunk must come first: nothing may stand between it and the form type.
  return expect_id("fmt ", HeaderError::kNoFmtChunk, HeaderError::kNoFmtChunk);
}

Stop HeaderPass::format_chunk() {
  std::uint32_t fmt_size = 0;
  if (!in_.read_u32(fmt_size)) return cut(HeaderError::kNoFmtSize);
  if (Stop s = stop_for(out_.write_u32(fmt_size))) return s;

  std::uint16_t tag = 0;
  // No value arrived, so there is no tag to show.
  if (!in_.read_u16(tag)) return End::of(in_.why_short(), End::kUnknownFormatTag);
  // What has been written so far reaches the output before the tag is
  // handed on (and printed): a write that fails there is reported without
  // the tag line, as it came first. The RF64 pass is the header's second,
  // and the tag has been handed on already.
  if (rf64_ == nullptr) {
    if (!out_.flush()) return End::kWriteFailed;
    observer_.format_tag(tag);
  }
  if (!tag_taken(tag, takes_)) return End::kUnknownFormatTag;
  const bool extensible = tag == kTagExtensible;
  if (Stop s = stop_for(out_.write_u16(extensible ? kTagExtensible : kTagFloat))) return s;

  std::uint16_t channels = 0;
  if (!in_.read_u16(channels)) return cut(HeaderError::kBadChannels);
  if (as_i16(channels) < 1 || (takes_ == Takes::kStereo && as_i16(channels) > 2)) {
    return End::header(HeaderError::kBadChannels);
  }
  channels_ = channels;
  if (Stop s = stop_for(out_.write_u16(channels))) return s;

  std::uint32_t sample_rate = 0;
  if (!in_.read_u32(sample_rate)) return cut(HeaderError::kNoSampleRate);
  if (Stop s = stop_for(out_.write_u32(sample_rate))) return s;

  // The output's byte rate depends on the sample width, which only the next
  // field tells: hold it back until then.
  std::uint32_t byte_rate = 0;
  if (!in_.read_u32(byte_rate)) return cut(HeaderError::kNoByteRate);

  std::uint16_t block_align = 0;
  if (!in_.read_u16(block_align)) return cut(HeaderError::kNoBlockAlign);
  // velkoran converts stereo only. With one channel a block alignment of 4
  // means 32-bit samples, which are not pairs of 16-bit ones. A plain format
  // chunk cannot state more than two channels as the output must: velkoran-
  // prep's re-lay states them extensible first.
  bytes_per_sample_ = bytes_per_sample(channels, block_align, takes_);
  if (bytes_per_sample_ == 0 || (!extensible && channels > kChannels)) {
    return End::kNotStereo16Or24;
  }
  if (Stop s = stop_for(out_.write_u32(rescale_byte_rate(byte_rate, bytes_per_sample_)))) return s;
  if (Stop s = stop_for(out_.write_u16(static_cast<std::uint16_t>(out_frame(channels))))) return s;

  // Whatever the format chunk declares beyond the fixed fields. A size below
  // 14 wraps to a huge count: the copy then runs to the end of the input and
  // stops with header error 11.
  walk_.enter(fmt_size, std::uint32_t{fmt_size - kFixedFormatBytes});
  if (Stop s = extensible ? extensible_tail() : format_tail()) return s;
  return copy_rest();
}

// The extension as the float output states it: 32 bits in every container,
// 32 of them valid, the recording's cbSize and channel mask, the float
// sub-format. What a plain format chunk states as well (a plain mask of one
// or two channels), a chunk too short to hold it, another sub-format or a
// container of other bits than the block's is left to the re-lay, which
// writes the plain chunk or says why not.
Stop HeaderPass::extensible_tail() {
  unsigned char tail[kExtensionTail];
  if (walk_.left() < sizeof tail) return End::kNotStereo16Or24;
  if (walk_.read(tail, sizeof tail) != sizeof tail) return cut(HeaderError::kBodyCut);
  constexpr unsigned kAt = kFixedFormatBytes;
  if (load_u16(tail) != 8 * bytes_per_sample_ || load_u16(tail + 16 - kAt) < kExtensionBytes ||
      std::memcmp(tail + kSubFormatAt - kAt, kPcmGuid, sizeof kPcmGuid) != 0 ||
      !extensible_output(channels_, load_u32(tail + kMaskAt - kAt))) {
    return End::kNotStereo16Or24;
  }
  store_u16(tail, 8 * kOutBytesPerSample);
  store_u16(tail + 18 - kAt, 8 * kOutBytesPerSample);
  std::memcpy(tail + kSubFormatAt - kAt, kFloatGuid, sizeof kFloatGuid);
  return stop_for(out_.write(tail, sizeof tail));
}

// The tail starts with wBitsPerSample, which the output states as 32 whatever
// the input held (the first byte only, when the tail is one byte long); the
// rest is carried over unchanged.
Stop HeaderPass::format_tail() {
  for (unsigned char b : kOutBitsPerSample) {
    if (walk_.left() == 0) return {};
    unsigned char in_bits = 0;
    if (walk_.read(&in_bits, 1) != 1) return cut(HeaderError::kBodyCut);
    if (Stop s = stop_for(out_.write(&b, 1))) return s;
  }
  return {};
}

Stop HeaderPass::digest_chunk() {
  // Only the first states the output's digest; any other stays JUNK.
  const bool first = handoff_.digest_at == 0;
  if (first) handoff_.digest_at = out_.position();
  handoff_.digests = true;
  if (Stop s = stop_for(out_.write("JUNK", 4))) return s;
  if (Stop s = stop_for(out_.write_u32(kDigestBytes))) return s;
  walk_.enter(kDigestBytes);
  Digest stated{};
  const std::size_t got = walk_.read(stated.data(), stated.size());
  const Digest zeros{};
  if (Stop s = stop_for(out_.write(zeros.data(), got))) return s;
  if (got != stated.size()) return cut(HeaderError::kBodyCut);
  if (first) handoff_.stated = stated;
  handoff_.whole_end = out_.position();
  return {};
}

Stop HeaderPass::chunks_until_data() {
  for (;;) {
    unsigned char id[4];
    if (!in_.read_exact(id, sizeof id)) return cut(HeaderError::kNoDataChunk);
    // An MD5 chunk's id waits for its size, which says whether it is the
    // digest of the data.
    const bool md5 = is_id(id, "MD5 ");
    if (!md5) {
      if (Stop s = stop_for(out_.write(id, sizeof id))) return s;
    }

    std::uint32_t size = 0;
    const bool sized = in_.read_u32(size);
    if (md5 && sized && size == kDigestBytes) {
      if (Stop s = digest_chunk()) return s;
      continue;
    }
    if (md5) {
      if (Stop s = stop_for(out_.write(id, sizeof id))) return s;
    }
    if (!sized) return cut(HeaderError::kNoChunkSize);

    if (is_id(id, "data")) {
      handoff_.bytes_per_sample = bytes_per_sample_;
      handoff_.channels = channels_;
      handoff_.declared_data_size = size;
      handoff_.data_size_offset = out_.position();
      handoff_.riff_size = riff_size_;
      return stop_for(out_.write_u32(
          rf64_ != nullptr ? kSeeDs64 : rescale_data_size(size, bytes_per_sample_, channels_)));
    }
    if (Stop s = stop_for(out_.write_u32(size))) return s;
    walk_.enter(size);
    if (Stop s = copy_rest()) return s;
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

std::uint32_t rescale_data_size(std::uint32_t in_size, unsigned bytes_per_sample,
                                unsigned channels) {
  // "Length unknown" (recorders, streams) stays so: rescaled, 0xFFFFFFFF
  // would read as a length that stops a reader 1.4 GB in.
  if (length_unknown(in_size)) return in_size;
  const unsigned in_frame = channels * bytes_per_sample;
  const std::uint64_t size = std::uint64_t{in_size / in_frame} * out_frame(channels);
  // Wrapped at 32 bits, a size past 4 GiB would state a short, clean
  // recording; unknown, it lets a reader take all there is.
  return size > kUnknownDataSize ? kUnknownDataSize : static_cast<std::uint32_t>(size);
}

Stop transcribe_header(Reader& in, Writer& out, Observer& observer, Handoff& handoff,
                       const Rf64Sizes* rf64, Takes takes) {
  handoff = Handoff();
  return HeaderPass(in, out, observer, handoff, rf64, takes).run();
}

namespace {

// A fix-up of the output's header after a move: `moved` says whether to go
// on. An output that cannot be repositioned by its nature (a pipe) keeps
// what it has; any other failure to move is a failed write.
Stop after_move(Writer::Seek seek, bool& moved) {
  moved = seek == Writer::Seek::kMoved;
  if (seek == Writer::Seek::kFailed) return End::kWriteFailed;
  return {};
}

// States the RIFF size and the data size: where RIFF has them (the data
// size only where it has been written), or in RF64's ds64 chunk, with the
// number of frames.
Stop state_sizes(Writer& out, const Handoff& handoff, std::uint64_t riff_size,
                 std::uint64_t data_size, bool has_data) {
  bool moved = false;
  if (handoff.rf64) {
    if (Stop s = after_move(out.seek(kDs64SizesOffset), moved); s || !moved) return s;
    unsigned char body[kDs64BodyBytes];
    write_ds64(body, {riff_size, data_size, data_size / out_frame(handoff.channels)});
    // The sizes alone: the table's length stays as written.
    if (out.write(body, kDs64SizesBytes)) return End::kWriteFailed;
    return {};
  }
  if (Stop s = after_move(out.seek(kRiffSizeOffset), moved); s || !moved) return s;
  if (out.write_u32(static_cast<std::uint32_t>(riff_size)) ||
      (has_data && (out.seek(handoff.data_size_offset) != Writer::Seek::kMoved ||
                    out.write_u32(static_cast<std::uint32_t>(data_size))))) {
    return End::kWriteFailed;
  }
  return {};
}

}  // namespace

Stop write_true_sizes(Writer& out, const Handoff& handoff, const Converted& converted) {
  const std::uint64_t riff_end = out.position() - converted.after_riff;
  return state_sizes(out, handoff, riff_end - 8, converted.samples * kOutBytesPerSample, true);
}

Stop state_digest(Writer& out, const Handoff& handoff, const Converted& converted) {
  if (handoff.digest_at == 0 || !converted.digested || converted.in_digest != handoff.stated) {
    return {};
  }
  // The digest first, then the id that makes it one: a failure between the
  // two leaves a JUNK chunk.
  bool moved = false;
  if (Stop s = after_move(out.seek(handoff.digest_at + 8), moved); s || !moved) return s;
  if (out.write(converted.out_digest.data(), kDigestBytes) ||
      out.seek(handoff.digest_at) != Writer::Seek::kMoved || out.write("MD5 ", 4)) {
    return End::kWriteFailed;
  }
  return {};
}

Stop keep_whole_header(Writer& out, const Handoff& handoff) {
  bool moved = false;
  if (Stop s = after_move(out.truncate(handoff.whole_end), moved); s || !moved) return s;
  // Less than the RIFF header (and ds64 chunk) is nothing whole: the output
  // is left empty.
  if (handoff.whole_end < (handoff.rf64 ? kRf64HeaderBytes : kRiffHeaderBytes)) {
    return after_move(out.truncate(0), moved);
  }
  return state_sizes(out, handoff, handoff.whole_end - 8, 0, false);
}

Stop keep_whole(Writer& out, const Handoff& handoff, const Converted& converted) {
  bool moved = false;
  if (Stop s = after_move(out.truncate(converted.whole_end), moved); s || !moved) return s;
  // Cut back, the output holds nothing past its RIFF chunk.
  Converted whole = converted;
  whole.after_riff = 0;
  return write_true_sizes(out, handoff, whole);
}

Stop keep_whole_held(Writer& out, const Handoff& handoff, const Converted& converted,
                     bool header_written, std::uint64_t held) {
  const std::uint64_t data_at = handoff.data_size_offset + 4;
  if (header_written && held >= data_at) {
    Converted whole = converted;
    if (whole.whole_end > held || whole.offered > whole.samples) {
      // The whole frames that reached the file, of those handed to it (part
      // of the block whose write failed, it may be); what followed them did
      // not.
      const std::uint64_t frame = out_frame(handoff.channels);
      const std::uint64_t reached = (held - data_at) / frame * handoff.channels;
      whole.samples = reached < whole.offered ? reached : whole.offered;
      whole.whole_end = data_at + whole.samples * kOutBytesPerSample;
    }
    return keep_whole(out, handoff, whole);
  }
  Handoff header = handoff;
  if (header.whole_end > held) header.whole_end = 0;
  return keep_whole_header(out, header);
}

}  // namespace velkoran::wave
