#include "drop/convert_one.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "drop/done.hpp"
#include "drop/verify.hpp"
#include "platform/files.hpp"
#include "platform/quote.hpp"
#include "platform/replacement.hpp"
#include "prep/re_lay.hpp"
#include "velkoran/outcome.hpp"
#include "wave/convert.hpp"
#include "wave/header.hpp"
#include "wave/interrupt.hpp"
#include "wave/layout.hpp"
#include "wave/samples.hpp"

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;
using Refusal = platform::Replacement::Refusal;

// Integer PCM of any channel count, 8 bits too.
constexpr wave::Takes kTakes = wave::Takes::kAnyInteger;

// Tells the job how far the samples have come, and notes an RF64 output;
// the format tag is not shown.
class Watch final : public wave::Observer {
 public:
  explicit Watch(std::atomic<std::uint64_t>& read) : read_(read) {}
  void advance(std::uint64_t read, std::optional<std::uint64_t>) override { read_ = read; }
  void as_rf64() override { rf64 = true; }
  void stale_digest() override { stale = true; }
  bool rf64 = false;
  bool stale = false;

 private:
  std::atomic<std::uint64_t>& read_;
};

// A program's message as one line of the list: without the line feeds
// around it.
std::string as_line(std::string text) {
  while (!text.empty() && text.front() == '\n') text.erase(0, 1);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// velkoran's message.
std::string in_words(const front::Outcome& outcome, const std::string& name = "") {
  return as_line(front::text_of(outcome, name));
}

// Why nothing may be written at the output's name, `out` as a line shows it.
// `links` is the number of names of a file of several, `why` the system's
// words where nothing could be created.
std::string refused_output(Refusal refusal, const std::string& out, std::uint64_t links = 0,
                           const std::string& why = "") {
  const std::string name = platform::shown_name(out);
  switch (refusal) {
    case Refusal::kIsInput:
      return "its output's name, " + name + ", leads to the recording itself";
    case Refusal::kFolder:
      return "a folder stands at its output's name, " + name + ", and is left as it is";
    case Refusal::kFifo:
      return "a FIFO stands at its output's name, " + name + ", and is left as it is";
    case Refusal::kDevice:
      return "a device stands at its output's name, " + name + ", and is left as it is";
    case Refusal::kLink:
      return "a link stands at its output's name, " + name +
             ", and is left as it is: an output is never written through one";
    case Refusal::kHardLinks:
      return "its output's name, " + name + ", is a file of " + std::to_string(links) +
             " names (hard links), left as it is: replacing it would part them";
    case Refusal::kNone:
    case Refusal::kNotOpened:
      break;
  }
  return "its output, " + name + ", could not be created (" + why + ")";
}

// What velkoran's header pass makes of the input, writing nowhere; the
// input is rewound after it. `samples` says where its samples stand.
wave::Stop header_of(std::FILE* in, wave::Workspace& workspace, Samples& samples,
                     std::uint64_t& estimate) {
  wave::Stop stop;
  {
    wave::Reader reader(in, workspace.reader.get());
    wave::Writer nowhere(nullptr, wave::kMaxWaveLength, workspace.writer.get());
    wave::Observer none;  // the pass only looks
    wave::Handoff handoff;
    stop = wave::transcribe_header(reader, nowhere, none, handoff, nullptr, kTakes);
    if (!stop) {
      samples.at = reader.position();
      if (!wave::length_unknown(handoff.declared_data_size)) {
        samples.size = handoff.declared_data_size;
      }
      samples.block_align = handoff.channels * handoff.bytes_per_sample;
      const std::uint64_t length = reader.length().value_or(0);
      // Its size, to tell a dry run whether the output would be RF64.
      estimate = wave::estimate_output(handoff, nowhere.position(), length, false).length();
    }
  }
  std::rewind(in);
  return stop;
}

// Re-lays the input into `out` by velkoran-prep's code, through
// `workspace`'s buffers; the input is rewound after it.
prep::Outcome re_lay(std::FILE* in, wave::Writer& out, wave::Workspace& workspace,
                     prep::Changes& changes) {
  prep::Outcome outcome = prep::Outcome::kWritten;
  {
    wave::Reader reader(in, workspace.reader.get());
    outcome = prep::re_lay(reader, out, changes, kTakes);
    if (!out.flush() && outcome.written()) outcome = prep::Outcome::kWriteFailed;
  }
  std::rewind(in);
  return outcome;
}

// The folders below DEST that lead to the output's, made where missing: a
// name the program derives, so what stands there is never followed. In a
// dry run, nothing is made: `missing` says whether any would be, DEST
// itself included.
std::string make_folders(const Recording& r, const Options& options, bool& missing) {
  missing = false;
  if (!options.into || (r.mirror.empty() && !options.dry_run)) return "";
  // From DEST down: the mirror's folders are the last ones of out_folder,
  // and of out_shown as the lines show them.
  fs::path folder = path_of(r.out_folder).parent_path();  // out_folder ends in a separator
  fs::path shown = path_of(r.out_shown).parent_path();
  std::vector<std::pair<fs::path, fs::path>> chain;
  for (std::size_t i = 0; i < r.mirror.size(); ++i) {
    chain.emplace(chain.begin(), folder, shown);
    folder = folder.parent_path();
    shown = shown.parent_path();
  }
  if (options.dry_run) {
    // DEST, made where missing before any of them.
    std::error_code ec;
    if (platform::could_make_folder(name_of(folder), ec)) {
      missing = true;
      return "";
    }
  }
  for (const auto& [at, as_shown] : chain) {
    std::error_code ec;
    const bool made = options.dry_run ? platform::could_make_folder(name_of(at), ec)
                                      : fs::create_directory(at, ec);
    if (made) {
      // Every one below it is made too: nothing stands there.
      missing = true;
      if (options.dry_run) return "";
      continue;
    }
    if (ec || !fs::is_directory(fs::symlink_status(at, ec))) {
      return "its output's folder, " + platform::shown_name(name_of(as_shown)) +
             ", could not be made" +
             (ec ? " (" + platform::error_words(ec) + ")"
                 : ": something else stands there, left as it is");
    }
  }
  return "";
}

// Every byte of a float recording, from its first, into `out`, through the
// workspace's buffers: how it ended, in velkoran's words.
front::Outcome copied(std::FILE* in, std::FILE* out, wave::Workspace& workspace) {
  wave::Reader reader(in, workspace.reader.get());
  wave::Writer writer(out, UINT64_MAX, workspace.writer.get());
  const wave::Halted h = reader.copy_rest(writer);
  const bool flushed = writer.flush();
  if (h == wave::Halt::kStopped) return front::Outcome::kInterrupted;
  if (h == wave::Halt::kReadFailed) return front::Outcome::kReadFailed;
  if (h || !flushed) return front::Outcome::kWriteFailed;
  return front::Outcome::kConverted;
}

// Why velkoran-drop does not convert a recording its re-lay refused, where
// velkoran-prep's words (which speak of stereo, and offer a command) do not
// say it: empty where they do.
std::string refused_recording(const prep::Outcome& looked, const prep::Changes& changes) {
  const std::string n = std::to_string(looked.value);
  const std::string lose =
      " samples would lose precision in 32-bit floats (24 bits of mantissa): it is left as it is";
  switch (looked.kind) {
    case prep::Outcome::kFloat:
      if (looked.value == 64) return "its 64-bit floating-point" + lose;
      if (looked.value == 0) break;
      return "it holds " + n + "-bit floating-point samples, which no reader of WAVE files takes";
    case prep::Outcome::kWidth:
      if (looked.value == 32) return "its 32-bit integer" + lose;
      return "it holds " + n + "-bit samples; velkoran-drop converts 8, 16 and 24 bits";
    case prep::Outcome::kWidthAgainstBlock:
      return "it states " + n + "-bit samples in blocks of " + std::to_string(looked.other) +
             " bytes, which hold samples of another width: the two contradict each other, and "
             "which is right cannot be told";
    case prep::Outcome::kChannels:
      return "it states " + n + " channels; velkoran-drop converts 1 to " +
             std::to_string(wave::kMaxChannels);
    case prep::Outcome::kBlockAlign:
      break;
    default:
      return "";
  }
  return "it states a block alignment of " + std::to_string(changes.block_align) +
         " bytes, which holds no whole number of samples of its channels";
}

}  // namespace

Result convert_one(const Recording& r, const Options& options, std::atomic<std::uint64_t>& read,
                   wave::Workspace& workspace, platform::Syncs& syncs) {
  const std::string out_name = output_name(r);
  const std::string out_shown = output_shown(r);

  std::FILE* in = platform::open_input(r.path);
  if (in == nullptr) {
    const int error = errno;
    return {Result::kFailed,
            "it could not be opened (" +
                platform::error_words(std::error_code(error, std::generic_category())) + ")"};
  }
  std::setvbuf(in, nullptr, _IONBF, 0);
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{in};
  // What it holds, for the report, where it is converted or passed over.
  const auto stated = [&](Result done) {
    done.stats = stats_of(in, workspace);
    return done;
  };

  // What velkoran's conversion makes of it, and else what velkoran-prep's
  // re-lay would.
  Samples samples;
  std::uint64_t estimate = 0;
  const wave::Stop header = header_of(in, workspace, samples, estimate);
  if (wave::stop_requested()) return {Result::kInterrupted};
  // The re-laid file, described: read back from the input as it is
  // converted, it is never made.
  prep::Changes changes;
  wave::Layout layout;
  // A recording of 32-bit floats already: with --into, copied as it is.
  bool copy = false;
  if (header) {
    wave::Writer described(layout);
    const prep::Outcome looked = re_lay(in, described, workspace, changes);
    if (wave::stop_requested()) return {Result::kInterrupted};
    copy = looked.kind == prep::Outcome::kFloat && looked.value == 8 * wave::kOutBytesPerSample;
    if (copy && !options.into) return stated({Result::kPassedOver});
    if (looked.kind == prep::Outcome::kCopied) {
      // What velkoran takes as it is, but refused all the same: its words.
      return {Result::kRefused, in_words(front::Outcome(*header), r.name)};
    }
    if (!copy && looked.kind != prep::Outcome::kWritten) {
      const std::string why = refused_recording(looked, changes);
      return {
          Result::kRefused,
          !why.empty() ? why : as_line(prep::line_of(looked, r.shown, out_name, changes, "it"))};
    }
    samples = {changes.data_at, changes.data_size, changes.block_align};
  }
  const bool relaid = header.has_value() && !copy;
  const std::optional<platform::FileFacts> facts = platform::file_facts(in);
  if (!facts) {
    return {Result::kFailed,
            "it could not be read (" + platform::last_error_words(platform::last_error()) + ")"};
  }
  const std::uint64_t length = facts->size;
  if (!options.again &&
      already_converted(out_name, in, *facts, frames_written(samples, length), workspace, copy)) {
    Result done = stated({copy ? Result::kAlreadyCopied : Result::kAlready});
    if (!options.verify) return done;
    // An audit: the output as the done check found it, read against its
    // recording, and changed in nothing.
    std::FILE* output = platform::open_input(out_name);
    const std::string why =
        output == nullptr ? "it could not be opened" : differences(output, in, copy, workspace);
    if (output != nullptr) std::fclose(output);
    if (!why.empty()) {
      return {Result::kFailed, "its output, " + platform::shown_name(out_shown) +
                                   ", differs from its recording (" + why +
                                   "): --again converts it anew"};
    }
    done.verified = true;
    return done;
  }
  // What stands in the way of the output: its folders, what stands at its
  // name. A dry run asks the same questions, making nothing.
  bool missing = false;
  if (const std::string why = make_folders(r, options, missing); !why.empty()) {
    return {Result::kFailed, why};
  }
  // A plain format chunk stated extensible, for the output to state its
  // channels, is no change of the layout to tell.
  const bool told = relaid && changes.any();
  auto out = std::make_unique<platform::Replacement>();
  if (options.dry_run) {
    if (!missing) {
      if (const Refusal refusal =
              out->would_open(out_name, in, platform::Replacement::Links::kRefuse);
          refusal != Refusal::kNone) {
        return {Result::kRefused, refused_output(refusal, out_shown, out->links(), out->why())};
      }
    }
    if (copy) return stated({Result::kWouldCopy});
    const bool rf64 = relaid ? changes.past_riff : estimate > wave::kMaxWaveLength;
    return stated({told ? Result::kWouldRelay : Result::kWouldConvert,
                   told ? prep::describe(changes, true) : "", rf64});
  }
  if (const Refusal refusal =
          out->open(out_name, in, platform::Replacement::Links::kRefuse, &syncs);
      refusal != Refusal::kNone) {
    return {Result::kRefused, refused_output(refusal, out_shown, out->links(), out->why())};
  }
  std::setvbuf(out->file(), nullptr, _IONBF, 0);
  Watch watch(read);
  front::Outcome outcome = front::Outcome::kConverted;
  if (copy) {
    outcome = copied(in, out->file(), workspace);
  } else if (!relaid) {
    outcome = wave::convert(in, out->file(), watch, wave::kMaxWaveLength, &workspace, kTakes);
  } else {
    // Where the description stops short (a file of countless chunks), the
    // re-laying is done again, described from there on.
    const wave::LayoutSource::Again again = [in](wave::Layout& from_there) {
      std::rewind(in);
      wave::Reader reader(in);
      wave::Writer described(from_there);
      prep::Changes unused;
      return prep::re_lay(reader, described, unused, kTakes).kind == prep::Outcome::kWritten;
    };
    wave::LayoutSource relaid_file(layout, in, again);
    outcome =
        wave::convert(relaid_file, out->file(), watch, wave::kMaxWaveLength, &workspace, kTakes);
  }
  if (outcome.kind == front::Outcome::kInterrupted || wave::stop_requested()) {
    return {Result::kInterrupted};
  }
  if (!outcome.converted()) return {Result::kFailed, in_words(outcome)};
  // A digest the data does not have: the recording is not what it was when
  // the digest was made, and nothing is written of it.
  if (watch.stale) {
    return {Result::kRefused,
            "its MD5 chunk states a digest that its data does not have: the recording changed "
            "after its digest was made, and is left as it is"};
  }
  // Read back before it takes its name: what reached the file is what it
  // should be, or it never takes the name.
  if (options.verify) {
    if (const std::string why = differences(out->file(), in, copy, workspace); !why.empty()) {
      return {Result::kFailed, "verification: " + why};
    }
  }
  // Its recording's time, as cp -p keeps it: when the sound was recorded.
  out->keep_time(facts->modified);
  out->finish();
  Result done = copy ? stated({Result::kCopied})
                     : stated({told ? Result::kRelaidAndConverted : Result::kConverted,
                               told ? prep::describe(changes, true) : "", watch.rf64});
  done.verified = options.verify;
  done.output = std::move(out);
  return done;
}

void put_in_place(Result& result) {
  if (!result.output) return;
  if (wave::stop_requested()) {
    result = {Result::kInterrupted};
  } else if (!result.output->commit()) {
    result = {Result::kFailed, in_words(front::Outcome::kWriteFailed)};
  }
  result.output.reset();
}

}  // namespace velkoran::drop
