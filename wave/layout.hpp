// A file described rather than written: the bytes a writer put anew, and
// the stretches of its reader's input carried over unchanged, in the order
// they stand. Read back over that input (LayoutSource), it gives the file's
// bytes, from its start as often as asked, without the file ever being
// made: velkoran-drop converts a re-laid recording so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wave/stream.hpp"

namespace velkoran::wave {

class Layout {
 public:
  // At most this many bytes of description (new bytes, and a record per
  // piece): a file of countless small chunks is no reason to grow without
  // bound. Past it the layout is only measured: described_to() says how far
  // it reaches, and a layout made again from there describes what follows.
  static constexpr std::size_t kMaxBytes = 4 << 20;

  // A layout of the file from offset `from` on: what stands before it is
  // only measured.
  explicit Layout(std::uint64_t from = 0) : from_(from), to_(from) {}

  // Bytes written anew at offset `at`: at the end, or over bytes written
  // anew before (a size field set afterwards). False where `at` is neither.
  bool put(std::uint64_t at, const unsigned char* p, std::size_t n);
  // The input's n bytes from offset `from`, carried over at the end.
  void carry(std::uint64_t from, std::uint64_t n);

  // The described file's length.
  std::uint64_t length() const { return length_; }
  // Its bytes from `from()` up to `described_to()` are described.
  std::uint64_t from() const { return from_; }
  std::uint64_t described_to() const { return full_ ? to_ : length_; }

 private:
  friend class LayoutSource;
  struct Piece {
    std::uint64_t at;    // where it stands in the described file
    std::uint64_t from;  // where its bytes are: in bytes_, or in the input
    std::uint64_t size;
    bool own;  // written anew (in bytes_), else the input's
  };
  // The part of n bytes at `at` that is to be described: false where none.
  bool clip(std::uint64_t& at, std::uint64_t& skipped, std::uint64_t& n) const;
  bool fits(std::uint64_t at, std::size_t more);

  std::uint64_t from_;
  std::uint64_t to_;  // once full: where the description stops
  std::vector<Piece> pieces_;
  std::string bytes_;
  std::uint64_t length_ = 0;
  bool full_ = false;
};

// A layout read back: its new bytes from memory, the rest from `input`, the
// stream the layout was made from, as it stood then. A read of the input
// that fails, or finds it shorter than it was, is a failure. Where the
// layout does not describe a place read, `again` makes one that does, from
// there (it describes the same file anew, from `input`).
class LayoutSource final : public Source {
 public:
  using Again = std::function<bool(Layout& layout)>;
  LayoutSource(const Layout& layout, std::FILE* input, Again again = {})
      : first_(layout), layout_(&layout), input_(input), again_(std::move(again)) {}
  std::size_t read(unsigned char* p, std::size_t n) override;
  bool failed() const override { return failed_; }
  bool seek(std::uint64_t offset) override;
  std::optional<std::uint64_t> length() const override { return first_.length(); }

 private:
  // Makes layout_ one that describes position_: false where none can.
  bool describe_here();

  const Layout& first_;
  const Layout* layout_;          // the one read now: first_, or made again
  std::unique_ptr<Layout> made_;  // a layout made again
  std::FILE* input_;
  Again again_;
  std::uint64_t position_ = 0;
  std::size_t piece_ = 0;                  // the piece that holds position_, or one before it
  std::optional<std::uint64_t> input_at_;  // where the input stands, where known
  bool failed_ = false;
};

}  // namespace velkoran::wave
