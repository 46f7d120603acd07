// One recording converted, exactly as velkoran run in its folder with its
// name converts it, of any channel count and 8 bits too; where velkoran
// refuses it by its layout (a chunk before the format chunk,
// WAVE_FORMAT_EXTENSIBLE, RF64), first re-laid by velkoran-prep's code. A
// recording of 32-bit floats is passed over, and with --into copied. The output is written under a
// temporary name in its folder and takes its name only once it is whole: a refusal, a failure or a
// stop leaves no output, no temporary file, and an earlier output as it was. Nothing is written
// through what stands at the output's name.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "drop/options.hpp"
#include "drop/walk.hpp"
#include "platform/replacement.hpp"
#include "wave/workspace.hpp"

namespace velkoran::drop {

// What a recording holds, for the report.
struct Stats {
  std::uint64_t frames = 0;
  unsigned channels = 0;
  unsigned bits = 0;  // of each sample's container
  std::uint32_t rate = 0;
};

struct Result {
  enum Kind {
    kConverted,
    kRelaidAndConverted,  // with what the output keeps of the changes
    kAlready,             // converted before, and up to date
    kPassedOver,          // of 32-bit floats already, as the output would be
    kCopied,              // the same, with --into: copied as it is
    kAlreadyCopied,       // copied before, and up to date
    kWouldCopy,           // a dry run's
    kWouldConvert,        // a dry run's
    kWouldRelay,          // a dry run's, with the changes
    kRefused,             // by its header or its output's name: with why
    kFailed,              // part-way, or its files could not be opened: with why
    kInterrupted,         // by a signal
  };
  Kind kind;
  std::string detail = "";
  bool rf64 = false;                          // the output is (or would be) RF64
  bool verified = false;                      // read back, and found to be its recording's
  std::optional<Stats> stats = std::nullopt;  // where it was converted, copied or passed over
  // A converted or copied output, whole, waiting to be put in place.
  std::unique_ptr<platform::Replacement> output = nullptr;
};

// Converts `r`, telling `read` how many bytes of its input have been read,
// in the memory of `workspace`, which every recording of a job reuses. A
// converted or copied output is left to put_in_place(), to be put on the
// disk by `syncs` with the others of the run.
Result convert_one(const Recording& r, const Options& options, std::atomic<std::uint64_t>& read,
                   wave::Workspace& workspace, platform::Syncs& syncs);

// Puts the output `result` holds on the disk and renames it into place, in
// the walk's order while later recordings convert; a failure makes the
// result a failed one, and a stop an interrupted one (the output removed,
// as a stop leaves nothing that was not in place). Its folder is left to
// the run's Syncs, put on the disk once for all the renames there before
// the run says it is done.
void put_in_place(Result& result);

}  // namespace velkoran::drop
