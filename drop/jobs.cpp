#include "drop/jobs.hpp"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "wave/interrupt.hpp"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sched.h>
#endif

namespace velkoran::drop {

std::size_t convert_in_turn(std::size_t count, unsigned jobs, const Convert& convert,
                            const Take& take, const Meanwhile& meanwhile) {
  if (jobs == 0) jobs = 1;
  if (jobs > count) jobs = static_cast<unsigned>(count);
  std::mutex m;
  std::condition_variable ready;
  std::vector<std::optional<Result>> results(count);
  std::size_t begun = 0;  // under m: the recordings taken by a job
  const std::unique_ptr<std::atomic<std::uint64_t>[]> reading(new std::atomic<std::uint64_t>[jobs]);
  for (unsigned k = 0; k < jobs; ++k) reading[k] = 0;

  const auto work = [&](unsigned k) {
    wave::Workspace workspace;
    for (;;) {
      std::size_t i = 0;
      {
        std::lock_guard<std::mutex> lock(m);
        // After a stop, nothing more is begun.
        if (begun == count || wave::stop_requested()) break;
        i = begun++;
      }
      Result result = convert(i, reading[k], workspace);
      {
        std::lock_guard<std::mutex> lock(m);
        results[i] = std::move(result);
        reading[k] = 0;
      }
      ready.notify_all();
    }
    ready.notify_all();
  };
  std::vector<std::thread> threads;
  for (unsigned k = 0; k < jobs; ++k) threads.emplace_back(work, k);

  // Each result in the walk's order, as soon as it and all before it are
  // there; the end once every recording begun has been taken, and no more
  // can be (all done, or a stop: a job looks at it under the lock).
  std::size_t taken = 0;
  std::unique_lock<std::mutex> lock(m);
  for (;;) {
    if (taken < count && results[taken]) {
      const Result result = std::move(*results[taken]);
      results[taken].reset();
      lock.unlock();
      take(taken, result);
      lock.lock();
      ++taken;
      continue;
    }
    if (taken == count || (taken == begun && wave::stop_requested())) break;
    std::uint64_t now = 0;
    for (unsigned k = 0; k < jobs; ++k) now += reading[k];
    lock.unlock();
    meanwhile(now);
    lock.lock();
    // What came while the lock was let go is not waited for.
    ready.wait_for(lock, std::chrono::milliseconds(100), [&] {
      return (taken < count && results[taken]) || (taken == begun && wave::stop_requested());
    });
  }
  lock.unlock();
  for (std::thread& t : threads) t.join();
  return begun;
}

unsigned processors() {
#if defined(_WIN32)
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned n = 0;
    for (; process != 0; process &= process - 1) ++n;
    return n;
  }
#else
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
#endif
  const unsigned n = std::thread::hardware_concurrency();
  return n != 0 ? n : 1;
}

}  // namespace velkoran::drop
