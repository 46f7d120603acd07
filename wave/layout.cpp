#include "wave/layout.hpp"

#include <algorithm>
#include <cstring>

namespace velkoran::wave {

bool Layout::clip(std::uint64_t& at, std::uint64_t& skipped, std::uint64_t& n) const {
  skipped = at < from_ ? std::min(n, from_ - at) : 0;
  at += skipped;
  n -= skipped;
  if (n == 0) return false;
  if (full_ && at >= to_) return false;
  if (full_) n = std::min(n, to_ - at);
  return true;
}

bool Layout::fits(std::uint64_t at, std::size_t more) {
  if (full_) return false;
  if (bytes_.size() + (pieces_.size() + 1) * sizeof(Piece) + more <= kMaxBytes) return true;
  // Described up to here; only measured from now on.
  full_ = true;
  to_ = at;
  return false;
}

bool Layout::put(std::uint64_t at, const unsigned char* p, std::size_t n) {
  const bool append = at == length_;
  if (append) {
    length_ += n;
  } else if (at > length_ || n > length_ - at) {
    return false;
  }
  std::uint64_t skipped = 0;
  std::uint64_t count = n;
  if (!clip(at, skipped, count)) return true;
  p += skipped;
  if (append) {
    if (!fits(at, static_cast<std::size_t>(count))) return true;
    if (!pieces_.empty() && pieces_.back().own) {
      pieces_.back().size += count;
    } else {
      pieces_.push_back({at, bytes_.size(), count, true});
    }
    bytes_.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(count));
    return true;
  }
  // Over new bytes, piece by piece, from the one that holds `at`.
  auto i = static_cast<std::size_t>(
      std::upper_bound(pieces_.begin(), pieces_.end(), at,
                       [](std::uint64_t a, const Piece& q) { return a < q.at; }) -
      pieces_.begin() - 1);
  while (count != 0) {
    if (i >= pieces_.size() || !pieces_[i].own) return false;
    const Piece& q = pieces_[i++];
    const std::uint64_t into = at - q.at;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(count, q.size - into));
    std::memcpy(&bytes_[static_cast<std::size_t>(q.from + into)], p, k);
    at += k;
    p += k;
    count -= k;
  }
  return true;
}

void Layout::carry(std::uint64_t from, std::uint64_t n) {
  std::uint64_t at = length_;
  length_ += n;
  std::uint64_t skipped = 0;
  if (!clip(at, skipped, n) || !fits(at, 0)) return;
  from += skipped;
  if (!pieces_.empty() && !pieces_.back().own &&
      pieces_.back().from + pieces_.back().size == from) {
    pieces_.back().size += n;
  } else {
    pieces_.push_back({at, from, n, false});
  }
}

bool LayoutSource::describe_here() {
  const auto covers = [this](const Layout& l) {
    return l.from() <= position_ && position_ < l.described_to();
  };
  const Layout* wanted = covers(first_) ? &first_ : made_ && covers(*made_) ? made_.get() : nullptr;
  if (wanted == nullptr) {
    if (!again_) return false;
    made_ = std::make_unique<Layout>(position_);
    // The input is read again by the layout's maker: where it stands is not known.
    input_at_.reset();
    if (!again_(*made_) || !covers(*made_)) {
      made_.reset();
      return false;
    }
    wanted = made_.get();
  }
  if (wanted != layout_) {
    layout_ = wanted;
    piece_ = 0;
  }
  return true;
}

std::size_t LayoutSource::read(unsigned char* p, std::size_t n) {
  std::size_t got = 0;
  while (got < n && position_ < first_.length() && !failed_) {
    if (!(layout_->from() <= position_ && position_ < layout_->described_to()) &&
        !describe_here()) {
      failed_ = true;
      break;
    }
    const std::vector<Layout::Piece>& pieces = layout_->pieces_;
    while (pieces[piece_].at + pieces[piece_].size <= position_) ++piece_;
    const Layout::Piece& q = pieces[piece_];
    const std::uint64_t into = position_ - q.at;
    const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(n - got, q.size - into));
    if (q.own) {
      std::memcpy(p + got, layout_->bytes_.data() + q.from + into, k);
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
  if (offset < position_) piece_ = 0;
  position_ = offset;
  return true;
}

}  // namespace velkoran::wave
