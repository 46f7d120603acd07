#include "app/run.hpp"

#include <filesystem>
#include <system_error>

#include "app/files.hpp"
#include "wave/convert.hpp"
#include "wave/outcome.hpp"

namespace velkoran::app {
namespace {

constexpr char kUsageMessage[] = "Give a single filename as argument to this program. (ex sim.wav)";
constexpr char kBannerFormat[] = "\n Convert %s to Velkoran format (%s)\n\n";
constexpr char kCannotOpenInputFormat[] = "Could not open %s";
constexpr char kCannotOpenOutputFormat[] = "Could not open %s\n";
constexpr char kOutputPrefix[] = "velkoran-";

bool is_directory(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_directory(to_path(name), ec);
}

// True when both names lead to one file, through a link for instance.
bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(to_path(a), to_path(b), ec) && !ec;
}

}  // namespace

int run(const std::vector<std::string>& args, std::FILE* console) {
  if (args.size() != 1) {
    std::fputs(kUsageMessage, console);
    return kFailure;
  }
  const std::string& in_name = args[0];
  // The prefix goes before the whole argument, directory part included.
  const std::string out_name = kOutputPrefix + in_name;

  std::fprintf(console, kBannerFormat, in_name.c_str(), out_name.c_str());

  // A directory opens for reading on some systems; it is never a recording.
  std::FILE* in = is_directory(in_name) ? nullptr : open_file(in_name, "rb");
  if (in == nullptr) {
    std::fprintf(console, kCannotOpenInputFormat, in_name.c_str());
    return kFailure;
  }
  // Opening the output truncates it: never do that to the recording itself.
  std::FILE* out = same_file(in_name, out_name) ? nullptr : open_file(out_name, "wb");
  if (out == nullptr) {
    std::fprintf(console, kCannotOpenOutputFormat, out_name.c_str());
    std::fclose(in);
    return kFailure;
  }

  // The conversion reads and writes in blocks of its own: a stream buffer
  // would only split each block into two system calls.
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  int status = wave::convert(in, out, console);
  std::fclose(in);
  // The output's last buffer reaches the disk here: a failure now is a failed
  // write like any other, unless the run has already failed.
  if (std::fclose(out) != 0 && status == kSuccess) {
    std::fputs(kWriteFailedMessage, console);
    status = kFailure;
  }
  return status;
}

}  // namespace velkoran::app
