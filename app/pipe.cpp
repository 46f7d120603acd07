#include "app/pipe.hpp"

#include <utility>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velkoran::app {

bool make_pipe(std::FILE*& read_end, std::FILE*& write_end) {
  int fds[2];
#if defined(_WIN32)
  if (_pipe(fds, 1 << 20, _O_BINARY | _O_NOINHERIT) != 0) return false;
  read_end = _fdopen(fds[0], "rb");
  write_end = _fdopen(fds[1], "wb");
#else
  if (pipe(fds) != 0) return false;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#if defined(F_SETPIPE_SZ)
  // Room for a few blocks of samples, so that the two ends wait on each
  // other seldom (where the system allows it; the default 64 KiB else).
  (void)fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
#endif
  read_end = fdopen(fds[0], "rb");
  write_end = fdopen(fds[1], "wb");
#endif
  if (read_end != nullptr && write_end != nullptr) return true;
  for (const auto& [f, fd] : {std::pair<std::FILE*, int>{read_end, fds[0]}, {write_end, fds[1]}}) {
    if (f != nullptr) {
      std::fclose(f);
    } else {
#if defined(_WIN32)
      _close(fd);
#else
      ::close(fd);
#endif
    }
  }
  return false;
}

}  // namespace velkoran::app
