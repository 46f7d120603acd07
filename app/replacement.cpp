#include "app/replacement.hpp"

#include <chrono>
#include <random>

#include "app/files.hpp"
#include "app/process.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include "app/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velkoran::app {
namespace {

// Names already taken (a leftover of a killed run, another run beside this
// one) are passed over; this many in a row means the folder refuses files.
constexpr int kAttempts = 100;

// The folder part of a name, with its separator ("" for a bare name).
std::string folder_of(const std::string& name) {
#if defined(_WIN32)
  const std::size_t at = name.find_last_of("\\/");
#else
  const std::size_t at = name.rfind('/');
#endif
  return at == std::string::npos ? std::string() : name.substr(0, at + 1);
}

std::uint64_t draw_at_random() {
  static std::mt19937_64 draw{
      std::random_device{}() ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
  return draw();
}

// A short name that does not grow with the output's, so that an output name
// at the file system's limit still has a new file beside it: a dot, so it
// stays out of listings, and a part drawn at random.
std::string temp_name(const std::string& folder, std::uint64_t drawn) {
  char part[9];
  std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(drawn & 0xFFFFFFFFu));
  return folder + ".velkoran-" + part + ".tmp";
}

#if defined(_WIN32)
std::wstring wide(const std::string& name) {
  const std::u16string units = utf16_from_wtf8(name);
  return std::wstring(units.begin(), units.end());
}

std::string narrow(const std::wstring& name) {
  return wtf8_from_utf16(std::u16string(name.begin(), name.end()));
}

HANDLE handle_of(std::FILE* f) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
}

// The file a link leads to, by its full name; the name itself where it is no link.
bool follow_links(const std::string& name, std::string& target) {
  target = name;
  const DWORD attributes = GetFileAttributesW(wide(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  const HANDLE h =
      CreateFileW(wide(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // a link that leads nowhere
  wchar_t final_name[32768];
  const DWORD n = GetFinalPathNameByHandleW(h, final_name, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= 32768) return false;
  target = narrow(std::wstring(final_name, n));
  return true;
}
#else
// The file a chain of symbolic links leads to, each relative one read from
// the folder of its link; the name itself where it is no link. False where
// the chain cannot be followed (a loop, a folder that cannot be read).
bool follow_links(const std::string& name, std::string& target) {
  target = name;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISLNK(st.st_mode)) return true;
    std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(target.c_str(), &to[0], to.size());
    if (n < 0 || static_cast<std::size_t>(n) >= to.size()) return false;
    to.resize(static_cast<std::size_t>(n));
    target = to.front() == '/' ? to : folder_of(target) + to;
  }
  return false;
}
#endif

}  // namespace

#if defined(_WIN32)
Replacement::Refusal Replacement::look(const std::string& name, std::FILE* input) {
  if (!follow_links(name, target_)) return Refusal::kNotOpened;
  // What the name leads to, opened without access: a device name (NUL, CON)
  // opens as the device.
  const HANDLE h =
      CreateFileW(wide(target_).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
  const HANDLE w = CreateFileW(wide(target_).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (w == INVALID_HANDLE_VALUE) return Refusal::kNotOpened;
  CloseHandle(w);
  return Refusal::kNone;
}

Replacement::Refusal Replacement::open(const std::string& name, std::FILE* input) {
  abandon();
  existed_ = false;
  if (const Refusal r = look(name, input); r != Refusal::kNone) return r;
  for (int i = 0; i < kAttempts && file_ == nullptr; ++i) {
    temp_ = temp_name(folder_of(target_), (draw_ != nullptr ? draw_ : draw_at_random)());
    const HANDLE h = CreateFileW(wide(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_FILE_EXISTS) break;
      continue;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(h);
      break;
    }
    file_ = _fdopen(fd, "wb");
    if (file_ == nullptr) _close(fd);
  }
  if (file_ == nullptr) {
    if (!temp_.empty()) DeleteFileW(wide(temp_).c_str());
    temp_.clear();
    return Refusal::kNotOpened;
  }
  return Refusal::kNone;
}

bool Replacement::commit() {
  if (file_ == nullptr) return false;
  bool ok = std::fflush(file_) == 0 && FlushFileBuffers(handle_of(file_)) != 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (ok) {
    // The old file's attributes and access list stay with the name.
    ok = (existed_ && ReplaceFileW(wide(target_).c_str(), wide(temp_).c_str(), nullptr,
                                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0) ||
         MoveFileExW(wide(temp_).c_str(), wide(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileW(wide(temp_).c_str());
  temp_.clear();
  return ok;
}

void Replacement::abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) DeleteFileW(wide(temp_).c_str());
  temp_.clear();
}

#else
Replacement::Refusal Replacement::look(const std::string& name, std::FILE* input) {
  if (!follow_links(name, target_)) return Refusal::kNotOpened;
  struct stat st {};
  if (stat(target_.c_str(), &st) != 0) {
    return errno == ENOENT ? Refusal::kNone : Refusal::kNotOpened;
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
  const int fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refusal::kNotOpened;
  close(fd);
  mode_ = static_cast<unsigned>(st.st_mode & 07777);
  uid_ = static_cast<unsigned>(st.st_uid);
  gid_ = static_cast<unsigned>(st.st_gid);
  return Refusal::kNone;
}

Replacement::Refusal Replacement::open(const std::string& name, std::FILE* input) {
  abandon();
  existed_ = false;
  if (const Refusal r = look(name, input); r != Refusal::kNone) return r;
  if (!existed_) {
    // As a file created by name would be: what the umask leaves of rw-rw-rw-.
    const mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666u & ~static_cast<unsigned>(mask);
  }
  for (int i = 0; i < kAttempts && file_ == nullptr; ++i) {
    temp_ = temp_name(folder_of(target_), (draw_ != nullptr ? draw_ : draw_at_random)());
    // Exclusive: never a file or a link that stood there already.
    const int fd =
        ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      temp_.clear();
      if (errno != EEXIST) break;
      continue;
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
      close(fd);
      unlink(temp_.c_str());
      temp_.clear();
      break;
    }
  }
  if (file_ == nullptr) return Refusal::kNotOpened;
  remove_if_killed(temp_);
  return Refusal::kNone;
}

bool Replacement::commit() {
  if (file_ == nullptr) return false;
  const int fd = fileno(file_);
  bool ok = std::fflush(file_) == 0 && fsync(fd) == 0;
  if (ok && existed_) {
    // Owner and group first: changing them clears the set-id bits.
    if (fchown(fd, static_cast<uid_t>(uid_), static_cast<gid_t>(gid_)) != 0) {
      (void)!fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(gid_));
    }
  }
  ok = ok && fchmod(fd, static_cast<mode_t>(mode_)) == 0;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  ok = ok && std::rename(temp_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    unlink(temp_.c_str());
  } else {
    // The rename itself, on the disk.
    const std::string folder = folder_of(target_);
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      (void)fsync(dir);
      close(dir);
    }
  }
  temp_.clear();
  remove_if_killed(std::string());
  return ok;
}

void Replacement::abandon() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
  remove_if_killed(std::string());
}
#endif

}  // namespace velkoran::app
