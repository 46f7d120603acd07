// A file described rather than written: the bytes a writer put anew, and
// the stretches of its reader's input carried over unchanged, in the order
// they stand. Read back over that input (LayoutSource), it gives the file's
// bytes, from its start as often as asked, without the file ever being
// made: velkoran-drop converts a re-laid recording so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "wave/stream.hpp"

namespace velkoran::wave {

class Layout {
 public:
  // At most this many bytes of description (new bytes, and a record per
  // piece): a file of countless small chunks is no reason to grow without
  // bound. Past it the layout is only measured, and overflowed() says so.
  static constexpr std::size_t kMaxBytes = 4 << 20;

  // Bytes written anew at offset `at`: at the end, or over bytes written
  // anew before (a size field set afterwards). False where `at` is neither.
  bool put(std::uint64_t at, const unsigned char* p, std::size_t n);
  // The input's n bytes from offset `from`, carried over at the end.
  void carry(std::uint64_t from, std::uint64_t n);

  // The described file's length.
  std::uint64_t length() const { return length_; }
  // True where the description passed kMaxBytes: it cannot be read back.
  bool overflowed() const { return overflowed_; }

 private:
  friend class LayoutSource;
  struct Piece {
    std::uint64_t at;    // where it stands in the described file
    std::uint64_t from;  // where its bytes are: in bytes_, or in the input
    std::uint64_t size;
    bool own;  // written anew (in bytes_), else the input's
  };
  bool fits(std::size_t more);

  std::vector<Piece> pieces_;
  std::string bytes_;
  std::uint64_t length_ = 0;
  bool overflowed_ = false;
};

// A layout read back: its new bytes from memory, the rest from `input`, the
// stream the layout was made from, as it stood then. A read of the input
// that fails, or finds it shorter than it was, is a failure.
class LayoutSource final : public Source {
 public:
  LayoutSource(const Layout& layout, std::FILE* input) : layout_(layout), input_(input) {}
  std::size_t read(unsigned char* p, std::size_t n) override;
  bool failed() const override { return failed_; }
  bool seek(std::uint64_t offset) override;
  std::optional<std::uint64_t> length() const override { return layout_.length(); }

 private:
  const Layout& layout_;
  std::FILE* input_;
  std::uint64_t position_ = 0;
  std::size_t piece_ = 0;                  // the piece that holds position_, or one before it
  std::optional<std::uint64_t> input_at_;  // where the input stands, where known
  bool failed_ = false;
};

}  // namespace velkoran::wave
