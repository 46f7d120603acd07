// Entry point: readies the process, hands the arguments, as UTF-8, to the run
// sequence and turns its result into the process exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "app/run.hpp"

#if defined(_WIN32)
#include <cwchar>

#include "app/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The narrow argv of Windows holds only what the current code page can spell;
// the wide one holds every name, and becomes WTF-8 here (UTF-8 for any name
// that is valid UTF-16, and every other name too).
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(
        velkoran::app::wtf8_from_utf16(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
  }
  // Messages are UTF-8; a console shows them as such only in code page 65001.
  // A redirected output gets the bytes as they are.
  const UINT console_cp = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  velkoran::Console console(stdout);
  const int status = velkoran::app::run(args, console);
  SetConsoleOutputCP(console_cp);
  return status;
}
#else
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whoever started the program may have left descriptor 0, 1 or 2 closed.
// The output file would then be given descriptor 1, and the console text
// would be written into it: the null device takes each such place first.
bool standard_descriptors_open() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (open("/dev/null", O_RDWR) != fd) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!standard_descriptors_open()) return velkoran::kFailure;
  // A write into a pipe whose reader has gone, or past the file-size limit,
  // then fails like any other write, with its message, instead of killing
  // the process without a word.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  velkoran::Console console(stdout);
  return velkoran::app::run(args, console);
}
#endif
