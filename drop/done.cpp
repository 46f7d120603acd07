#include "drop/done.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/files.hpp"
#include "wave/between_passes.hpp"
#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"
#include "wave/stream.hpp"

namespace velkoran::drop {
namespace {

// A WAVE file's chunks as converting it carries them over: each chunk but
// the format chunk, the data chunk and RF64's ds64 (which re-laying and
// converting rewrite, move or drop) is kept with its id and size, in order,
// wherever it stands, before the samples or after them. The format and the
// data are noted on the way.
class Shape {
 public:
  // `true_sizes`: the file is an output, whose data size is its true one;
  // a recording's 0 or 0xFFFFFFFF says its samples run to the end. `length`:
  // the file's, where no chunk can follow the data, nothing more is read.
  Shape(std::FILE* f, std::uint64_t length, unsigned char* buffer, bool true_sizes)
      : in_(f, buffer), walk_(in_), length_(length), true_sizes_(true_sizes) {
    unsigned char head[wave::kRiffHeaderBytes];
    const bool read = in_.read_exact(head, sizeof head) && wave::is_id(head + 8, "WAVE");
    rf64_ = read && (wave::is_id(head, "RF64") || wave::is_id(head, "BW64"));
    wave_ = rf64_ || (read && wave::is_id(head, "RIFF"));
  }

  bool is_wave() const { return wave_; }

  // The next chunk kept, in `h`: false once the walk has ended (the end of
  // the file, a chunk cut short, samples that run to the end).
  bool next(wave::ChunkHeader& h) {
    while (wave_ && !ended_) {
      if (!walk_.next(h)) break;
      if (h.is("data") && !data_size) {
        data_at = in_.position();
        const bool from_ds64 = rf64_ && ds64_data_ && h.size() == wave::kUnknownDataSize;
        if (!from_ds64 && !true_sizes_ && wave::length_unknown(h.size())) break;
        data_size = from_ds64 ? *ds64_data_ : h.size();
        // Not even a chunk header after the samples (a pad at most): the
        // walk ends there, without a look past them.
        if (data_at > length_ || length_ - data_at < *data_size + 8) break;
        walk_.enter(*data_size);
      } else if (h.is("fmt ") && h.size() >= wave::kFixedFormatBytes && !format_) {
        // It may end before the bits per sample (14 bytes), and its output
        // then too.
        unsigned char fmt[wave::kExtensibleFormatBytes] = {};
        const std::size_t n = h.size() < sizeof fmt ? h.size() : sizeof fmt;
        if (walk_.read(fmt, n) != n) break;
        format_ = true;
        tag = wave::load_u16(fmt);
        channels = wave::load_u16(fmt + 2);
        rate = wave::load_u32(fmt + 4);
        block_align = wave::load_u16(fmt + 12);
        if (n >= 16) bits = wave::load_u16(fmt + 14);
        if (tag == wave::kTagExtensible && n == sizeof fmt) {
          mask = wave::load_u32(fmt + wave::kMaskAt);
          const unsigned char* guid = fmt + wave::kSubFormatAt;
          sub_format = std::memcmp(guid, wave::kFloatGuid, 16) == 0 ? wave::kTagFloat
                       : std::memcmp(guid, wave::kPcmGuid, 16) == 0 ? wave::kTagPcm
                                                                    : 0;
        }
      } else if (rf64_ && h.is("ds64") && h.size() >= wave::kDs64SizesBytes && !ds64_data_) {
        unsigned char sizes[wave::kDs64SizesBytes];
        if (walk_.read(sizes, sizeof sizes) != sizeof sizes) break;
        ds64_data_ = wave::read_ds64(sizes).data;
      } else {
        // Kept, and listed even where its body is cut short; an MD5
        // chunk's digest noted.
        if (wave::is_digest(h)) {
          wave::Digest d{};
          if (walk_.read(d.data(), d.size()) == d.size()) digests.push_back(d);
        }
        ended_ = !walk_.skip();
        return true;
      }
      if (!walk_.skip()) break;
    }
    ended_ = true;
    return false;
  }

  // What the walk has noted so far: the data chunk's size and where its
  // body starts; the format chunk's fields.
  std::optional<std::uint64_t> data_size;
  std::uint64_t data_at = 0;
  std::uint16_t tag = 0;
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  std::uint16_t block_align = 0;
  std::optional<std::uint16_t> bits;
  std::uint32_t mask = 0;             // none where it states none
  std::uint16_t sub_format = 0;       // the extensible format's, as a tag (0: unknown)
  std::vector<wave::Digest> digests;  // those its MD5 chunks state, in order
  bool has_format() const { return format_; }
  // Its samples' encoding: its tag, or the extensible format's sub-format.
  std::uint16_t encoding() const { return tag == wave::kTagExtensible ? sub_format : tag; }

 private:
  wave::Reader in_;
  wave::ChunkWalk walk_;
  std::uint64_t length_;
  bool true_sizes_;
  bool wave_ = false;
  bool rf64_ = false;
  bool ended_ = false;
  bool format_ = false;
  std::optional<std::uint64_t> ds64_data_;
};

// Both files' kept chunks, walked side by side: the same ids and sizes in
// the same order, to the end of each (a recording's digest of its data the
// output's digest of its own, or a JUNK chunk in its place).
bool same_chunks(Shape& output, Shape& recording) {
  for (;;) {
    wave::ChunkHeader a;
    wave::ChunkHeader b;
    const bool more = output.next(a);
    if (more != recording.next(b)) return false;
    if (!more) return true;
    if (wave::is_digest(b) && wave::is_digest_or_junk(a)) continue;
    for (std::size_t i = 0; i < sizeof a.bytes; ++i) {
      if (a.bytes[i] != b.bytes[i]) return false;
    }
  }
}

// Whether an output's time is its recording's, to the precision both
// files hold: the same, or on a file system of whole seconds (FAT's two,
// an archive's one), the recording's within them.
bool same_time(std::int64_t output, std::int64_t recording) {
  constexpr std::int64_t kSecond = 1000000000;
  if (output == recording) return true;
  const std::int64_t apart = output > recording ? output - recording : recording - output;
  return output % kSecond == 0 && apart < 2 * kSecond;
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

}  // namespace

std::uint64_t frames_written(const Samples& samples, std::uint64_t length) {
  if (samples.block_align == 0) return 0;
  const std::uint64_t held = length > samples.at ? length - samples.at : 0;
  const std::uint64_t bytes = samples.size && *samples.size < held ? *samples.size : held;
  return bytes / samples.block_align;
}

std::optional<Stats> stats_of(std::FILE* recording, wave::Workspace& workspace) {
  const std::optional<platform::FileFacts> facts = platform::file_facts(recording);
  std::optional<Stats> stats;
  std::rewind(recording);
  if (facts) {
    Shape shape(recording, facts->size, workspace.reader.get(), false);
    for (wave::ChunkHeader h; shape.next(h);) {
    }
    if (shape.has_format() && shape.channels != 0 && shape.block_align != 0 && shape.data_at != 0) {
      const Samples samples{shape.data_at, shape.data_size, shape.block_align};
      stats = Stats{frames_written(samples, facts->size), shape.channels,
                    8u * shape.block_align / shape.channels, shape.rate};
    }
  }
  std::rewind(recording);
  return stats;
}

bool already_converted(const std::string& output, std::FILE* recording,
                       const platform::FileFacts& recording_facts, std::uint64_t frames,
                       wave::Workspace& workspace, bool copy) {
  const std::int64_t recording_modified = recording_facts.modified;
  const std::uint64_t recording_length = recording_facts.size;
  // One look at the name itself: a link, a file of several names or one of
  // another time than the recording's is no output of its own, up to date.
  const std::optional<platform::FileFacts> out = platform::file_facts(output, false);
  if (!out || !out->regular || out->links != 1 || !same_time(out->modified, recording_modified)) {
    return false;
  }
  std::FILE* f = platform::open_input(output);
  if (f == nullptr) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  bool done = false;
  {
    // A copy's sizes are the recording's, and read as its are.
    Shape converted(f, out->size, workspace.writer.get(), !copy);
    Shape source(recording, recording_length, workspace.reader.get(), false);
    done = converted.is_wave() && source.is_wave() && same_chunks(converted, source) &&
           converted.has_format() && source.has_format() && same_format(converted, source, copy);
    if (done && copy) {
      // As long, its samples where the recording's stand, and as long.
      done = out->size == recording_length && converted.data_at == source.data_at &&
             converted.data_size == source.data_size;
    } else if (done) {
      // Every frame, no more, stated and held.
      const std::uint64_t size = converted.data_size.value_or(0);
      done = converted.data_size && size % converted.block_align == 0 &&
             size / converted.block_align == frames && out->size >= converted.data_at &&
             out->size - converted.data_at >= size;
      // An output of other data that states its recording's digest (copied
      // over by a version that carried every chunk as it stood) states a
      // falsehood: it is converted again.
      for (const wave::Digest& d : converted.digests) {
        const auto& stated = source.digests;
        if (size != 0 && std::find(stated.begin(), stated.end(), d) != stated.end()) done = false;
      }
    }
  }
  std::fclose(f);
  // Converted after all: from its start.
  if (!done) std::rewind(recording);
  return done;
}

}  // namespace velkoran::drop
