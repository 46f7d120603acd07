#include "drop/one.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/files.hpp"
#include "app/outcome.hpp"
#include "app/run.hpp"
#include "app/tempfile.hpp"
#include "prep/relay.hpp"
#include "wave/header.hpp"
#include "wave/interrupt.hpp"

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

// Tells the progress indication how far the samples have come; the format
// tag is not shown.
class Watch final : public wave::Observer {
 public:
  explicit Watch(app::TerminalProgress& progress) : progress_(progress) {}
  void advance(std::uint64_t read, std::optional<std::uint64_t> length) override {
    progress_.advance(read, length);
  }

 private:
  app::TerminalProgress& progress_;
};

bool enter(const std::string& folder) {
  std::error_code ec;
  fs::current_path(path_of(folder), ec);
  return !ec;
}

// A program's message as one line of the list: without the line feeds
// around it.
std::string as_line(std::string text) {
  while (!text.empty() && text.front() == '\n') text.erase(0, 1);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// velkoran's message.
std::string in_words(const app::Outcome& outcome, const std::string& name) {
  return as_line(app::text_of(outcome, name));
}

Result ended(const app::Outcome& outcome, const std::string& name, Result::Kind if_converted,
             const std::string& detail) {
  if (outcome.converted()) return {if_converted, detail};
  if (outcome.kind == app::Outcome::kInterrupted) return {Result::kInterrupted, ""};
  return {Result::kFailed, in_words(outcome, name)};
}

// Whether velkoran takes the file as it is: its own header pass, writing
// nowhere. The input is rewound after it.
wave::Stop header_of(std::FILE* in, wave::Workspace& workspace) {
  wave::Stop stop;
  {
    wave::Reader reader(in, workspace.reader.get());
    wave::Writer nowhere(nullptr, wave::kMaxWaveLength, workspace.writer.get());
    wave::Observer none;  // the pass only looks
    wave::Handoff handoff;
    stop = wave::transcribe_header(reader, nowhere, none, handoff);
  }
  std::rewind(in);
  return stop;
}

}  // namespace

Result convert_one(const Recording& r, app::TerminalProgress& progress,
                   wave::Workspace& workspace) {
  const std::string out_name = app::kOutputPrefix + r.name;
  // From the recording's folder, by its name, as velkoran run there.
  if (!enter(r.folder)) return {Result::kFailed, in_words(app::Outcome::kInputNotOpened, r.folder)};
  std::FILE* in = app::open_input(r.name);
  if (in == nullptr) return {Result::kFailed, in_words(app::Outcome::kInputNotOpened, r.name)};
  std::setvbuf(in, nullptr, _IONBF, 0);
  Watch watch(progress);

  const wave::Stop header = header_of(in, workspace);
  if (!header) {
    const app::Outcome outcome = app::convert_into(in, out_name, watch, nullptr, &workspace);
    std::fclose(in);
    return ended(outcome, out_name, Result::kConverted, "");
  }
  if (header->kind == wave::End::kInterrupted || wave::stop_requested()) {
    std::fclose(in);
    return {Result::kInterrupted, ""};
  }

  // Refused: velkoran-prep's code may re-lay it, into a new file beside it.
  app::TempFile relaid;
  if (!relaid.create("")) {
    std::fclose(in);
    return {Result::kFailed, in_words(app::Outcome::kOutputNotOpened, out_name)};
  }
  prep::Changes changes;
  prep::Outcome outcome = prep::Outcome::kWritten;
  {
    wave::Reader reader(in, workspace.reader.get());
    wave::Writer writer(relaid.file(), wave::kMaxWaveLength, workspace.writer.get());
    outcome = prep::relay(reader, writer, changes);
    if (!writer.flush() && outcome.written()) outcome = prep::Outcome::kWriteFailed;
  }
  if (outcome.kind == prep::Outcome::kWritten) {
    std::rewind(relaid.file());
    const app::Outcome converted =
        app::convert_into(relaid.file(), out_name, watch, in, &workspace);
    relaid.remove();
    std::fclose(in);
    return ended(converted, out_name, Result::kRelaidAndConverted, prep::describe(changes));
  }
  relaid.remove();
  std::fclose(in);
  if (outcome.kind == prep::Outcome::kInterrupted) return {Result::kInterrupted, ""};
  // What velkoran takes as it is but refused all the same: velkoran's words.
  if (outcome.kind == prep::Outcome::kCopied) {
    return {Result::kRefused, in_words(app::Outcome(*header), r.name)};
  }
  return {Result::kRefused, as_line(prep::line_of(outcome, r.shown, out_name, changes, "it"))};
}

}  // namespace velkoran::drop
