// velkoran-drop's command line: its options, then the paths of the
// recordings and folders to convert.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velkoran::drop {

struct Options {
  std::optional<std::string> into;  // --into DEST: the outputs go there, not beside each recording
  unsigned jobs = 0;                // --jobs N: recordings at once (0: as many as processors)
  bool again = false;               // --again: convert what was converted already too
  bool dry_run = false;             // --dry-run: say what would be done, and do nothing
  // --verify: each output read back against its recording before it takes
  // its name; each converted before, too (an audit).
  bool verify = false;
  // --files-from LIST: more paths, one a line ("-": standard input); with
  // --null, separated by NUL bytes.
  std::optional<std::string> files_from;
  bool null = false;
  std::optional<std::string> report;  // --report FILE: JSON Lines ("-": standard output)
  std::vector<std::string> paths;
};

enum class Parsed {
  kRun,
  kHelp,
  kVersion,
  kWrong,  // an unknown option, a missing or wrong value: `error` says which
};

// `args` are those after the program name. "--" ends the options: every
// argument after it is a path, "-x.wav" too.
Parsed parse(const std::vector<std::string>& args, Options& options, std::string& error);

// The paths of the list `options.files_from` names, after those given:
// false where it cannot be read, `error` then saying why.
bool read_list(Options& options, std::string& error);

// The usage line, and the help that --help prints.
extern const char kUsageLine[];
extern const char kHelp[];

}  // namespace velkoran::drop
