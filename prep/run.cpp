#include "prep/run.hpp"

#include <cstdio>

#include "platform/files.hpp"
#include "platform/replacement.hpp"
#include "prep/re_lay.hpp"

namespace velkoran::prep {
namespace {

// Why the output's name may not be written, as this program says it.
Outcome refused(platform::Replacement::Refusal refusal, std::uint64_t links) {
  using Refusal = platform::Replacement::Refusal;
  switch (refusal) {
    case Refusal::kIsInput:
      return Outcome::kOutputIsInput;
    case Refusal::kFolder:
      return Outcome::kOutputFolder;
    case Refusal::kFifo:
      return Outcome::kOutputFifo;
    case Refusal::kDevice:
      return Outcome::kOutputDevice;
    case Refusal::kHardLinks:
      return Outcome(Outcome::kOutputLinked, static_cast<std::uint32_t>(links));
    case Refusal::kNone:
    case Refusal::kLink:  // a name the user gave is followed
    case Refusal::kNotOpened:
      break;
  }
  return Outcome::kOutputNotOpened;
}

}  // namespace

int run(const std::vector<std::string>& args, Console& console) {
  if (args.size() != 2) return console.end(Outcome::kWrongArgumentCount, "", "");
  const std::string& in_name = args[0];
  const std::string& out_name = args[1];

  std::FILE* in = platform::open_input(in_name);
  if (in == nullptr) return console.end(Outcome::kInputNotOpened, in_name, out_name);
  // A new file beside the output, which takes its place only once it is
  // whole: a refusal, a failure or an interruption never leaves half a file
  // under the output's name, nor replaces a good one there.
  platform::Replacement out;
  if (const auto refusal = out.open(out_name, in);
      refusal != platform::Replacement::Refusal::kNone) {
    std::fclose(in);
    return console.end(refused(refusal, out.links()), in_name, out_name);
  }

  // The stream layer buffers small reads and writes itself.
  std::setvbuf(in, nullptr, _IONBF, 0);
  std::setvbuf(out.file(), nullptr, _IONBF, 0);
  Changes changes;
  Outcome outcome = Outcome::kWritten;
  {
    wave::Reader reader(in);
    wave::Writer writer(out.file());
    outcome = re_lay(reader, writer, changes);
    if (!writer.flush() && outcome.written()) outcome = Outcome::kWriteFailed;
  }
  std::fclose(in);
  if (outcome.written() && !out.commit()) outcome = Outcome::kWriteFailed;
  out.abandon();
  return console.end(outcome, in_name, out_name, changes);
}

}  // namespace velkoran::prep
