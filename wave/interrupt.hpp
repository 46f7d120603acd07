// A request to end the run early, made by a signal (Ctrl-C, a batch job's
// timeout, a closed terminal) or, on Windows, by the console's control
// handler, which runs on a thread of its own. The conversion reads it at each
// block of samples, and after any read or write that came up short: a signal
// cuts a blocking read short. The run then ends with a whole, shorter file.
#pragma once

#include <atomic>

namespace velkoran::wave {

// The number of the signal (or console event) that asked the run to stop, 0
// while none has. Lock-free, so a signal handler may set it.
inline std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

inline bool stop_requested() {
  return stop_signal.load(std::memory_order_relaxed) != 0;
}

}  // namespace velkoran::wave
