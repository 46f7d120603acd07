// The progress indication on a terminal (a pseudo-terminal the test reads),
// on a clock the test moves: nothing in the first second, then the
// percentage read, a few times a second; erased without a trace of it left
// ahead of the cursor. (Widths and TERM=dumb: tests/progress.sh.)
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/progress.hpp"

namespace velkoran::platform {
namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point g_now;
Clock::time_point now() {
  return g_now;
}

const std::string kSave = "\0337";
const std::string kEraseRest = "\033[K";
const std::string kRestore = "\0338";

TEST(Progress, QuietForASecondThenThePercentageAFewTimesASecondThenErased) {
  ::setenv("TERM", "xterm", 1);
  int master = -1;
  int slave = -1;
  struct winsize ws {};
  ws.ws_col = 80;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &ws), 0);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  std::FILE* terminal = ::fdopen(slave, "w");
  // What was written since last asked.
  const auto written = [master] {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) s.append(buf, std::size_t(n));
    return s;
  };
  g_now = Clock::time_point(std::chrono::hours(1));
  TerminalProgress p(terminal, now);
  ASSERT_TRUE(p.on_terminal());
  p.after(5);
  p.label(" 2 of 7 done,");
  // Moments after the start, what was read of how much, and what is drawn.
  const struct {
    int ms;
    std::uint64_t read;
    std::optional<std::uint64_t> length;
    std::string drawn;
  } steps[] = {
      {990, 10, 100, ""},                              // within the first second
      {1000, 37, 200, " 18%"},  {1200, 100, 200, ""},  // within a quarter of a second
      {1250, 199, 200, " 99%"}, {1600, 3500000, std::nullopt, " 3 MB"},
  };
  for (const auto& step : steps) {
    g_now = Clock::time_point(std::chrono::hours(1)) + std::chrono::milliseconds(step.ms);
    p.advance(step.read, step.length);
    EXPECT_EQ(written(), step.drawn.empty()
                             ? ""
                             : kSave + " 2 of 7 done," + step.drawn + kEraseRest + kRestore)
        << step.ms;
  }
  p.erase();
  EXPECT_EQ(written(), kEraseRest);
  p.erase();
  EXPECT_EQ(written(), "") << "erased twice";
  std::fclose(terminal);
  ::close(master);
}

}  // namespace
}  // namespace velkoran::platform
#endif
