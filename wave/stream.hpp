// The two byte streams of a run: whole-item and typed little-endian reads of
// the input, and the matching writes of the output.
//
// Small reads and writes (header fields, chunk headers) go through a buffer of
// each stream's own, so that a file of many small chunks costs few system
// calls; blocks of samples move straight between the file and the caller's
// memory. The stdio streams underneath are best left unbuffered.
//
// The input is read strictly forward, and once it has ended it is never asked
// again (so a terminal needs one end-of-file key, not two). The output is
// written forward too, except for the final fix-up of its two size fields; the
// writer counts its own position in 64 bits, as ftell's long is 32-bit on
// Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "wave/outcome.hpp"

namespace velkoran::wave {

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
  // Carries the next n bytes over to `out` unchanged. False when the input
  // stops first (what did arrive is carried over) or a write fails.
  bool copy_to(Writer& out, std::uint64_t n);

  // What a read that came up short means: `at_end` where the input ended,
  // a read failure where it failed.
  Outcome short_read(Outcome at_end) const;

 private:
  std::size_t take(unsigned char* p, std::size_t n);
  bool fill();

  std::FILE* f_;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t begin_ = 0;  // the unread bytes of buf_ are [begin_, end_)
  std::size_t end_ = 0;
  bool ended_ = false;  // the input has ended or failed: it is not asked again
};

class Writer {
 public:
  // No write may take the output past `max_length` bytes.
  Writer(std::FILE* f, std::uint64_t max_length);

  // True when all n bytes were taken. False when they would take the output
  // past its length limit, or when a write has failed (this one or any
  // earlier: then every later one fails too).
  bool write(const unsigned char* p, std::size_t n);
  bool write_u16(std::uint16_t v);
  bool write_u32(std::uint32_t v);

  // Bytes written so far: the output's length while it is written forward.
  std::uint64_t position() const { return position_; }

  // Writes out what is buffered. False when that, or any earlier write, failed.
  bool flush();

  enum class Seek {
    kMoved,
    kUnseekable,  // a pipe, a FIFO or a device: it cannot be repositioned by its nature
    kFailed,
  };
  // Flushes, then moves to `offset` to overwrite a field there.
  Seek seek(std::uint64_t offset);

  // Why the output stopped taking bytes: kTooLong or kWriteFailed.
  Outcome failure() const { return failure_; }

 private:
  bool put(const unsigned char* p, std::size_t n);
  bool drain();  // writes out the buffer, without flushing the stream

  std::FILE* f_;
  std::uint64_t max_length_;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t used_ = 0;  // bytes waiting in buf_
  std::uint64_t position_ = 0;
  Outcome failure_;  // kConverted while every write has gone through
};

}  // namespace velkoran::wave
