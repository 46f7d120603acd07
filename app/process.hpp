// The life of the process around a run, the same for both programs: readying
// it (the standard streams, the signals, the Windows console), handing over
// its arguments as UTF-8, and ending it by the signal that interrupted the
// run, if one did.
#pragma once

#include <string>
#include <vector>

namespace velkoran::app {

#if defined(_WIN32)
using ArgChar = wchar_t;  // wmain: the wide, full-Unicode argument vector
#else
using ArgChar = char;
#endif

// The arguments after the program name, in UTF-8 (WTF-8 on Windows); the
// result of `run` is the process exit status. A run that a signal (on
// Windows: Ctrl-C, Ctrl-Break, a closed console) asked to stop, through
// wave::stop_signal, ends the process by that signal once `run` has returned.
int run_process(int argc, ArgChar** argv, int (*run)(const std::vector<std::string>& args));

}  // namespace velkoran::app
