#include "app/run.hpp"

#include <cstdio>

#include "app/files.hpp"
#include "app/progress.hpp"
#include "wave/convert.hpp"

namespace velkoran::app {
namespace {

constexpr char kOutputPrefix[] = "velkoran-";

}  // namespace

Status run(const std::vector<std::string>& args, Console& console) {
  if (args.size() != 1) return console.end(Outcome::kWrongArgumentCount);
  const std::string& in_name = args[0];
  // The prefix goes before the whole argument, directory part included.
  const std::string out_name = kOutputPrefix + in_name;

  console.banner(in_name, out_name);

  std::FILE* in = open_input(in_name);
  if (in == nullptr) return console.end(Outcome::kInputNotOpened, in_name);
  std::FILE* out = open_output(out_name, in);
  if (out == nullptr) {
    std::fclose(in);
    return console.end(Outcome::kOutputNotOpened, out_name);
  }

  // The conversion buffers small reads and writes itself: a stdio buffer
  // under it would copy every header byte once more (blocks of samples pass
  // by stdio's buffer either way).
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  // Shown on standard error, where that is a terminal, and erased before
  // the run's last message.
  TerminalProgress progress(stderr);
  Outcome outcome = wave::convert(in, out, console, wave::kMaxWaveLength, &progress);
  progress.erase();
  std::fclose(in);
  // A failure to close the output is a failed write like any other, unless
  // the run has already failed.
  if (std::fclose(out) != 0 && outcome.converted()) outcome = Outcome::kWriteFailed;
  return console.end(outcome);
}

}  // namespace velkoran::app
