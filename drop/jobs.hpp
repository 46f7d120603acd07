// Recordings converted several at once, in one process: each job with
// buffers of its own takes the next recording of the walk's order as soon as
// it is free, and the results come back in that order, on the calling
// thread, so that the lines are those one job at a time would print. A stop
// ends every conversion under way (each within 64 KiB of copying) and
// begins none.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "drop/convert_one.hpp"
#include "wave/workspace.hpp"

namespace velkoran::drop {

// Converts recording `index`, telling `read` how many bytes of its input
// have been read so far, in the memory of `workspace`.
using Convert =
    std::function<Result(std::size_t index, std::atomic<std::uint64_t>& read, wave::Workspace&)>;
// Takes the result of recording `index`.
using Take = std::function<void(std::size_t index, const Result&)>;
// Called a few times a second while the results wait, with the bytes read
// by the conversions under way.
using Meanwhile = std::function<void(std::uint64_t reading)>;

// Converts `count` recordings, `jobs` at once; gives how many were begun
// (fewer than `count` only after a stop), each of which `take` got.
std::size_t convert_in_turn(std::size_t count, unsigned jobs, const Convert& convert,
                            const Take& take, const Meanwhile& meanwhile);

// The processors this process may run on (1 where that cannot be told).
unsigned processors();

}  // namespace velkoran::drop
