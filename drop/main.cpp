// Entry point of velkoran-drop: the process around one job of recordings.
// On Windows it is what a user drops files and folders on: started so, its
// console window is its own, and it waits for a key before that closes.
#include <cstdio>
#include <new>

#include "drop/run.hpp"
#include "platform/process.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
// A console that no other process shares was opened for this one (a drop,
// a double click), and closes with it; one started from a prompt shares
// the prompt's.
bool console_of_its_own() {
  DWORD processes[2];
  DWORD mode = 0;
  return GetConsoleProcessList(processes, 2) == 1 &&
         GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void wait_for_a_key() {
  std::fputs("\nPress a key to close this window.", stdout);
  std::fflush(stdout);
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  FlushConsoleInputBuffer(in);
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputW(in, &record, 1, &read) || read == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}
#endif

int convert_all(const std::vector<std::string>& args) {
  int status = 1;
  try {
    status = velkoran::drop::run(args, stdout, stderr);
  } catch (const std::bad_alloc&) {
    // Not even one job's buffers: nothing was begun.
    std::fputs("velkoran-drop: there is not enough memory to convert anything.\n", stdout);
  }
#if defined(_WIN32)
  if (console_of_its_own()) wait_for_a_key();
#endif
  return status;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  return velkoran::platform::run_process(argc, argv, convert_all,
                                         velkoran::platform::StopSignals::kAllThatEnd);
}
#else
int main(int argc, char** argv) {
  return velkoran::platform::run_process(argc, argv, convert_all,
                                         velkoran::platform::StopSignals::kAllThatEnd);
}
#endif
