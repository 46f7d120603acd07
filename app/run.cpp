#include "app/run.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/files.hpp"
#include "wave/convert.hpp"

namespace velkoran::app {
namespace {

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

Status run(const std::vector<std::string>& args, Console& console) {
  if (args.size() != 1) return console.end(Outcome::kWrongArgumentCount);
  const std::string& in_name = args[0];
  // The prefix goes before the whole argument, directory part included.
  const std::string out_name = kOutputPrefix + in_name;

  console.banner(in_name, out_name);

  // A directory opens for reading on some systems; it is never a recording.
  std::FILE* in = is_directory(in_name) ? nullptr : open_file(in_name, "rb");
  if (in == nullptr) return console.end(Outcome::kInputNotOpened, in_name);
  // Opening the output truncates it: never do that to the recording itself.
  std::FILE* out = same_file(in_name, out_name) ? nullptr : open_file(out_name, "wb");
  if (out == nullptr) {
    std::fclose(in);
    return console.end(Outcome::kOutputNotOpened, out_name);
  }

  // The conversion buffers small reads and writes itself, and moves sample
  // blocks straight through: a stdio buffer would only add copies.
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  Outcome outcome = wave::convert(in, out, console);
  std::fclose(in);
  // A failure to close the output is a failed write like any other, unless
  // the run has already failed.
  if (std::fclose(out) != 0 && outcome.converted()) outcome = Outcome::kWriteFailed;
  return console.end(outcome);
}

}  // namespace velkoran::app
