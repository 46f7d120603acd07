// A file name as it must be typed into the platform's shell for a command
// to receive it unchanged: the suggested commands the programs print are
// meant to be copied and run.
#pragma once

#include <string>

namespace velkoran::app {

enum class Shell {
  kPosix,  // sh, bash, zsh: single quotes
  kCmd,    // cmd.exe and PowerShell: double quotes
#if defined(_WIN32)
  kNative = kCmd,
#else
  kNative = kPosix,
#endif
};

// `name` quoted where it holds anything but letters, digits and . _ - + / \ :
// (a space, a quote, $ & ; | and the like), and led by "./" or ".\" where it
// starts with "-", which a command would take for an option.
std::string quote_for_shell(const std::string& name, Shell shell = Shell::kNative);

}  // namespace velkoran::app
