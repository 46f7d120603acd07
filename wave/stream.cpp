#include "wave/stream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "wave/interrupt.hpp"
#include "wave/layout.hpp"
#include "wave/le.hpp"

namespace velkoran::wave {
namespace {

// Large enough that a header of many small chunks costs one system call per
// 64 KiB; sample blocks of this size or more bypass it.
constexpr std::size_t kBufferSize = kStreamBufferSize;

// Not zeroed: only the bytes that are used get touched, and so count in
// memory. None where the caller gives one.
std::unique_ptr<unsigned char[]> new_buffer(const unsigned char* given) {
  if (given != nullptr) return nullptr;
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

std::size_t FileSource::read(unsigned char* p, std::size_t n) {
  return std::fread(p, 1, n, f_);
}

bool FileSource::failed() const {
  return std::ferror(f_) != 0;
}

bool FileSource::seek(std::uint64_t offset) {
#if defined(_WIN32)
  return _fseeki64(f_, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(f_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::optional<std::uint64_t> FileSource::length() const {
  const std::optional<Kind> kind = kind_of(f_);
  if (!kind || !kind->regular) return std::nullopt;
  return kind->length;
}

Reader::Reader(std::FILE* f, unsigned char* buffer)
    : file_(f),
      source_(&file_),
      own_(new_buffer(buffer)),
      buf_(buffer != nullptr ? buffer : own_.get()) {}

Reader::Reader(Source& source, unsigned char* buffer)
    : file_(nullptr),
      source_(&source),
      own_(new_buffer(buffer)),
      buf_(buffer != nullptr ? buffer : own_.get()) {}

std::size_t Reader::take(unsigned char* p, std::size_t n) {
  const std::size_t k = n < end_ - begin_ ? n : end_ - begin_;
  std::memcpy(p, buf_ + begin_, k);
  begin_ += k;
  position_ += k;
  return k;
}

// Reads into the free end of the buffer, the unread bytes first moved to its
// start. A short read means the input has ended or failed (fread keeps asking
// until then), so it is the last. False when no byte arrived.
bool Reader::fill() {
  if (ended_) return false;
  std::memmove(buf_, buf_ + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  // The first fill is small: a run that only looks at a header (a second
  // velkoran-drop over a converted library) reads no more than it needs.
  const std::size_t room = std::min(kBufferSize - end_, next_fill_);
  next_fill_ = kBufferSize;
  const std::size_t k = source_->read(buf_ + end_, room);
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
      const std::size_t k = source_->read(p + got, left);
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

bool Reader::skip(std::uint64_t n) {
  std::size_t k = static_cast<std::size_t>(n < buffered() ? n : buffered());
  begin_ += k;
  position_ += k;
  n -= k;
  // A long stretch of a file is passed over by repositioning it: a chunk of
  // a gigabyte costs no reading.
  const std::optional<std::uint64_t> whole = n > kBufferSize ? length() : std::nullopt;
  if (whole) {
    if (position_ <= *whole && n <= *whole - position_) return seek(position_ + n);
    // It ends first: as if read to its end.
    (void)seek(*whole);
    return false;
  }
  while (n != 0) {
    if (buffered() == 0 && !fill()) return false;
    k = static_cast<std::size_t>(n < buffered() ? n : buffered());
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
  std::memcpy(p, buf_ + begin_, k);
  return k;
}

Halted Reader::copy_to(Writer& out, std::uint64_t n) {
  // Into nowhere, or into a layout, bytes need not be read at all: a long
  // stretch of a file is passed over.
  if (out.passes_over()) {
    // What was there counts as copied, as it would have been.
    const std::uint64_t from = position_;
    if (!skip(n)) {
      (void)out.carry(from, position_ - from);
      return why_short();
    }
    return out.carry(from, n);
  }
  while (n != 0) {
    if (buffered() == 0 && !fill()) return why_short();
    const std::size_t k = static_cast<std::size_t>(n < buffered() ? n : buffered());
    if (Halted h = out.write(buf_ + begin_, k)) return h;
    begin_ += k;
    position_ += k;
    n -= k;
    // A long chunk is no reason to let a stop request wait; a copy that is
    // done is whole all the same.
    if (n != 0 && stop_requested()) return Halt::kStopped;
  }
  return {};
}

Halted Reader::copy_rest(Writer& out) {
  const Halted h = copy_to(out, UINT64_MAX);
  if (h == Halt::kEnded) return {};
  return h;
}

Halt Reader::why_short() const {
  if (stop_requested()) return Halt::kStopped;
  return failed() ? Halt::kReadFailed : Halt::kEnded;
}

bool Reader::failed() const {
  return source_->failed();
}

bool Reader::seek(std::uint64_t offset) {
  if (!source_->seek(offset)) return false;
  begin_ = end_ = 0;
  position_ = offset;
  ended_ = false;
  next_fill_ = kFirstFill;
  return true;
}

std::optional<std::uint64_t> Reader::length() const {
  return source_->length();
}

Writer::Writer(std::FILE* f, std::uint64_t max_length, unsigned char* buffer)
    : f_(f),
      max_length_(max_length),
      own_(new_buffer(buffer)),
      buf_(buffer != nullptr ? buffer : own_.get()) {}

Writer::Writer(Layout& layout, std::uint64_t max_length)
    : f_(nullptr), layout_(&layout), max_length_(max_length), buf_(nullptr) {}

Halted Writer::put(const unsigned char* p, std::size_t n) {
  if (f_ == nullptr) return {};
  if (std::fwrite(p, 1, n, f_) == n) return {};
  return fail(Halt::kWriteFailed);
}

Halted Writer::write(const unsigned char* p, std::size_t n) {
  if (broken()) return Halt::kWriteFailed;
  if (position_ + n > max_length_) return fail(Halt::kTooLong);
  if (layout_ != nullptr) {
    if (!layout_->put(position_, p, n)) return fail(Halt::kWriteFailed);
    position_ += n;
    return {};
  }
  position_ += n;
  if (used_ + n < kBufferSize) {
    std::memcpy(buf_ + used_, p, n);
    used_ += n;
    return {};
  }
  if (!drain()) return Halt::kWriteFailed;
  if (n < kBufferSize) {
    std::memcpy(buf_, p, n);
    used_ = n;
    return {};
  }
  // A block: straight from the caller's memory.
  return put(p, n);
}

Halted Writer::write_u16(std::uint16_t v) {
  unsigned char b[2];
  store_u16(b, v);
  return write(b, sizeof b);
}

Halted Writer::write_u32(std::uint32_t v) {
  unsigned char b[4];
  store_u32(b, v);
  return write(b, sizeof b);
}

Halted Writer::write_u64(std::uint64_t v) {
  unsigned char b[8];
  store_u64(b, v);
  return write(b, sizeof b);
}

Halted Writer::carry(std::uint64_t from, std::uint64_t n) {
  if (position_ + n > max_length_) return fail(Halt::kTooLong);
  if (layout_ != nullptr) layout_->carry(from, n);
  position_ += n;
  return {};
}

bool Writer::is_file() const {
  if (f_ == nullptr) return false;
  const std::optional<Kind> kind = kind_of(f_);
  return kind && kind->regular;
}

bool Writer::drain() {
  if (broken()) return false;
  const std::size_t n = used_;
  used_ = 0;
  return n == 0 || !put(buf_, n);
}

bool Writer::flush() {
  if (!drain()) return false;
  if (f_ != nullptr && std::fflush(f_) != 0) {
    (void)fail(Halt::kWriteFailed);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> Writer::recover() {
  if (f_ == nullptr) return std::nullopt;
  const std::optional<Kind> kind = kind_of(f_);
  if (!kind || !kind->regular) return std::nullopt;
  used_ = 0;
  failure_ = Halted();
  std::clearerr(f_);
  return kind->length;
}

Writer::Seek Writer::seek(std::uint64_t offset) {
  if (!flush()) return Seek::kFailed;
  if (layout_ != nullptr && offset <= position_) {
    position_ = offset;
    return Seek::kMoved;
  }
  if (f_ == nullptr) return Seek::kUnseekable;
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
  (void)fail(Halt::kWriteFailed);
  return Seek::kFailed;
}

Writer::Seek Writer::truncate(std::uint64_t length) {
  if (f_ == nullptr) return Seek::kUnseekable;
  if (is_pipe_or_device(f_)) return flush() ? Seek::kUnseekable : Seek::kFailed;
  if (!flush()) return Seek::kFailed;
#if defined(_WIN32)
  const bool cut = _chsize_s(_fileno(f_), static_cast<long long>(length)) == 0;
#else
  const bool cut = ftruncate(fileno(f_), static_cast<off_t>(length)) == 0;
#endif
  if (!cut) {
    (void)fail(Halt::kWriteFailed);
    return Seek::kFailed;
  }
  return seek(length);
}

}  // namespace velkoran::wave
