// Entry point: hands the arguments, as UTF-8, to the run sequence and turns
// its result into the process exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "app/run.hpp"

#if defined(_WIN32)
#include <filesystem>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The narrow argv of Windows holds only what the current code page can spell;
// the wide one holds every name, and becomes UTF-8 here.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(std::filesystem::path(argv[i]).u8string());
  // Messages are UTF-8; a console shows them as such only in code page 65001.
  // A redirected output gets the bytes as they are.
  const UINT console_cp = GetConsoleOutputCP();
  SetConsoleOutputCP(CP_UTF8);
  velkoran::Console console(stdout);
  const int status = velkoran::app::run(args, console);
  std::fflush(stdout);
  SetConsoleOutputCP(console_cp);
  return status;
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  velkoran::Console console(stdout);
  const int status = velkoran::app::run(args, console);
  std::fflush(stdout);
  return status;
}
#endif
