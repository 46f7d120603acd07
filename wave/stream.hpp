// Whole-item reads and counted writes over the two byte streams of a run.
//
// The conversion never repositions the input. The output is written strictly
// forward too, except for the final fix-up of its two size fields; the writer
// counts its own position in 64 bits so that nothing relies on ftell, whose
// result is a 32-bit long on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace velkoran::wave {

class Reader {
 public:
  explicit Reader(std::FILE* f) : f_(f) {}

  // Reads up to n bytes; fewer only at the end of the input or on a read error.
  std::size_t read_some(unsigned char* p, std::size_t n);

  // True when the whole item of n bytes arrived. A partial item is discarded.
  bool read_exact(unsigned char* p, std::size_t n) { return read_some(p, n) == n; }

  // True when a short read was caused by an error rather than the end of the input.
  bool failed() const { return std::ferror(f_) != 0; }

 private:
  std::FILE* f_;
};

class Writer {
 public:
  explicit Writer(std::FILE* f) : f_(f) {}

  // True when all n bytes were handed to the stream.
  bool write(const unsigned char* p, std::size_t n);
  bool write_u16(std::uint16_t v);
  bool write_u32(std::uint32_t v);

  // Bytes written so far: the output's length while it is written forward.
  std::uint64_t position() const { return position_; }

  // Moves to an earlier offset to overwrite a field. False when the stream
  // cannot be repositioned (a pipe, for instance); the stream is unchanged then.
  bool seek(std::uint64_t offset);

  // Pushes buffered bytes to the file; false if any write so far has failed.
  bool flush();

 private:
  std::FILE* f_;
  std::uint64_t position_ = 0;
};

}  // namespace velkoran::wave
