#include "drop/jobs.hpp"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
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

std::size_t convert_in_turn(const Next& next, unsigned jobs, const Convert& convert,
                            const Take& take, const Meanwhile& meanwhile) {
  if (jobs == 0) jobs = 1;
  struct Done {
    Recording recording;
    Result result;
  };
  std::mutex walking;  // held by the job that walks
  std::mutex showing;  // held while a result is taken, or the indication drawn
  std::mutex m;
  std::condition_variable ended;     // every result is taken, or a job ended
  std::condition_variable room;      // a result was taken
  std::map<std::size_t, Done> done;  // under m: the results not yet taken, by place
  std::size_t begun = 0;             // under m: the recordings taken by a job
  std::size_t taken = 0;             // under m: the results taken
  bool walked = false;               // under m: the walk has given its last
  const std::unique_ptr<std::atomic<std::uint64_t>[]> reading(new std::atomic<std::uint64_t>[jobs]);
  for (unsigned k = 0; k < jobs; ++k) reading[k] = 0;
  // A stop is a signal's flag, which wakes nobody: waits look at it a few
  // times a second.
  constexpr auto kLook = std::chrono::milliseconds(100);
  // Every recording begun has been taken, and no more can be (all walked,
  // or a stop: a job looks at it under the lock).
  const auto at_end = [&] { return taken == begun && (walked || wave::stop_requested()); };

  // The job whose result is the next in the walk's order takes it, and
  // every one after it that is there, so no thread waits to be handed each
  // one. One job takes at a time, in that order: a result is counted taken
  // only once it is, and till then the next is not looked for.
  const auto take_in_turn = [&](std::unique_lock<std::mutex>& lock) {
    for (auto first = done.find(taken); first != done.end(); first = done.find(taken)) {
      const Done d = std::move(first->second);
      done.erase(first);
      lock.unlock();
      {
        std::lock_guard<std::mutex> show(showing);
        take(d.recording, d.result);
      }
      lock.lock();
      ++taken;
      room.notify_all();
    }
    if (at_end()) ended.notify_all();
  };

  const auto work = [&](unsigned k) {
    wave::Workspace workspace;
    for (;;) {
      Recording r;
      std::size_t i = 0;
      {
        // One job walks at a time, outside the lock the results are taken
        // under.
        std::lock_guard<std::mutex> walk(walking);
        {
          std::unique_lock<std::mutex> lock(m);
          while (begun - taken >= kMostAhead && !walked && !wave::stop_requested()) {
            room.wait_for(lock, kLook);
          }
          // After a stop, nothing more is begun.
          if (walked || wave::stop_requested()) break;
        }
        const bool more = next(r);
        std::lock_guard<std::mutex> lock(m);
        if (!more) {
          walked = true;
          break;
        }
        i = begun++;
      }
      Result result = convert(r, reading[k], workspace);
      std::unique_lock<std::mutex> lock(m);
      done.emplace(i, Done{std::move(r), std::move(result)});
      reading[k] = 0;
      take_in_turn(lock);
    }
    std::lock_guard<std::mutex> lock(m);
    ended.notify_all();
  };
  std::vector<std::thread> threads;
  for (unsigned k = 0; k < jobs; ++k) threads.emplace_back(work, k);

  // Meanwhile, the indication, a few times a second, till the end.
  std::unique_lock<std::mutex> lock(m);
  while (!at_end()) {
    std::uint64_t now = 0;
    for (unsigned k = 0; k < jobs; ++k) now += reading[k];
    lock.unlock();
    {
      std::lock_guard<std::mutex> show(showing);
      meanwhile(now);
    }
    lock.lock();
    ended.wait_for(lock, kLook, at_end);
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
