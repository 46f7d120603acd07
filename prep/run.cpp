#include "prep/run.hpp"

#include <cstdio>

#include "app/files.hpp"
#include "prep/relay.hpp"

namespace velkoran::prep {
namespace {

// A new file beside the output, which takes its place only once it is whole:
// a refusal, a failure or an interruption never leaves half a file under the
// output's name, nor replaces a good one there.
std::FILE* create_beside(const std::string& out_name, std::string& temp_name) {
  for (int i = 0; i < 100; ++i) {
    temp_name = out_name + ".velkoran-prep-" + std::to_string(i) + ".tmp";
    if (std::FILE* f = app::create_new(temp_name)) return f;
  }
  return nullptr;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console) {
  if (args.size() != 2) return console.end(Outcome::kWrongArgumentCount, "", "");
  const std::string& in_name = args[0];
  const std::string& out_name = args[1];

  std::FILE* in = app::open_input(in_name);
  if (in == nullptr) return console.end(Outcome::kInputNotOpened, in_name, out_name);
  if (app::is_open_file(out_name, in)) {
    std::fclose(in);
    return console.end(Outcome::kOutputIsInput, in_name, out_name);
  }
  std::string temp_name;
  std::FILE* out = create_beside(out_name, temp_name);
  if (out == nullptr) {
    std::fclose(in);
    return console.end(Outcome::kOutputNotOpened, in_name, out_name);
  }

  // The stream layer buffers small reads and writes itself.
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out, nullptr, _IONBF, 0);
  Changes changes;
  Outcome outcome = Outcome::kWritten;
  {
    wave::Reader reader(in);
    wave::Writer writer(out);
    outcome = relay(reader, writer, changes);
    if (!writer.flush() && outcome.written()) outcome = Outcome::kWriteFailed;
  }
  std::fclose(in);
  if (std::fclose(out) != 0 && outcome.written()) outcome = Outcome::kWriteFailed;
  if (outcome.written() && !app::replace_file(temp_name, out_name)) {
    outcome = Outcome::kOutputNotOpened;
  }
  if (!outcome.written()) app::remove_file(temp_name);
  return console.end(outcome, in_name, out_name, changes);
}

}  // namespace velkoran::prep
