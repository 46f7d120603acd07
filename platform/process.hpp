// The life of the process around a run, the same for both programs: readying
// it (the standard streams, the signals, the Windows console), handing over
// its arguments as UTF-8, and ending it by the signal that interrupted the
// run, if one did.
#pragma once

#include <string>
#include <vector>

namespace velkoran::platform {

// The process exit statuses: every refusal and every failure is kFailure.
enum Status : int { kSuccess = 0, kFailure = 1 };

#if defined(_WIN32)
using ArgChar = wchar_t;  // wmain: the wide, full-Unicode argument vector
#else
using ArgChar = char;
#endif

// Which signals ask a run to stop. On Windows, either is Ctrl-C, Ctrl-Break
// and the console being closed.
enum class StopSignals {
  // SIGINT, SIGTERM, SIGHUP: Ctrl-C, a batch job's timeout, a closed
  // terminal or SSH session.
  kInterrupts,
  // Those, and every other signal that ends a process by default and can be
  // caught (SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2): for a run that must clean up.
  kAllThatEnd,
};

// The arguments after the program name, in UTF-8 (WTF-8 on Windows); the
// result of `run` is the process exit status. A run that a signal asked to
// stop, through wave::stop_signal, ends the process by that signal once
// `run` has returned; a second signal ends it at once.
int run_process(int argc, ArgChar** argv, int (*run)(const std::vector<std::string>& args),
                StopSignals signals = StopSignals::kInterrupts);

// A file the process removes if a second signal ends it at once, before the
// run could clean up after itself (a temporary file). Gives the place it
// holds (a few can be held at once: a re-laid file and an output), -1
// where none was free; spare_if_killed(place) lets it go again.
int remove_if_killed(const std::string& name);
void spare_if_killed(int place);

}  // namespace velkoran::platform
