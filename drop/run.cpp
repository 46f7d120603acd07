#include "drop/run.hpp"

#include <atomic>
#include <filesystem>
#include <map>
#include <system_error>

#include "drop/convert_one.hpp"
#include "drop/jobs.hpp"
#include "drop/options.hpp"
#include "drop/report.hpp"
#include "drop/walk.hpp"
#include "platform/print.hpp"
#include "platform/progress.hpp"
#include "platform/quote.hpp"
#include "wave/interrupt.hpp"

#ifndef VELKORAN_VERSION
#define VELKORAN_VERSION "unknown"
#endif

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

constexpr char kNoPaths[] =
    "Give the recordings (.wav files) or the folders of them to convert. (ex velkoran-drop .)\n";
constexpr char kNoneFound[] = "No recording (.wav file) was found.\n";

const char* const kRf64 =
    ", as RF64: its output passes 4 GiB, which some readers cannot open (see velkoran-drop(1))";

// What became of one recording, as its line says it.
std::string what(const Result& r, bool dry_run) {
  const std::string rf64 = r.rf64 ? kRf64 : "";
  const std::string verified = r.verified ? " and verified" : "";
  switch (r.kind) {
    case Result::kConverted:
      return "converted" + verified + rf64;
    case Result::kRelaidAndConverted:
      return (r.verified ? "re-laid, converted and verified" : "re-laid and converted") + rf64 +
             " (" + r.detail + ")";
    case Result::kAlready:
      return r.verified ? "already converted, verified" : "already converted";
    case Result::kPassedOver:
      return "passed over: it holds 32-bit floats already, as its output would";
    case Result::kCopied:
      return "copied as it is" + verified + ": it holds 32-bit floats already";
    case Result::kAlreadyCopied:
      return r.verified ? "already copied, verified" : "already copied";
    case Result::kWouldCopy:
      return "would copy it as it is: it holds 32-bit floats already";
    case Result::kWouldConvert:
      return "would convert" + rf64;
    case Result::kWouldRelay:
      return "would re-lay and convert" + rf64 + " (" + r.detail + ")";
    case Result::kRefused:
    case Result::kFailed:
      return (dry_run ? "would not convert: " : "not converted: ") + r.detail;
    case Result::kInterrupted:
      break;
  }
  return "interrupted";
}

class Lines {
 public:
  Lines(std::FILE* console, platform::TerminalProgress& progress)
      : console_(console), progress_(progress) {}

  // A line, the indication taken off the screen first.
  void print(const std::string& text) {
    progress_.erase();
    platform::print(console_, text);
  }
  // The lines go to `f` from now on (standard error, where the report takes
  // standard output).
  void to(std::FILE* f) { console_ = f; }

 private:
  std::FILE* console_;
  platform::TerminalProgress& progress_;
};

std::string recordings(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " recording" : " recordings");
}

// The summary at the end: how many converted, and every one that was not.
struct Tally {
  std::size_t all = 0;
  std::size_t converted = 0;  // already converted ones too
  std::size_t already = 0;
  std::string not_converted;  // their lines, indented
  std::size_t failures = 0;   // how many
  std::size_t verified = 0;   // read back against their recordings

  std::string summary(bool dry_run, bool interrupted, std::size_t not_reached) const {
    std::string s = "\n";
    if (interrupted) {
      s += "Interrupted: " + std::to_string(converted) + " of " + recordings(all) + " converted, " +
           std::to_string(not_reached) + " not reached.";
    } else if (dry_run) {
      s += "Nothing was written: " + std::to_string(converted - already) + " of " +
           recordings(all) + " would be converted, " + std::to_string(already) +
           " converted already.";
    } else if (not_converted.empty() && all == 1) {
      s += already == 0 ? "The recording converted." : "The recording was converted already.";
    } else if (not_converted.empty() && already == 0) {
      s += "All " + recordings(all) + " converted.";
    } else {
      s += not_converted.empty()
               ? "All " + recordings(all) + " converted"
               : std::to_string(converted) + " of " + recordings(all) + " converted";
      if (already != 0) s += " (" + std::to_string(already) + " of them before this run)";
      s += ".";
    }
    if (verified != 0) {
      s += " " + std::to_string(verified) + " verified against " +
           (verified == 1 ? "its recording." : "their recordings.");
    }
    if (not_converted.empty()) return s + "\n";
    return s + (dry_run ? " Would not convert:\n" : " Not converted:\n") + not_converted;
  }
};

// DEST, made where missing (not its parents); in a dry run, only asked
// whether it could be, the same refusals said.
bool destination(const std::string& given, bool dry_run, Destination& into, std::string& error) {
  std::error_code ec;
  const fs::path p = path_of(given);
  const bool made = dry_run ? platform::could_make_folder(given, ec) : fs::create_directory(p, ec);
  std::error_code ignored;
  if (!made && !fs::is_directory(fs::status(p, ignored))) {
    // Why the folder could not be made: a name taken, or the system's words.
    const bool taken = !ec || ec == std::errc::file_exists;
    error = "velkoran-drop: the folder " + platform::shown_name(given) + " could not be made" +
            (taken ? ": a file stands there" : " (" + platform::error_words(ec) + ")") + "\n";
    return false;
  }
  into.given = given;
  into.full = name_of(fs::absolute(p, ec));
  if (!into.full.empty() && into.full.back() != '/' && into.full.back() != '\\') {
    into.full += static_cast<char>(fs::path::preferred_separator);
  }
  return true;
}

}  // namespace

int run(const std::vector<std::string>& args, std::FILE* console, std::FILE* errors) {
  platform::TerminalProgress progress(errors);
  Lines lines(console, progress);
  Options options;
  std::string error;
  switch (parse(args, options, error)) {
    case Parsed::kHelp:
      lines.print(std::string(kUsageLine) + "\n" + kHelp);
      return 0;
    case Parsed::kVersion:
      lines.print(std::string("velkoran-drop ") + VELKORAN_VERSION + "\n");
      return 0;
    case Parsed::kWrong:
      // Not into what a script collects of the lines: a mistake of its own.
      platform::print(errors, error + kUsageLine);
      return kUsageError;
    case Parsed::kRun:
      break;
  }
  if (options.files_from && !read_list(options, error)) {
    platform::print(errors, error + kUsageLine);
    return kUsageError;
  }
  if (options.paths.empty()) {
    lines.print(kNoPaths);
    return 1;
  }
  Report report;
  if (options.report) {
    if (*options.report == "-") lines.to(errors);
    if (!report.open(*options.report, console, error)) {
      lines.print(error);
      return 1;
    }
  }
  // The report's summary, and the report in place: a status 1 where it
  // could not be written.
  const auto ending = [&](const Counts& counts, bool stopped, int status) {
    if (report.is_open() && !report.finish(counts, options.dry_run, stopped)) {
      lines.print("velkoran-drop: the report " + platform::shown_name(*options.report) +
                  " could not be written in full\n");
      return status == 0 ? 1 : status;
    }
    return status;
  };
  std::optional<Destination> into;
  if (options.into) {
    into.emplace();
    if (!destination(*options.into, options.dry_run, *into, error)) {
      lines.print(error);
      return ending({}, false, 1);
    }
  }

  // On a terminal, a first walk counts the recordings and their bytes, for
  // the indication of how far the whole job has come; the second one
  // converts them. Elsewhere that one is the only one.
  std::size_t count = 0;
  std::uint64_t all_bytes = 0;
  if (progress.on_terminal()) {
    RecordingWalk counting(options.paths, into);
    for (Recording r; counting.next(r);) {
      ++count;
      all_bytes += r.size;
    }
    if (count == 0) {
      lines.print(kNoneFound);
      return ending({}, false, 1);
    }
  }

  // The outputs, put on the disk together, and their folders once, at the end.
  platform::Syncs syncs;
  RecordingWalk walk(options.paths, into);
  const Next next = [&](Recording& r) { return walk.next(r); };
  std::atomic<std::uint64_t> finished{0};  // bytes of the recordings done
  const Convert convert = [&](const Recording& r, std::atomic<std::uint64_t>& read,
                              wave::Workspace& workspace) -> Result {
    Result result{Result::kFailed, r.problem};
    if (!r.output_taken_by.empty()) {
      // Two recordings of one run never write one output: the first in the
      // walk's order has it, whatever order the jobs end in.
      result = {Result::kRefused, "its output, " + platform::shown_name(output_shown(r)) +
                                      ", is that of " + platform::shown_name(r.output_taken_by) +
                                      ", converted before it"};
    } else if (r.problem.empty()) {
      result = convert_one(r, options, read, workspace, syncs);
    }
    finished += r.size;
    return result;
  };
  Tally tally;
  std::size_t taken = 0;
  const Take take = [&](const Recording& r, Result& result) {
    // Its line once its output is in place.
    put_in_place(result);
    const std::string line = platform::shown_name(r.shown) + ": " + what(result, options.dry_run);
    lines.print(line + "\n");
    if (report.is_open()) report.record(r, result, options.dry_run);
    if (result.verified) ++tally.verified;
    switch (result.kind) {
      case Result::kAlready:
      case Result::kAlreadyCopied:
        ++tally.already;
        [[fallthrough]];
      case Result::kPassedOver:
      case Result::kCopied:
      case Result::kWouldCopy:
      case Result::kConverted:
      case Result::kRelaidAndConverted:
      case Result::kWouldConvert:
      case Result::kWouldRelay:
        ++tally.converted;
        break;
      default:
        tally.not_converted += "  " + line + "\n";
        ++tally.failures;
    }
    ++taken;
    progress.label(" " + std::to_string(taken) + " of " + std::to_string(std::max(count, taken)) +
                   " done,");
  };
  const Meanwhile meanwhile = [&](std::uint64_t reading) {
    progress.advance(finished + reading, all_bytes);
  };
  const unsigned jobs = options.jobs != 0 ? options.jobs : processors();
  progress.label(" 0 of " + std::to_string(count) + " done,");
  const std::size_t begun = convert_in_turn(next, jobs, convert, take, meanwhile);
  // Every rename on the disk before the run says it is done.
  syncs.sync_folders();
  // A stop ends the job: nothing more is begun, and what the walk finds
  // past it was not reached (counted by the first walk, where there was one).
  const bool stopped = wave::stop_requested();
  if (begun == 0 && !stopped) {
    lines.print(kNoneFound);
    return ending({}, false, 1);
  }
  std::size_t not_reached = 0;
  if (stopped && progress.on_terminal()) {
    not_reached = count > begun ? count - begun : 0;
  } else if (stopped) {
    for (Recording r; walk.next(r);) ++not_reached;
  }
  tally.all = begun + not_reached;
  lines.print(tally.summary(options.dry_run, stopped, not_reached));
  return ending(
      {tally.all, tally.converted, tally.already, tally.failures, not_reached, tally.verified},
      stopped, stopped || !tally.not_converted.empty() ? 1 : 0);
}

}  // namespace velkoran::drop
