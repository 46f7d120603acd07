// A WAVE file's chunks as converting it carries them over: each chunk but
// the format chunk, the data chunk and RF64's ds64 (which re-laying and
// converting rewrite, move or drop) is kept with its id, size and body, in
// order, wherever it stands, before the samples or after them. The format,
// the data and the sizes are noted on the way. The done check and the
// verification both read recordings and outputs through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "wave/md5.hpp"
#include "wave/riff.hpp"
#include "wave/stream.hpp"

namespace velkoran::drop {

class Shape {
 public:
  // `true_sizes`: the file is an output, whose data size is its true one;
  // a recording's 0 or 0xFFFFFFFF says its samples run to the end. `length`:
  // the file's; where no chunk can follow the data, nothing more is read.
  // `buffer`: kStreamBufferSize bytes for the reads.
  Shape(std::FILE* f, std::uint64_t length, unsigned char* buffer, bool true_sizes);

  bool is_wave() const { return wave_; }
  bool is_rf64() const { return rf64_; }

  // The next chunk kept, in `h`, its body entered: false once the walk has
  // ended (the end of the file, a chunk cut short, samples that run to the
  // end). An MD5 chunk's digest is read into `digests`; any other body is
  // there for body() until the next call.
  bool next(wave::ChunkHeader& h);
  // Up to n bytes more of the kept chunk's body; fewer where it ends, or the
  // file does first.
  std::size_t body(unsigned char* p, std::size_t n);
  // Where the kept chunk's header stands.
  std::uint64_t chunk_at() const { return chunk_at_; }

  // What the walk has noted so far: the data chunk's size, where its body
  // starts, and where it ends with its pad (the file's end where the data
  // runs there or is cut short); the format chunk's fields; the sizes the
  // file states of itself.
  std::optional<std::uint64_t> data_size;
  std::uint64_t data_at = 0;
  std::optional<std::uint64_t> data_end;
  // Where the walk ended short of a whole chunk header: what stands from
  // there to the end is no chunk (a stray tail). The end, where none does.
  std::uint64_t rest_at = 0;
  std::uint32_t data_header_size = 0;  // as the data chunk's header states it
  std::uint32_t riff_size = 0;         // as the RIFF header states it
  std::optional<std::uint64_t> ds64_riff;
  std::optional<std::uint64_t> ds64_frames;
  std::uint16_t tag = 0;
  std::uint16_t channels = 0;
  std::uint32_t rate = 0;
  std::uint32_t byte_rate = 0;
  std::uint16_t block_align = 0;
  std::optional<std::uint16_t> bits;
  std::uint32_t mask = 0;  // none where it states none
  // The format chunk's size, and its first bytes (up to kFormatKept).
  static constexpr std::size_t kFormatKept = 256;
  std::uint32_t format_size = 0;
  std::vector<unsigned char> format_body;
  std::uint16_t sub_format = 0;       // the extensible format's, as a tag (0: unknown)
  std::vector<wave::Digest> digests;  // those its MD5 chunks state, in order
  std::size_t digest_held = 0;        // the bytes of the last MD5 chunk's body the file holds
  bool has_format() const { return format_; }
  // Its samples' encoding: its tag, or the extensible format's sub-format.
  std::uint16_t encoding() const;

 private:
  wave::Reader in_;
  wave::ChunkWalk walk_;
  std::uint64_t length_;
  bool true_sizes_;
  bool wave_ = false;
  bool rf64_ = false;
  bool ended_ = false;
  bool format_ = false;
  bool entered_ = false;  // a kept chunk's body, which the next call passes over
  std::uint64_t chunk_at_ = 0;
  std::optional<std::uint64_t> ds64_data_;
};

// Whether the output's format chunk states what the recording's
// conversion states: floats, of its rate and channels, 32 bits where the
// bits are stated, its channel mask where the output must state one; a
// copy's, the recording's own.
bool same_format(const Shape& output, const Shape& recording, bool copy);

}  // namespace velkoran::drop
