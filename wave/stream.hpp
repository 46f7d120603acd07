// The two byte streams of a run: whole-item and typed little-endian reads of
// the input, the matching writes of the output, and the verbatim copy of
// bytes from one to the other.
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
// end-of-file key, not two). The output is written forward too, except for
// fix-ups of its size fields and cutting it back; the writer counts its own
// position in 64 bits, as ftell's long is 32-bit on Windows.
//
// Neither stream knows what a run prints: what stops a read, a write or a
// copy is a Halt, and each program says what that means for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

namespace velkoran::wave {

// Each stream's buffer for small reads and writes: a header of many small
// chunks costs a system call per this many bytes.
inline constexpr std::size_t kStreamBufferSize = 64 * 1024;

// A WAVE file states its sizes in 32 bits: the RIFF size, which is the file's
// length less 8 bytes, must fit, so by default the writer lets no output grow
// longer.
inline constexpr std::uint64_t kMaxWaveLength = 0xFFFFFFFFull + 8;

// What stopped a read, a write or a copy.
enum class Halt {
  kEnded,        // the input ended first
  kReadFailed,   // a read of the input failed (not its end)
  kWriteFailed,  // a write of the output failed
  kTooLong,      // the output would pass its length bound
  kStopped,      // a signal asked the run to stop (stop_requested)
};

// Nothing while the stream went on; else what stopped it. A caller cannot
// drop it without a warning. One byte, returned in a register: every small
// write gives one back, and a std::optional's two fields, stored apart and
// loaded as one, cost a write of a chunk header more than the write itself.
class [[nodiscard]] Halted {
 public:
  constexpr Halted() = default;
  constexpr Halted(Halt h) : code_(static_cast<unsigned char>(h)) {}
  constexpr explicit operator bool() const { return code_ != kNone; }
  constexpr Halt operator*() const { return static_cast<Halt>(code_); }
  constexpr bool operator==(Halt h) const { return code_ == static_cast<unsigned char>(h); }

 private:
  static constexpr unsigned char kNone = 0xFF;
  unsigned char code_ = kNone;
};

class Writer;
class Layout;

// Where a reader's bytes come from: a stream (a file, a pipe, a terminal),
// or a file described in pieces (wave/layout.hpp).
class Source {
 public:
  virtual ~Source() = default;
  // Reads up to n bytes; fewer only where the source ends or fails, or a
  // signal cut a read short.
  virtual std::size_t read(unsigned char* p, std::size_t n) = 0;
  // True once a read has failed (not merely met the end).
  virtual bool failed() const = 0;
  // Moves to `offset`; false where the source cannot be repositioned.
  virtual bool seek(std::uint64_t offset) = 0;
  // The whole length, where the source has one (a regular file); none for a
  // pipe.
  virtual std::optional<std::uint64_t> length() const = 0;
};

// A stdio stream as a source.
class FileSource final : public Source {
 public:
  explicit FileSource(std::FILE* f) : f_(f) {}
  std::size_t read(unsigned char* p, std::size_t n) override;
  bool failed() const override;
  bool seek(std::uint64_t offset) override;
  std::optional<std::uint64_t> length() const override;

 private:
  std::FILE* f_;
};

class Reader {
 public:
  // `buffer`, where given, is kStreamBufferSize bytes the reader uses (a
  // run of many files reuses it); else it has its own.
  explicit Reader(std::FILE* f, unsigned char* buffer = nullptr);
  explicit Reader(Source& source, unsigned char* buffer = nullptr);
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Reads up to n bytes; fewer only where the input ends or fails, or a
  // signal cut a read short.
  std::size_t read(unsigned char* p, std::size_t n);
  // True when the whole item of n bytes arrived. A partial item is lost.
  bool read_exact(unsigned char* p, std::size_t n) { return read(p, n) == n; }
  bool read_u16(std::uint16_t& v);
  bool read_u32(std::uint32_t& v);
  // Passes over the next n bytes (a long stretch of a file by repositioning
  // it); false when the input stops first.
  bool skip(std::uint64_t n);
  // Copies up to n of the next bytes (n at most a few dozen) into p without
  // consuming them; fewer only where the input stops first.
  std::size_t peek(unsigned char* p, std::size_t n);

  // Why a read came up short: a stop requested (a signal cuts a waiting read
  // short, which is no failure of the input), a read failure, or the end.
  Halt why_short() const;

  // Carries the next n bytes over to `out` unchanged, looking at whether a
  // stop was requested after every piece of at most 64 KiB. kEnded where the
  // input stops first; what did arrive is carried over. Into a writer that
  // keeps nothing or only a layout, they are passed over, not read.
  Halted copy_to(Writer& out, std::uint64_t n);
  // Carries every byte up to the end of the input over to `out`: that end
  // is the normal one, and gives nothing.
  Halted copy_rest(Writer& out);

  // True once a read has failed (not merely met the end of the input).
  bool failed() const;

  // Bytes consumed so far: the offset of the next byte of the input.
  std::uint64_t position() const { return position_; }
  // Moves to `offset` of an input that can be repositioned (a file),
  // forgetting what was buffered; false where it cannot.
  bool seek(std::uint64_t offset);
  // The input's whole length, where it is a regular file; none for a pipe.
  std::optional<std::uint64_t> length() const;

 private:
  std::size_t take(unsigned char* p, std::size_t n);
  std::size_t buffered() const { return end_ - begin_; }
  bool fill();

  FileSource file_;  // the stream given, where one was
  Source* source_;
  std::unique_ptr<unsigned char[]> own_;
  unsigned char* buf_;
  std::size_t begin_ = 0;  // the unread bytes of buf_ are [begin_, end_)
  std::size_t end_ = 0;
  std::uint64_t position_ = 0;
  bool ended_ = false;  // the input has ended or failed: it is not asked again
  static constexpr std::size_t kFirstFill = 4096;
  std::size_t next_fill_ = kFirstFill;  // what the next fill asks for at most
};

class Writer {
 public:
  // No write may take the output past `max_length` bytes. Without a stream
  // (nullptr), the writer counts what it is given and keeps none of it: a
  // run that only looks whether a file would convert.
  // `buffer`, where given, is kStreamBufferSize bytes the writer uses.
  explicit Writer(std::FILE* f, std::uint64_t max_length = kMaxWaveLength,
                  unsigned char* buffer = nullptr);
  // A writer that keeps the output as a layout: its new bytes, and where
  // the reader's input is carried over (Reader::copy_to), not its bytes.
  // It can be repositioned within what it wrote anew, to set a field there.
  explicit Writer(Layout& layout, std::uint64_t max_length = kMaxWaveLength);

  // Takes all n bytes, or none: kTooLong where they would take the output
  // past its length bound, kWriteFailed where this write or any earlier one
  // failed (then every later one fails too).
  Halted write(const unsigned char* p, std::size_t n);
  Halted write(const char* p, std::size_t n) {
    return write(reinterpret_cast<const unsigned char*>(p), n);
  }
  Halted write_u16(std::uint16_t v);
  Halted write_u32(std::uint32_t v);
  Halted write_u64(std::uint64_t v);

  // True while every write has been taken.
  bool ok() const { return !failure_; }
  // No write may take the output past `max_length` bytes from now on.
  void set_max_length(std::uint64_t max_length) { max_length_ = max_length; }
  std::uint64_t max_length() const { return max_length_; }
  // True where the output is a regular file: it can be rewound and cut back.
  bool is_file() const;
  // True where nothing written is kept (no stream, no layout).
  bool discards() const { return f_ == nullptr && layout_ == nullptr; }
  // True where the bytes of a copy need not be read: the writer keeps
  // nothing, or only where they stand in the input.
  bool passes_over() const { return f_ == nullptr; }
  // Takes n bytes of the input from offset `from` as copied, where
  // passes_over() holds.
  Halted carry(std::uint64_t from, std::uint64_t n);
  // Why the output stopped taking bytes, once it has: kTooLong or kWriteFailed.
  Halt failure() const { return *failure_; }

  // Bytes written so far: the output's length while it is written forward.
  std::uint64_t position() const { return position_; }

  // Writes out what is buffered, past a refused write too, and flushes the
  // stream (whose own buffer, where the caller left it one, holds bytes too).
  // False when that, or any earlier write, failed.
  [[nodiscard]] bool flush();

  // After a failed write, so that the output can be cut back to what it
  // holds: forgets what is buffered and the failure. Gives the length the
  // file holds, none where it is no regular file (nothing then changes).
  std::optional<std::uint64_t> recover();

  enum class Seek {
    kMoved,
    kUnseekable,  // a pipe, a FIFO or a device: it cannot be repositioned by its nature
    kFailed,
  };
  // Flushes, then moves to `offset` to overwrite a field there.
  [[nodiscard]] Seek seek(std::uint64_t offset);
  // Flushes, then cuts the output back to its first `length` bytes and goes
  // on writing from there; kUnseekable for a pipe, which keeps what it has.
  [[nodiscard]] Seek truncate(std::uint64_t length);

 private:
  Halted put(const unsigned char* p, std::size_t n);
  bool drain();  // writes out the buffer, without flushing the stream
  bool broken() const { return failure_ == Halt::kWriteFailed; }
  Halted fail(Halt h) {
    failure_ = h;
    return h;
  }

  std::FILE* f_;
  Layout* layout_ = nullptr;
  std::uint64_t max_length_;
  std::unique_ptr<unsigned char[]> own_;
  unsigned char* buf_;
  std::size_t used_ = 0;  // bytes waiting in buf_
  std::uint64_t position_ = 0;
  Halted failure_;  // none while every write has been taken
};

}  // namespace velkoran::wave
