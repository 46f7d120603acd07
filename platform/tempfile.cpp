#include "platform/tempfile.hpp"

#include <chrono>
#include <random>

#include "platform/process.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>

#include "platform/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace velkoran::platform {
namespace {

// Names already taken (a leftover of a killed run, another run beside this
// one) are passed over; this many in a row means the folder refuses files.
constexpr int kAttempts = 100;

std::uint64_t draw_at_random() {
  // One generator for each thread: several conversions at once draw names.
  thread_local std::mt19937_64 draw{
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
// Exclusively, for reading and writing; nullptr where the name is taken
// (`taken`) or the folder refuses.
std::FILE* create_new(const std::string& name, bool& taken) {
  const HANDLE h = CreateFileW(wide_from_wtf8(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  taken = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    DeleteFileW(wide_from_wtf8(name).c_str());
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, "w+b");
  if (f == nullptr) {
    _close(fd);
    DeleteFileW(wide_from_wtf8(name).c_str());
  }
  return f;
}

void unlink_name(const std::string& name) {
  DeleteFileW(wide_from_wtf8(name).c_str());
}
#else
// Exclusively, for reading and writing, never through a link that stood
// there: nullptr where the name is taken (`taken`) or the folder refuses.
std::FILE* create_new(const std::string& name, bool& taken) {
  const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  taken = fd < 0 && errno == EEXIST;
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "w+b");
  if (f == nullptr) {
    ::close(fd);
    ::unlink(name.c_str());
  }
  return f;
}

void unlink_name(const std::string& name) {
  ::unlink(name.c_str());
}
#endif

}  // namespace

std::string folder_of(const std::string& name) {
#if defined(_WIN32)
  const std::size_t at = name.find_last_of("\\/");
#else
  const std::size_t at = name.rfind('/');
#endif
  return at == std::string::npos ? std::string() : name.substr(0, at + 1);
}

bool TempFile::create(const std::string& folder) {
  remove();
  for (int i = 0; i < kAttempts; ++i) {
    const std::string name = temp_name(folder, (draw_ != nullptr ? draw_ : draw_at_random)());
    bool taken = false;
    file_ = create_new(name, taken);
    if (file_ != nullptr) {
      name_ = name;
      doomed_ = remove_if_killed(name_);
      return true;
    }
    if (!taken) return false;
  }
  return false;
}

bool TempFile::close() {
  if (file_ == nullptr) return false;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  return ok;
}

void TempFile::keep() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  name_.clear();
  spare_if_killed(doomed_);
  doomed_ = -1;
}

void TempFile::remove() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!name_.empty()) unlink_name(name_);
  name_.clear();
  spare_if_killed(doomed_);
  doomed_ = -1;
}

}  // namespace velkoran::platform
