// One recording converted beside itself, exactly as velkoran run in its
// folder with its name converts it; where velkoran refuses it by its layout
// (a chunk before the format chunk, WAVE_FORMAT_EXTENSIBLE, RF64), first
// re-laid by velkoran-prep's code into a new file beside it, which goes again
// on every path. A file whose header shows it cannot be converted leaves
// nothing beside it; one that fails part-way keeps what velkoran keeps.
#pragma once

#include <string>

#include "app/progress.hpp"
#include "drop/walk.hpp"
#include "wave/workspace.hpp"

namespace velkoran::drop {

struct Result {
  enum Kind {
    kConverted,
    kRelaidAndConverted,  // with what was changed
    kRefused,             // by its header: with why, in velkoran-prep's words or velkoran's
    kFailed,              // part-way, or its files could not be opened: in velkoran's words
    kInterrupted,         // by a signal
  };
  Kind kind;
  std::string detail;
};

// Converts `r`, telling `progress` how far it has come, in the memory of
// `workspace`, which every recording of a run reuses.
Result convert_one(const Recording& r, app::TerminalProgress& progress, wave::Workspace& workspace);

}  // namespace velkoran::drop
