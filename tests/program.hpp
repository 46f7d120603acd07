// Runs the real program in a fresh temporary folder and collects what a user
// would see: console bytes, exit status, and the files it leaves behind.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "wav_builder.hpp"

namespace velkoran::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / fs::u8path(name); }

 private:
  fs::path path_;
};

struct RunResult {
  int status = -1;      // 128 + the signal's number where a signal ended it
  std::string console;  // standard output, byte for byte
  std::string errors;   // standard error: the program never writes there
  double seconds = 0;   // how long it took, from the shell's start
};

// True when VELKORAN_TEST_WINDOWS is set: VELKORAN_TEST_COMMAND then runs the
// Windows build (under Wine, say).
bool testing_windows_build();

// How the shell starts the program.
struct Shell {
  std::string before;               // commands run first, in `dir` (a ulimit, say)
  bool closed_std_streams = false;  // standard input and output closed: no console
  bool pid_file = false;            // the program's process id written to `dir`/.pid first
  // The program run as a user who owns nothing here (nobody) where the tests
  // run as root, whom no file's permissions refuse (not the Windows build,
  // whose read-only attribute refuses everyone).
  bool as_user = false;
  std::string groups = "";          // with as_user: its groups besides its own (none where empty)
  std::string input = "/dev/null";  // what standard input reads, in `dir`
  unsigned uid = 65534;             // with as_user: the user, and group (nobody's)
};

// True when the tests run as root.
bool running_as_root();

// Starts the program (its process id written to .pid first) on a FIFO named
// in.wav that delivers the first `bytes` of the file "delivered" and, once
// the program has taken them all and waits on its read for more, sends it
// `signal` ("INT", "TERM", ...). The FIFO stays open, delivering nothing
// more, until the program ends, or waits on its read again (a signal
// ignored, or a read that it did not cut short): then the FIFO is closed
// and the file .fifo-closed made.
Shell signal_after(std::size_t bytes, const std::string& signal);

// Runs the program with `args` from inside `dir`.
RunResult run_program(const fs::path& dir, const std::vector<std::string>& args,
                      const Shell& shell = Shell());
// The same with velkoran-prep (VELKORAN_TEST_PREP_COMMAND overrides it as
// VELKORAN_TEST_COMMAND does velkoran).
RunResult run_prep(const fs::path& dir, const std::vector<std::string>& args,
                   const Shell& shell = Shell());
// The same with velkoran-drop (VELKORAN_TEST_DROP_COMMAND).
RunResult run_drop(const fs::path& dir, const std::vector<std::string>& args,
                   const Shell& shell = Shell());

void write_file(const fs::path& p, const std::string& bytes);
inline void write_file(const fs::path& p, const Bytes& b) {
  write_file(p, b.str());
}
std::string read_file(const fs::path& p);

// What the program prints before it opens any file, for input name `name`.
std::string banner(const std::string& name);

}  // namespace velkoran::test
