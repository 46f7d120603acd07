#include "wave/layout.hpp"

#include <algorithm>
#include <cstring>

namespace velkoran::wave {

bool Layout::fits(std::size_t more) {
  if (!overflowed_ && bytes_.size() + (pieces_.size() + 1) * sizeof(Piece) + more <= kMaxBytes) {
    return true;
  }
  // Only measured from now on: what was kept goes.
  overflowed_ = true;
  pieces_ = {};
  bytes_ = {};
  return false;
}

bool Layout::put(std::uint64_t at, const unsigned char* p, std::size_t n) {
  if (at == length_) {
    length_ += n;
    if (n == 0 || !fits(n)) return true;
    if (!pieces_.empty() && pieces_.back().own) {
      pieces_.back().size += n;
    } else {
      pieces_.push_back({at, bytes_.size(), n, true});
    }
    bytes_.append(reinterpret_cast<const char*>(p), n);
    return true;
  }
  if (at > length_ || n > length_ - at) return false;
  if (overflowed_) return true;
  // Over new bytes, piece by piece, from the one that holds `at`.
  auto i = static_cast<std::size_t>(
      std::upper_bound(pieces_.begin(), pieces_.end(), at,
                       [](std::uint64_t a, const Piece& q) { return a < q.at; }) -
      pieces_.begin() - 1);
  while (n != 0) {
    const Piece& q = pieces_[i++];
    if (!q.own) return false;
    const std::uint64_t into = at - q.at;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n, q.size - into));
    std::memcpy(&bytes_[static_cast<std::size_t>(q.from + into)], p, k);
    at += k;
    p += k;
    n -= k;
  }
  return true;
}

void Layout::carry(std::uint64_t from, std::uint64_t n) {
  const std::uint64_t at = length_;
  length_ += n;
  if (n == 0 || !fits(0)) return;
  if (!pieces_.empty() && !pieces_.back().own &&
      pieces_.back().from + pieces_.back().size == from) {
    pieces_.back().size += n;
  } else {
    pieces_.push_back({at, from, n, false});
  }
}

std::size_t LayoutSource::read(unsigned char* p, std::size_t n) {
  const std::vector<Layout::Piece>& pieces = layout_.pieces_;
  if (layout_.overflowed_) {
    failed_ = true;
    return 0;
  }
  std::size_t got = 0;
  while (got < n && position_ < layout_.length_ && !failed_) {
    while (pieces[piece_].at + pieces[piece_].size <= position_) ++piece_;
    const Layout::Piece& q = pieces[piece_];
    const std::uint64_t into = position_ - q.at;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n - got, q.size - into));
    if (q.own) {
      std::memcpy(p + got, layout_.bytes_.data() + q.from + into, k);
    } else {
      const std::uint64_t at = q.from + into;
      if (input_at_ != at) {
        FileSource input(input_);
        if (!input.seek(at)) {
          failed_ = true;
          break;
        }
      }
      const std::size_t r = std::fread(p + got, 1, k, input_);
      input_at_ = at + r;
      // The input ends before the layout says it does: it changed.
      if (r < k) {
        failed_ = true;
        got += r;
        position_ += r;
        break;
      }
    }
    got += k;
    position_ += k;
  }
  return got;
}

bool LayoutSource::seek(std::uint64_t offset) {
  if (layout_.overflowed_) return false;
  if (offset < position_) piece_ = 0;
  position_ = offset;
  return true;
}

}  // namespace velkoran::wave
