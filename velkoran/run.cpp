#include "velkoran/run.hpp"

#include <cstdio>

#include "platform/files.hpp"
#include "platform/progress.hpp"
#include "wave/convert.hpp"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velkoran::front {
namespace {

bool is_terminal(std::FILE* f) {
#if defined(_WIN32)
  return _isatty(_fileno(f)) != 0;
#else
  return isatty(fileno(f)) != 0;
#endif
}

// What the conversion tells the front end on the way: the tag line, printed
// at once, and how far it has come, shown on a terminal after that line.
class RunObserver final : public wave::Observer {
 public:
  RunObserver(Console& console, platform::TerminalProgress& progress, bool console_on_terminal)
      : console_(console), progress_(progress), console_on_terminal_(console_on_terminal) {}

  void format_tag(std::uint16_t tag) override {
    const std::size_t printed = console_.format_tag(tag);
    // Where the console text is not on the terminal, the indication starts
    // the line the shell left the cursor on.
    progress_.after(console_on_terminal_ ? printed : 0);
  }
  void advance(std::uint64_t read, std::optional<std::uint64_t> length) override {
    progress_.advance(read, length);
  }

 private:
  Console& console_;
  platform::TerminalProgress& progress_;
  bool console_on_terminal_;
};

}  // namespace

Outcome convert_into(std::FILE* in, std::FILE* original, const std::string& out_name,
                     wave::Observer& observer) {
  std::FILE* out = platform::open_output(out_name, original);
  if (out == nullptr) return Outcome::kOutputNotOpened;
  // The conversion buffers small reads and writes itself: a stdio buffer
  // under it would copy every header byte once more (blocks of samples pass
  // by stdio's buffer either way).
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  Outcome outcome = wave::convert(in, out, observer);
  // A failure to close the output is a failed write like any other, unless
  // the run has already failed.
  if (std::fclose(out) != 0 && outcome.converted()) outcome = Outcome::kWriteFailed;
  return outcome;
}

Status run(const std::vector<std::string>& args, Console& console) {
  if (args.size() != 1) return console.end(Outcome::kWrongArgumentCount);
  const std::string& in_name = args[0];
  // The prefix goes before the whole argument, directory part included.
  const std::string out_name = platform::output_name_of(in_name);

  console.banner(in_name, out_name);

  std::FILE* in = platform::open_input(in_name);
  if (in == nullptr) return console.end(Outcome::kInputNotOpened, in_name);
  // Shown on standard error, where that is a terminal, and erased before
  // the run's last message.
  platform::TerminalProgress progress(stderr);
  RunObserver observer(console, progress, is_terminal(stdout));
  const Outcome outcome = convert_into(in, in, out_name, observer);
  progress.erase();
  std::fclose(in);
  return console.end(outcome, out_name);
}

}  // namespace velkoran::front
