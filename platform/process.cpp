#include "platform/process.hpp"

#include "wave/interrupt.hpp"

#if defined(_WIN32)
#include <cwchar>

#include "platform/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace velkoran::platform {
namespace {

UINT g_console_cp = 0;  // the console's code page when the program started

// How Windows ends a process that Ctrl-C interrupted.
[[noreturn]] void exit_interrupted() {
  SetConsoleOutputCP(g_console_cp);
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// Runs on a thread of its own. Ctrl-C, Ctrl-Break and the console being
// closed ask the run to stop at the next block; a second one ends the
// process at once. Windows ends the process as soon as this returns for a
// closed console, so then it waits for the run to finish instead.
BOOL WINAPI on_console_event(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  int none = 0;
  if (!wave::stop_signal.compare_exchange_strong(none, static_cast<int>(event) + 1)) {
    exit_interrupted();
  }
  if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
  return TRUE;
}

}  // namespace

// The narrow argv of Windows holds only what the current code page can spell;
// the wide one holds every name, and becomes WTF-8 here (UTF-8 for any name
// that is valid UTF-16, and every other name too).
// The console handler ends the process from a thread of its own while the
// run's thread still has the file open, so it cannot remove it: a temporary
// file stays behind only then.
int remove_if_killed(const std::string&) {
  return -1;
}
void spare_if_killed(int) {}

int run_process(int argc, wchar_t** argv, int (*run)(const std::vector<std::string>& args),
                StopSignals) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(wtf8_from_utf16(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
  }
  // Messages are UTF-8; a console shows them as such only in code page 65001.
  // A redirected output gets the bytes as they are.
  g_console_cp = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCtrlHandler(on_console_event, TRUE);
  const int status = run(args);
  if (wave::stop_requested()) exit_interrupted();
  SetConsoleOutputCP(g_console_cp);
  return status;
}

}  // namespace velkoran::platform
#else
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace velkoran::platform {
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

// The signals that ask a run to stop: Ctrl-C, a batch job's timeout, a closed
// terminal or SSH session; and the other signals whose default is to end the
// process, for a run that must clean up first.
constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kOtherEndingSignals[] = {SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};

// The files to remove if a second signal ends the process at once: each name
// in a fixed buffer, which the handler reads only while its state says it is
// whole. Two for each conversion under way (an output, a re-laid file).
constexpr int kDoomedPlaces = 64;
enum : int { kFree, kWriting, kSet };
char g_doomed[kDoomedPlaces][4096];
std::atomic<int> g_doomed_state[kDoomedPlaces];

// The first asks the run to stop at the next block; a second ends the process
// at once, by that signal.
void on_stop_signal(int sig) {
  int none = 0;
  if (!wave::stop_signal.compare_exchange_strong(none, sig)) {
    for (int i = 0; i < kDoomedPlaces; ++i) {
      if (g_doomed_state[i].load() == kSet) unlink(g_doomed[i]);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
}

// Without SA_RESTART, so that a read waiting on a pipe or a terminal returns
// at once. A signal ignored when the program started (a background job of a
// script) stays ignored.
void catch_stop_signal(int sig) {
  struct sigaction old {};
  if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
  struct sigaction sa {};
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;
  sigaction(sig, &sa, nullptr);
}

void catch_stop_signals(StopSignals signals) {
  for (const int sig : kInterruptSignals) catch_stop_signal(sig);
  if (signals == StopSignals::kAllThatEnd) {
    for (const int sig : kOtherEndingSignals) catch_stop_signal(sig);
  }
}

}  // namespace

int remove_if_killed(const std::string& name) {
  if (name.empty() || name.size() >= sizeof g_doomed[0]) return -1;
  // Several conversions at once take and let go of places.
  for (int i = 0; i < kDoomedPlaces; ++i) {
    int free = kFree;
    if (!g_doomed_state[i].compare_exchange_strong(free, kWriting)) continue;
    std::memcpy(g_doomed[i], name.c_str(), name.size() + 1);
    g_doomed_state[i].store(kSet);
    return i;
  }
  return -1;
}

void spare_if_killed(int place) {
  if (place >= 0 && place < kDoomedPlaces) g_doomed_state[place].store(kFree);
}

int run_process(int argc, char** argv, int (*run)(const std::vector<std::string>& args),
                StopSignals signals) {
  if (!standard_descriptors_open()) return kFailure;
  // A write into a pipe whose reader has gone, or past the file-size limit,
  // then fails like any other write, with its message, instead of killing
  // the process without a word.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  catch_stop_signals(signals);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const int status = run(args);
  // The output is whole and closed: the process ends by the signal that
  // stopped it, so that whoever started it sees the interruption.
  if (const int sig = wave::stop_signal.load()) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
  }
  return status;
}

}  // namespace velkoran::platform
#endif
