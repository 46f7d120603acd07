// A file name as it must be typed into the platform's shell for a command
// to receive it unchanged: the suggested commands the programs print are
// meant to be copied and run.
#pragma once

#include <string>

namespace velkoran::platform {

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

// Why no quoting can make `shell` pass `name` on unchanged and run nothing
// else, where none can: a control character (a line feed would end the
// command), or, for cmd and PowerShell, a % $ or ` that they expand even
// between double quotes. Empty where quote_for_shell can.
std::string unquotable(const std::string& name, Shell shell = Shell::kNative);

// `name` as a line shows it: every control character (a line feed, an
// escape, the C1 controls of UTF-8) written as a backslash and its octal
// bytes, as `ls -b` writes them, so that no name can forge a line or drive
// the terminal; on POSIX a backslash is doubled, so the escapes cannot be
// forged either.
std::string shown_name(const std::string& name);

}  // namespace velkoran::platform
