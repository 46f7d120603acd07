#include "program.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velkoran::test {
namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The command that starts a program: the build's own binary, or whatever the
// variable says (a Windows build under Wine, for instance).
std::string program_command(const char* variable, const char* exe) {
  const char* cmd = std::getenv(variable);
  return cmd != nullptr && *cmd != '\0' ? std::string(cmd) : quote(exe);
}

// Text-mode consoles (Windows) turn each line feed into CR LF; that is the
// one difference the tests accept.
std::string normalise_console(std::string s) {
  if (!testing_windows_build()) return s;
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

}  // namespace

bool testing_windows_build() {
  const char* windows = std::getenv("VELKORAN_TEST_WINDOWS");
  return windows != nullptr && *windows != '\0';
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto base = fs::temp_directory_path();
  for (;;) {
    path_ =
        base / ("velkoran-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

RunResult run(const std::string& program, const fs::path& dir, const std::vector<std::string>& args,
              const Shell& shell) {
  const fs::path out = dir / ".console";
  const fs::path err = dir / ".errors";
  std::string cmd = "cd " + quote(dir.string()) + " && ";
  if (!shell.before.empty()) cmd += shell.before + " && ";
  // A shell that writes its process id, then becomes the program.
  if (shell.as_user && running_as_root() && !testing_windows_build()) {
    cmd +=
        "setpriv --reuid=" + std::to_string(shell.uid) + " --regid=" + std::to_string(shell.uid) +
        " " +
        (shell.groups.empty() ? std::string("--clear-groups ") : "--groups=" + shell.groups + " ");
  }
  if (shell.pid_file) cmd += "sh -c 'echo $$ >.pid && exec \"$0\" \"$@\"' ";
  cmd += program;
  for (const auto& a : args) cmd += " " + quote(a);
  cmd += shell.closed_std_streams ? " <&- >&-"
                                  : " >" + quote(out.string()) + " <" + quote(shell.input);
  cmd += " 2>" + quote(err.string());
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cmd.c_str());
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : WIFSIGNALED(rc) ? 128 + WTERMSIG(rc) : -1;
  if (!shell.closed_std_streams) r.console = normalise_console(read_file(out));
  r.errors = read_file(err);
  // The program itself never writes there: whatever is there came from the
  // launcher (Wine, say), and a failing test should show it.
  if (!r.errors.empty()) std::cerr << "standard error of `" << cmd << "`:\n" << r.errors << '\n';
  fs::remove(out);
  fs::remove(err);
  return r;
}

}  // namespace

bool running_as_root() {
  return ::geteuid() == 0;
}

Shell signal_after(std::size_t bytes, const std::string& signal) {
  // Every wait looks at what the program does, for 30 s at most: whether it
  // waits on its read (Linux names where a process sleeps), or has ended.
  Shell shell{"mkfifo in.wav && { { head -c " + std::to_string(bytes) +
              " delivered; i=0; until [ -s .pid ] || [ $i -ge 3000 ]; do sleep 0.01; "
              "i=$((i + 1)); done; p=$(cat .pid); waits() { case $(cat /proc/$p/wchan "
              "2>/dev/null) in *pipe_read) return 0;; esac; return 1; }; i=0; until waits || [ "
              "$i -ge 3000 ]; do sleep 0.01; i=$((i + 1)); done; kill -" +
              signal +
              " $p; i=0; while kill -0 $p 2>/dev/null && ! waits && [ $i -lt 3000 ]; do sleep "
              "0.01; i=$((i + 1)); done; ! kill -0 $p 2>/dev/null || : >.fifo-closed; } "
              ">in.wav & }"};
  shell.pid_file = true;
  return shell;
}

RunResult run_program(const fs::path& dir, const std::vector<std::string>& args,
                      const Shell& shell) {
  return run(program_command("VELKORAN_TEST_COMMAND", VELKORAN_EXE), dir, args, shell);
}

RunResult run_prep(const fs::path& dir, const std::vector<std::string>& args, const Shell& shell) {
  return run(program_command("VELKORAN_TEST_PREP_COMMAND", VELKORAN_PREP_EXE), dir, args, shell);
}

RunResult run_drop(const fs::path& dir, const std::vector<std::string>& args, const Shell& shell) {
  return run(program_command("VELKORAN_TEST_DROP_COMMAND", VELKORAN_DROP_EXE), dir, args, shell);
}

void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
}

std::string read_file(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + p.string());
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string banner(const std::string& name) {
  return "\n Convert " + name + " to Velkoran format (velkoran-" + name + ")\n\n";
}

}  // namespace velkoran::test
