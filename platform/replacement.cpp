#include "platform/replacement.hpp"

#include "platform/files.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include "platform/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velkoran::platform {
namespace {

#if defined(_WIN32)
HANDLE handle_of(std::FILE* f) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
}

// The file a link leads to, by its full name; the name itself where it is no link.
bool follow_links(const std::string& name, std::string& target) {
  target = name;
  const DWORD attributes = GetFileAttributesW(wide_from_wtf8(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  const HANDLE h = CreateFileW(wide_from_wtf8(name).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // a link that leads nowhere
  wchar_t final_name[32768];
  const DWORD n = GetFinalPathNameByHandleW(h, final_name, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= 32768) return false;
  target = wtf8_from_wide(std::wstring(final_name, n));
  return true;
}
#else
// The file a chain of symbolic links leads to, each relative one read from
// the folder of its link; the name itself where it is no link. False where
// the chain cannot be followed (a loop, a folder that cannot be read).
bool follow_links(const std::string& name, std::string& target) {
  namespace fs = std::filesystem;
  fs::path at = name;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(at, ec);
    if (ec && st.type() != fs::file_type::not_found) return false;
    if (!fs::is_symlink(st)) {
      target = at.native();
      return true;
    }
    const fs::path to = fs::read_symlink(at, ec);
    if (ec) return false;
    at = to.is_absolute() ? to : at.parent_path() / to;
  }
  return false;
}
#endif

}  // namespace

#if defined(_WIN32)
Replacement::Refusal Replacement::look(const std::string& name, std::FILE* input, Links links) {
  if (links == Links::kRefuse) {
    const DWORD attributes = GetFileAttributesW(wide_from_wtf8(name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return Refusal::kLink;
    }
    target_ = name;
  } else if (!follow_links(name, target_)) {
    return Refusal::kNotOpened;
  }
  // What the name leads to, opened without access: a device name (NUL, CON)
  // opens as the device.
  const HANDLE h = CreateFileW(wide_from_wtf8(target_).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? Refusal::kNone : Refusal::kNotOpened;
  }
  const DWORD type = GetFileType(h);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (type == FILE_TYPE_PIPE) return Refusal::kFifo;
  if (type != FILE_TYPE_DISK || !known) return Refusal::kDevice;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Refusal::kFolder;
  if (is_open_file(target_, input)) return Refusal::kIsInput;
  existed_ = true;
  links_ = info.nNumberOfLinks;
  if (links_ > 1) return Refusal::kHardLinks;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return Refusal::kNotOpened;
  // Its access list may refuse writing too: open it so, without changing it.
  const HANDLE w = CreateFileW(wide_from_wtf8(target_).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (w == INVALID_HANDLE_VALUE) return Refusal::kNotOpened;
  CloseHandle(w);
  return Refusal::kNone;
}

bool Replacement::settle() {
  std::FILE* f = temp_.file();
  if (std::fflush(f) != 0) return false;
  if (!keep_time_) return true;
  // FileFacts' nanoseconds since 1970, in 100-nanosecond intervals since 1601.
  const auto intervals = static_cast<std::uint64_t>(modified_ / 100 + kUnixEpochIntervals);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(intervals & 0xFFFFFFFFu);
  written.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
  return SetFileTime(handle_of(f), nullptr, nullptr, &written) != 0;
}

bool Replacement::commit() {
  std::FILE* f = temp_.file();
  if (f == nullptr) return false;
  finish();
  bool ok = settled_ && (syncs_ != nullptr ? syncs_->put_on_disk(f, place_) : sync_file(f));
  ok = temp_.close() && ok;
  if (ok) {
    // The old file's attributes and access list stay with the name.
    ok = (existed_ &&
          ReplaceFileW(wide_from_wtf8(target_).c_str(), wide_from_wtf8(temp_.name()).c_str(),
                       nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) ||
         MoveFileExW(wide_from_wtf8(temp_.name()).c_str(), wide_from_wtf8(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (ok) {
    temp_.keep();
  } else {
    temp_.remove();
  }
  return ok;
}

#else
Replacement::Refusal Replacement::look(const std::string& name, std::FILE* input, Links links) {
  struct stat st {};
  if (links == Links::kRefuse) {
    target_ = name;
    if (lstat(target_.c_str(), &st) != 0) {
      return errno == ENOENT ? Refusal::kNone : Refusal::kNotOpened;
    }
    if (S_ISLNK(st.st_mode)) return Refusal::kLink;
  } else {
    if (!follow_links(name, target_)) return Refusal::kNotOpened;
    if (stat(target_.c_str(), &st) != 0) {
      return errno == ENOENT ? Refusal::kNone : Refusal::kNotOpened;
    }
  }
  if (S_ISDIR(st.st_mode)) return Refusal::kFolder;
  if (S_ISFIFO(st.st_mode)) return Refusal::kFifo;
  if (!S_ISREG(st.st_mode)) return Refusal::kDevice;
  if (is_open_file(target_, input)) return Refusal::kIsInput;
  existed_ = true;
  links_ = static_cast<std::uint64_t>(st.st_nlink);
  if (links_ > 1) return Refusal::kHardLinks;
  // Could the user write it (as velkoran would open it)? Opened so without
  // truncating, it is left as it was.
  const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return Refusal::kNotOpened;
  close(fd);
  mode_ = static_cast<unsigned>(st.st_mode & 07777);
  uid_ = static_cast<unsigned>(st.st_uid);
  gid_ = static_cast<unsigned>(st.st_gid);
  return Refusal::kNone;
}

bool Replacement::settle() {
  std::FILE* f = temp_.file();
  const int fd = fileno(f);
  if (std::fflush(f) != 0) return false;
  if (existed_) {
    // Owner and group first: changing them clears the set-id bits.
    if (fchown(fd, static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)) != 0) {
      (void)!fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(gid_));
    }
  }
  if (keep_time_) {
    // Before 1970 too: the nanoseconds within the second are never negative.
    std::int64_t seconds = modified_ / 1000000000;
    std::int64_t nanoseconds = modified_ % 1000000000;
    if (nanoseconds < 0) nanoseconds += 1000000000, --seconds;
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
    if (futimens(fd, times) != 0) return false;
  }
  return fchmod(fd, static_cast<mode_t>(mode_)) == 0;
}

bool Replacement::commit() {
  std::FILE* f = temp_.file();
  if (f == nullptr) return false;
  finish();
  // The bytes, the mode and the time on the disk before the file takes the name.
  bool ok = settled_ && (syncs_ != nullptr ? syncs_->put_on_disk(f, place_) : sync_file(f));
  ok = temp_.close() && ok;
  ok = ok && std::rename(temp_.name().c_str(), target_.c_str()) == 0;
  if (!ok) {
    temp_.remove();
    return false;
  }
  temp_.keep();
  // The rename itself, on the disk: now, or once for the folder's renames.
  const std::string folder = folder_of(target_);
  if (syncs_ != nullptr) {
    syncs_->renamed_in(folder);
    return true;
  }
  sync_folder(folder);
  return true;
}

#endif

Replacement::Refusal Replacement::look_afresh(const std::string& name, std::FILE* input,
                                              Links links) {
  abandon();
  existed_ = false;
  error_ = 0;
  syncs_ = nullptr;
  finished_ = settled_ = false;
  place_ = 0;
  const Refusal r = look(name, input, links);
  if (r == Refusal::kNotOpened) error_ = last_error();
  return r;
}

Replacement::Refusal Replacement::would_open(const std::string& name, std::FILE* input,
                                             Links links) {
  const Refusal r = look_afresh(name, input, links);
  if (r != Refusal::kNone) return r;
  if (!could_create_in(folder_of(target_))) {
    error_ = last_error();
    return Refusal::kNotOpened;
  }
  return Refusal::kNone;
}

Replacement::Refusal Replacement::open(const std::string& name, std::FILE* input, Links links,
                                       Syncs* syncs) {
  if (const Refusal r = look_afresh(name, input, links); r != Refusal::kNone) return r;
#if !defined(_WIN32)
  if (!existed_) {
    // As a file created by name would be: what the umask leaves of rw-rw-rw-.
    // Read once: umask can only be read by setting it, and another job may
    // be between the two calls (its files are created 0600 either way).
    static const mode_t mask = [] {
      const mode_t m = umask(0);
      umask(m);
      return m;
    }();
    mode_ = 0666u & ~static_cast<unsigned>(mask);
  }
#endif
  if (!temp_.create(folder_of(target_))) {
    error_ = last_error();
    return Refusal::kNotOpened;
  }
  syncs_ = syncs;
  if (syncs_ != nullptr) syncs_->created(temp_.file());
  return Refusal::kNone;
}

std::string Replacement::why() const {
  return last_error_words(error_);
}

void Replacement::finish() {
  if (finished_ || temp_.file() == nullptr) return;
  finished_ = true;
  settled_ = settle();
  if (settled_ && syncs_ != nullptr) place_ = syncs_->finished();
}

void Replacement::abandon() {
  temp_.remove();
}

}  // namespace velkoran::platform
