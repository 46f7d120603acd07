#include "platform/syncs.hpp"

#if defined(_WIN32)
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sys/utsname.h>
#include <sys/vfs.h>
#endif

namespace velkoran::platform {
namespace {

#if defined(__linux__)
// Whether one syncfs puts every file of `fd`'s file system on the disk, the
// drive's cache too, and tells of any failure to write one since the handle
// it is given was opened: on the file systems whose own sync commits their
// journal or log with a cache flush, and on kernels that tell (5.8 on).
bool one_sync_serves(int fd) {
  static const bool tells = [] {
    utsname u{};
    unsigned major = 0;
    unsigned minor = 0;
    return uname(&u) == 0 && std::sscanf(u.release, "%u.%u", &major, &minor) == 2 &&
           (major > 5 || (major == 5 && minor >= 8));
  }();
  struct statfs sf {};
  if (!tells || fstatfs(fd, &sf) != 0) return false;
  switch (static_cast<unsigned long>(sf.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
      return true;
    default:
      return false;
  }
}

std::uint64_t device_of(int fd, bool& known) {
  struct stat st {};
  known = fstat(fd, &st) == 0;
  return static_cast<std::uint64_t>(st.st_dev);
}
#endif

}  // namespace

bool sync_file(std::FILE* f) {
#if defined(_WIN32)
  return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)))) != 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

void sync_folder(const std::string& folder) {
#if !defined(_WIN32)
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)fsync(dir);
    close(dir);
  }
#else
  (void)folder;
#endif
}

Syncs::~Syncs() {
#if defined(__linux__)
  for (const auto& [device, whole] : whole_) {
    if (whole.handle >= 0) close(whole.handle);
  }
#endif
}

void Syncs::created(std::FILE* f) {
#if defined(__linux__)
  const int fd = fileno(f);
  bool known = false;
  const std::uint64_t device = device_of(fd, known);
  const std::lock_guard<std::mutex> lock(m_);
  if (!known || whole_.count(device) != 0 || !one_sync_serves(fd)) return;
  // The first file of the run there: a second handle to it tells of every
  // failure to write there from now on.
  const int handle = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (handle >= 0) whole_[device].handle = handle;
#else
  (void)f;
#endif
}

std::uint64_t Syncs::finished() {
  const std::lock_guard<std::mutex> lock(m_);
  return ++finished_;
}

bool Syncs::put_on_disk(std::FILE* f, std::uint64_t place) {
#if defined(__linux__)
  const int fd = fileno(f);
  bool known = false;
  const std::uint64_t device = device_of(fd, known);
  const std::lock_guard<std::mutex> lock(m_);
  const auto whole = whole_.find(device);
  if (place != 0 && known && whole != whole_.end() && whole->second.handle >= 0) {
    Whole& w = whole->second;
    if (w.covered >= place) return true;
    // Every file finished so far, this one among them, in one sync.
    const std::uint64_t now = finished_;
    if (syncfs(w.handle) == 0) {
      w.covered = now;
      return true;
    }
    // A failure somewhere there, told once: from now on each file's own
    // sync there tells whether it is one that failed.
    close(w.handle);
    w.handle = -1;
  }
#else
  (void)place;
#endif
  return sync_file(f);
}

void Syncs::renamed_in(const std::string& folder) {
  const std::lock_guard<std::mutex> lock(m_);
  folders_.insert(folder);
}

void Syncs::sync_folders() {
  const std::lock_guard<std::mutex> lock(m_);
  for (const std::string& folder : folders_) sync_folder(folder);
  folders_.clear();
}

}  // namespace velkoran::platform
