// Recordings converted several at once, in one process: each job with
// buffers of its own takes the next recording of the walk's order as soon as
// it is free, and the results are taken in that order, one at a time, on
// the calling thread, so that the lines are those one job at a time would
// print, and taking one (putting its output in place) never holds up a
// conversion. A stop ends every conversion under way (each within 64 KiB
// of copying) and begins none.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "drop/convert_one.hpp"
#include "wave/workspace.hpp"

namespace velkoran::drop {

// Gives the next recording of the walk; false once there is none. Called
// by one job at a time.
using Next = std::function<bool(Recording&)>;
// Converts `r`, telling `read` how many bytes of its input have been read
// so far, in the memory of `workspace`.
using Convert =
    std::function<Result(const Recording& r, std::atomic<std::uint64_t>& read, wave::Workspace&)>;
// Takes the result of `r`, which it may change: on the calling thread
// (where no job could start, the one conversion there), never while
// another result is taken or `meanwhile` runs.
using Take = std::function<void(const Recording& r, Result&)>;
// Called a few times a second on the calling thread while the conversions
// run, with the bytes they have read; never while a result is taken.
using Meanwhile = std::function<void(std::uint64_t reading)>;

// No job begins a recording this many places ahead of the first result not
// yet taken: what waits to be taken stays bounded, whatever the number of
// recordings.
inline constexpr std::size_t kMostAhead = 64;

// Converts every recording `next` gives, `jobs` at once; gives how many
// were begun, each of which `take` got.
std::size_t convert_in_turn(const Next& next, unsigned jobs, const Convert& convert,
                            const Take& take, const Meanwhile& meanwhile);

// The processors this process may run on (1 where that cannot be told).
unsigned processors();

}  // namespace velkoran::drop
