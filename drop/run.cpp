#include "drop/run.hpp"

#include <filesystem>
#include <system_error>

#include "app/progress.hpp"
#include "drop/one.hpp"
#include "drop/walk.hpp"

namespace velkoran::drop {
namespace {

constexpr char kUsage[] =
    "Give the recordings (.wav files) or the folders of them to convert. (ex velkoran-drop .)\n";
constexpr char kNoneFound[] = "No recording (.wav file) was found.\n";

// What became of one recording, as its line says it.
std::string what(const Result& r) {
  switch (r.kind) {
    case Result::kConverted:
      return "converted";
    case Result::kRelaidAndConverted:
      return "re-laid and converted (" + r.detail + ")";
    case Result::kRefused:
    case Result::kFailed:
      return "not converted: " + r.detail;
    case Result::kInterrupted:
      break;
  }
  return "interrupted";
}

class Lines {
 public:
  Lines(std::FILE* console, app::TerminalProgress& progress)
      : console_(console), progress_(progress) {}

  // A line, the indication taken off the screen first.
  void print(const std::string& text) {
    progress_.erase();
    std::fputs(text.c_str(), console_);
    std::fflush(console_);
  }

 private:
  std::FILE* console_;
  app::TerminalProgress& progress_;
};

}  // namespace

int run(const std::vector<std::string>& args, std::FILE* console, std::FILE* progress_to) {
  app::TerminalProgress progress(progress_to);
  Lines lines(console, progress);
  if (args.empty()) {
    lines.print(kUsage);
    return 1;
  }
  std::error_code ec;
  const std::filesystem::path start = std::filesystem::current_path(ec);

  std::vector<std::string> missing;
  const std::vector<Recording> found = find_recordings(args, missing);
  std::vector<std::string> not_converted;
  for (const std::string& m : missing) {
    const std::string line = m + ": not converted: Could not open " + m;
    lines.print(line + "\n");
    not_converted.push_back(line);
  }

  wave::Workspace workspace;
  std::size_t converted = 0;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Recording& r = found[i];
    progress.label(" " + std::to_string(i + 1) + " of " + std::to_string(found.size()) + ":");
    progress.tick();
    const Result result = convert_one(r, progress, workspace);
    std::filesystem::current_path(start, ec);
    const std::string line = r.shown + ": " + what(result);
    lines.print(line + "\n");
    if (result.kind == Result::kInterrupted) return 1;
    if (result.kind == Result::kConverted || result.kind == Result::kRelaidAndConverted) {
      ++converted;
    } else {
      not_converted.push_back(line);
    }
  }

  if (found.empty() && missing.empty()) {
    lines.print(kNoneFound);
    return 1;
  }
  const std::size_t all = found.size() + missing.size();
  if (not_converted.empty()) {
    lines.print(
        "\n" +
        std::string(all == 1 ? "The recording" : "All " + std::to_string(all) + " recordings") +
        " converted.\n");
    return 0;
  }
  std::string summary = "\n" + std::to_string(converted) + " of " + std::to_string(all) +
                        " recordings converted. Not converted:\n";
  for (const std::string& line : not_converted) summary += "  " + line + "\n";
  lines.print(summary);
  return 1;
}

}  // namespace velkoran::drop
