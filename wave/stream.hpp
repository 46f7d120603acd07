// The two byte streams of a run: whole-item and typed little-endian reads of
// the input, and the matching writes of the output.
//
// Small reads and writes (header fields, chunk headers) go through a buffer of
// each stream's own, so that a file of many small chunks costs few system
// calls: on a header of a million empty chunks, four times fewer
// milliseconds than stdio's own 64 KiB buffering gives. Blocks of samples
// move straight between the file and the caller's memory. The stdio streams
// underneath are best left unbuffered.
//
// The input is read forward (only a file may be repositioned, on request),
// and once it has ended it is never asked again (so a terminal needs one
// end-of-file key, not two). The output is
// written forward too, except for the final fix-up of its two size fields; the
// writer counts its own position in 64 bits, as ftell's long is 32-bit on
// Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "wave/outcome.hpp"

namespace velkoran::wave {

// A WAVE file states its sizes in 32 bits: the RIFF size, which is the file's
// length less 8 bytes, must fit, so the writer lets no output grow longer.
inline constexpr std::uint64_t kMaxWaveLength = 0xFFFFFFFFull + 8;

class Writer;

class Reader {
 public:
  explicit Reader(std::FILE* f);

  // Reads up to n bytes; fewer only where the input ends or fails.
  std::size_t read(unsigned char* p, std::size_t n);
  // True when the whole item of n bytes arrived. A partial item is lost.
  bool read_exact(unsigned char* p, std::size_t n) { return read(p, n) == n; }
  bool read_u16(std::uint16_t& v);
  bool read_u32(std::uint32_t& v);
  // Passes over the next n bytes; false when the input stops first.
  bool skip(std::size_t n);
  // Copies up to n of the next bytes (n at most a few dozen) into p without
  // consuming them; fewer only where the input ends or fails.
  std::size_t peek(unsigned char* p, std::size_t n);

  // Carries the next n bytes over to `out` unchanged. Where the input stops
  // first (what did arrive is carried over), the run ends with `if_cut`, or
  // with the read failure; where a write fails, with the writer's failure.
  Stop copy_to(Writer& out, std::uint64_t n, Outcome if_cut);
  // Carries every byte up to the end of the input over to `out` unchanged:
  // that end is the normal one, and only a failure stops the run.
  Stop copy_rest(Writer& out);

  // What a read that came up short means: `at_end` where the input ended,
  // a read failure where it failed.
  Outcome short_read(Outcome at_end) const;

  // True once a read has failed (not merely met the end of the input).
  bool failed() const;

  // Bytes consumed so far: the offset of the next byte of the input.
  std::uint64_t position() const { return position_; }
  // Moves to `offset` of an input that can be repositioned (a file),
  // forgetting what was buffered; false where it cannot.
  bool seek(std::uint64_t offset);
  // The input's whole length, where it is a regular file; none for a pipe.
  std::optional<std::uint64_t> length() const;
  // The input ended, as it should: the run goes on, unless a read failed.
  Stop end_of_input() const;

 private:
  std::size_t take(unsigned char* p, std::size_t n);
  bool fill();
  // Carries up to n bytes over; fewer where the input ends or a write fails.
  std::uint64_t copy(Writer& out, std::uint64_t n);

  std::FILE* f_;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t begin_ = 0;  // the unread bytes of buf_ are [begin_, end_)
  std::size_t end_ = 0;
  std::uint64_t position_ = 0;
  bool ended_ = false;  // the input has ended or failed: it is not asked again
};

class Writer {
 public:
  // No write may take the output past `max_length` bytes.
  explicit Writer(std::FILE* f, std::uint64_t max_length = kMaxWaveLength);

  // True when all n bytes were taken. False when they would take the output
  // past its length limit, or when a write has failed (this one or any
  // earlier: then every later one fails too).
  bool write(const unsigned char* p, std::size_t n);
  bool write_u16(std::uint16_t v);
  bool write_u32(std::uint32_t v);

  // True while every write has been taken.
  bool ok() const { return !failure_.has_value(); }
  // Why the output stopped taking bytes, once it has: kTooLong or kWriteFailed.
  Outcome failure() const { return *failure_; }

  // Bytes written so far: the output's length while it is written forward.
  std::uint64_t position() const { return position_; }

  // Writes out what is buffered, past a refused write too, and flushes the
  // stream (whose own buffer, where the caller left it one, holds bytes too).
  // False when that, or any earlier write, failed.
  [[nodiscard]] bool flush();

  enum class Seek {
    kMoved,
    kUnseekable,  // a pipe, a FIFO or a device: it cannot be repositioned by its nature
    kFailed,
  };
  // Flushes, then moves to `offset` to overwrite a field there.
  [[nodiscard]] Seek seek(std::uint64_t offset);

 private:
  bool put(const unsigned char* p, std::size_t n);
  bool drain();  // writes out the buffer, without flushing the stream
  bool broken() const { return failure_ && failure_->kind == Outcome::kWriteFailed; }

  std::FILE* f_;
  std::uint64_t max_length_;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t used_ = 0;  // bytes waiting in buf_
  std::uint64_t position_ = 0;
  Stop failure_;  // none while every write has been taken
};

}  // namespace velkoran::wave
