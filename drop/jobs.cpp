#include "drop/jobs.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
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
  // No more than kMostAhead recordings are ever under way, so no more jobs
  // than that could work at once.
  std::size_t most = std::min<std::size_t>(jobs == 0 ? 1 : jobs, kMostAhead);  // under m
  struct Done {
    Recording recording;
    Result result;
  };
  std::mutex walking;  // held by the job that walks
  std::mutex m;
  // A result is there, every result is taken, a job ended, or one more is wanted.
  std::condition_variable changed;
  std::condition_variable room;      // a result was taken
  std::map<std::size_t, Done> done;  // under m: the results not yet taken, by place
  std::size_t begun = 0;             // under m: the recordings taken by a job
  std::size_t taken = 0;             // under m: the results taken
  std::size_t started = 0;           // under m: the jobs started
  bool walked = false;               // under m: the walk has given its last
  std::atomic<std::uint64_t> reading[kMostAhead];
  for (auto& r : reading) r = 0;
  // A stop is a signal's flag, which wakes nobody: waits look at it a few
  // times a second.
  constexpr auto kLook = std::chrono::milliseconds(100);
  // Every recording begun has been taken, and no more can be (all walked,
  // or a stop: a job looks at it under the lock).
  const auto at_end = [&] { return taken == begun && (walked || wave::stop_requested()); };
  // One more job is started only while every one there has had a
  // recording and the walk goes on: a run of 3 recordings has 3 or 4 at
  // most, whatever `jobs` says.
  const auto one_more = [&] { return started < most && begun >= started && !walked; };
  const auto ready = [&] { return done.count(taken) != 0; };

  // Takes the result that is the next in the walk's order, and every one
  // after it that is there. Only one thread ever takes (the calling one),
  // so the jobs go on converting while a result is taken, however long
  // that takes (an output put on the disk).
  const auto take_in_turn = [&](std::unique_lock<std::mutex>& lock) {
    for (auto first = done.find(taken); first != done.end(); first = done.find(taken)) {
      Done d = std::move(first->second);
      done.erase(first);
      lock.unlock();
      take(d.recording, d.result);
      lock.lock();
      ++taken;
      room.notify_all();
    }
  };

  // `alone`: no other thread takes the results, so this one does.
  const auto work = [&](std::size_t k, wave::Workspace& workspace, bool alone) {
    for (;;) {
      Recording r;
      std::size_t i = 0;
      {
        // One job walks at a time.
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
        if (one_more()) changed.notify_all();
      }
      Result result{Result::kFailed, "there was not enough memory to convert it"};
      try {
        result = convert(r, reading[k], workspace);
      } catch (const std::bad_alloc&) {
      }
      std::unique_lock<std::mutex> lock(m);
      done.emplace(i, Done{std::move(r), std::move(result)});
      reading[k] = 0;
      if (alone) take_in_turn(lock);
      changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(m);
    changed.notify_all();
  };

  // Each job's buffers are allocated here, before it starts; where the
  // system gives no more memory or threads, the run goes on with the jobs
  // it has. Without a thread at all, the calling one converts, with no
  // indication; without the first buffers, the run cannot be made.
  std::vector<std::unique_ptr<wave::Workspace>> workspaces;
  std::vector<std::thread> threads;
  const auto start = [&]() -> bool {
    if (workspaces.size() == threads.size()) {
      try {
        workspaces.push_back(std::make_unique<wave::Workspace>());
      } catch (const std::bad_alloc&) {
        if (threads.empty()) throw;
        return false;
      }
    }
    try {
      threads.emplace_back(work, threads.size(), std::ref(*workspaces.back()), false);
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  };
  std::unique_lock<std::mutex> lock(m);
  started = 1;
  lock.unlock();
  if (!start()) {
    work(0, *workspaces.back(), true);
    return begun;
  }

  // Meanwhile, the results taken as they come, the indication a few times
  // a second, and one more job started whenever the ones there all have a
  // recording, till the end.
  lock.lock();
  while (!at_end()) {
    if (one_more()) {
      ++started;
      lock.unlock();
      const bool got = start();
      lock.lock();
      if (!got) most = --started;
      continue;
    }
    if (ready()) {
      take_in_turn(lock);
      continue;
    }
    std::uint64_t now = 0;
    for (const auto& r : reading) now += r;
    lock.unlock();
    meanwhile(now);
    lock.lock();
    changed.wait_for(lock, kLook, [&] { return at_end() || one_more() || ready(); });
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
