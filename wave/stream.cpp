#include "wave/stream.hpp"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

#include "wave/le.hpp"

namespace velkoran::wave {
namespace {

// Large enough that a header of many small chunks costs one system call per
// 64 KiB; sample blocks of this size or more bypass it.
constexpr std::size_t kBufferSize = 64 * 1024;

// Not zeroed: only the bytes that are used get touched, and so count in memory.
std::unique_ptr<unsigned char[]> new_buffer() {
  return std::unique_ptr<unsigned char[]>(new unsigned char[kBufferSize]);
}

// What the file behind a stream is: a regular file (with its length), or a
// pipe, a FIFO or a device, which may not be repositioned; none where that
// cannot be told.
struct Kind {
  bool regular;
  std::uint64_t length;
};

std::optional<Kind> kind_of(std::FILE* f) {
#if defined(_WIN32)
  struct _stat64 st;
  const int fd = _fileno(f);
  if (fd < 0 || _fstat64(fd, &st) != 0) return std::nullopt;
  const bool regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st;
  const int fd = fileno(f);
  if (fd < 0 || fstat(fd, &st) != 0) return std::nullopt;
  const bool regular = S_ISREG(st.st_mode);
#endif
  return Kind{regular, regular && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0};
}

bool is_pipe_or_device(std::FILE* f) {
  const std::optional<Kind> kind = kind_of(f);
  return kind && !kind->regular;
}

}  // namespace

Reader::Reader(std::FILE* f) : f_(f), buf_(new_buffer()) {}

std::size_t Reader::take(unsigned char* p, std::size_t n) {
  const std::size_t k = n < end_ - begin_ ? n : end_ - begin_;
  std::memcpy(p, buf_.get() + begin_, k);
  begin_ += k;
  position_ += k;
  return k;
}

// Reads into the free end of the buffer, the unread bytes first moved to its
// start. A short read means the input has ended or failed (fread keeps asking
// until then), so it is the last. False when no byte arrived.
bool Reader::fill() {
  if (ended_) return false;
  std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const std::size_t room = kBufferSize - end_;
  const std::size_t k = std::fread(buf_.get() + end_, 1, room, f_);
  end_ += k;
  if (k < room) ended_ = true;
  return k != 0;
}

std::size_t Reader::read(unsigned char* p, std::size_t n) {
  std::size_t got = take(p, n);
  while (got < n && !ended_) {
    const std::size_t left = n - got;
    if (left >= kBufferSize) {
      // A block: straight into the caller's memory.
      const std::size_t k = std::fread(p + got, 1, left, f_);
      if (k < left) ended_ = true;
      position_ += k;
      return got + k;
    }
    fill();
    got += take(p + got, left);
  }
  return got;
}

bool Reader::read_u16(std::uint16_t& v) {
  unsigned char b[2];
  if (!read_exact(b, sizeof b)) return false;
  v = load_u16(b);
  return true;
}

bool Reader::read_u32(std::uint32_t& v) {
  unsigned char b[4];
  if (!read_exact(b, sizeof b)) return false;
  v = load_u32(b);
  return true;
}

bool Reader::skip(std::size_t n) {
  while (n != 0) {
    if (begin_ == end_ && !fill()) return false;
    const std::size_t k = n < end_ - begin_ ? n : end_ - begin_;
    begin_ += k;
    position_ += k;
    n -= k;
  }
  return true;
}

std::size_t Reader::peek(unsigned char* p, std::size_t n) {
  while (end_ - begin_ < n && fill()) {
  }
  const std::size_t k = n < end_ - begin_ ? n : end_ - begin_;
  std::memcpy(p, buf_.get() + begin_, k);
  return k;
}

std::uint64_t Reader::copy(Writer& out, std::uint64_t n) {
  std::uint64_t done = 0;
  while (done < n) {
    if (begin_ == end_ && !fill()) break;
    const std::size_t avail = end_ - begin_;
    const std::size_t k = n - done < avail ? static_cast<std::size_t>(n - done) : avail;
    if (!out.write(buf_.get() + begin_, k)) break;
    begin_ += k;
    position_ += k;
    done += k;
  }
  return done;
}

Stop Reader::copy_to(Writer& out, std::uint64_t n, Outcome if_cut) {
  const std::uint64_t done = copy(out, n);
  if (!out.ok()) return out.failure();
  if (done < n) return short_read(if_cut);
  return {};
}

Stop Reader::copy_rest(Writer& out) {
  copy(out, UINT64_MAX);
  if (!out.ok()) return out.failure();
  return end_of_input();
}

bool Reader::failed() const {
  return std::ferror(f_) != 0;
}

Outcome Reader::short_read(Outcome at_end) const {
  return failed() ? Outcome::kReadFailed : at_end;
}

bool Reader::seek(std::uint64_t offset) {
#if defined(_WIN32)
  const int rc = _fseeki64(f_, static_cast<long long>(offset), SEEK_SET);
#else
  const int rc = fseeko(f_, static_cast<off_t>(offset), SEEK_SET);
#endif
  if (rc != 0) return false;
  begin_ = end_ = 0;
  position_ = offset;
  ended_ = false;
  return true;
}

std::optional<std::uint64_t> Reader::length() const {
  const std::optional<Kind> kind = kind_of(f_);
  if (!kind || !kind->regular) return std::nullopt;
  return kind->length;
}

Stop Reader::end_of_input() const {
  if (failed()) return Outcome::kReadFailed;
  return {};
}

Writer::Writer(std::FILE* f, std::uint64_t max_length)
    : f_(f), max_length_(max_length), buf_(new_buffer()) {}

bool Writer::put(const unsigned char* p, std::size_t n) {
  if (std::fwrite(p, 1, n, f_) == n) return true;
  failure_ = Outcome::kWriteFailed;
  return false;
}

bool Writer::write(const unsigned char* p, std::size_t n) {
  if (broken()) return false;
  if (position_ + n > max_length_) {
    failure_ = Outcome::kTooLong;
    return false;
  }
  position_ += n;
  if (used_ + n < kBufferSize) {
    std::memcpy(buf_.get() + used_, p, n);
    used_ += n;
    return true;
  }
  if (!drain()) return false;
  if (n < kBufferSize) {
    std::memcpy(buf_.get(), p, n);
    used_ = n;
    return true;
  }
  // A block: straight from the caller's memory.
  return put(p, n);
}

bool Writer::write_u16(std::uint16_t v) {
  unsigned char b[2];
  store_u16(b, v);
  return write(b, sizeof b);
}

bool Writer::write_u32(std::uint32_t v) {
  unsigned char b[4];
  store_u32(b, v);
  return write(b, sizeof b);
}

bool Writer::drain() {
  if (broken()) return false;
  const std::size_t n = used_;
  used_ = 0;
  return n == 0 || put(buf_.get(), n);
}

bool Writer::flush() {
  if (!drain()) return false;
  if (std::fflush(f_) != 0) {
    failure_ = Outcome::kWriteFailed;
    return false;
  }
  return true;
}

Writer::Seek Writer::seek(std::uint64_t offset) {
  if (!flush()) return Seek::kFailed;
  errno = 0;
#if defined(_WIN32)
  const int rc = _fseeki64(f_, static_cast<long long>(offset), SEEK_SET);
#else
  const int rc = fseeko(f_, static_cast<off_t>(offset), SEEK_SET);
#endif
  if (rc == 0) {
    position_ = offset;
    return Seek::kMoved;
  }
  if (errno == ESPIPE || is_pipe_or_device(f_)) return Seek::kUnseekable;
  failure_ = Outcome::kWriteFailed;
  return Seek::kFailed;
}

}  // namespace velkoran::wave
