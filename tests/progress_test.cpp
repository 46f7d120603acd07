// The progress indication on a terminal (a pseudo-terminal the test reads),
// on a clock the test moves: nothing in the first second, then the
// percentage read, a few times a second, only where it fits; erased without
// a trace of it left ahead of the cursor.
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

class Terminal {
 public:
  explicit Terminal(unsigned short columns) {
    struct winsize ws {};
    ws.ws_col = columns;
    ws.ws_row = 24;
    EXPECT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, &ws), 0);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
    f_ = ::fdopen(slave_, "w");
  }
  ~Terminal() {
    std::fclose(f_);
    ::close(master_);
  }
  std::FILE* file() const { return f_; }
  // What was written since last asked.
  std::string written() {
    std::string s;
    char buf[4096];
    for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;)
      s.append(buf, static_cast<std::size_t>(n));
    return s;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::FILE* f_ = nullptr;
};

const std::string kSave = "\0337";
const std::string kEraseRest = "\033[K";
const std::string kRestore = "\0338";

TEST(Progress, QuietForASecondThenThePercentageAFewTimesASecondThenErased) {
  ::setenv("TERM", "xterm", 1);
  Terminal t(80);
  g_now = Clock::time_point(std::chrono::hours(1));
  TerminalProgress p(t.file(), now);
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
    EXPECT_EQ(t.written(), step.drawn.empty()
                               ? ""
                               : kSave + " 2 of 7 done," + step.drawn + kEraseRest + kRestore)
        << step.ms;
  }
  p.erase();
  EXPECT_EQ(t.written(), kEraseRest);
  p.erase();
  EXPECT_EQ(t.written(), "") << "erased twice";
}

// Where it would reach the last column, it is not drawn (and what was
// drawn goes); elsewhere than a terminal that can, nothing at all.
TEST(Progress, OnlyWhereItFits) {
  ::setenv("TERM", "xterm", 1);
  g_now = Clock::time_point(std::chrono::hours(2));
  Terminal t(20);
  TerminalProgress p(t.file(), now);
  p.after(5);
  g_now += std::chrono::seconds(2);
  p.advance(1, 2);
  EXPECT_EQ(t.written(), kSave + " 50%" + kEraseRest + kRestore);
  p.label(" 123 of 456 done,");  // 21 columns: past the 15 left
  g_now += std::chrono::seconds(1);
  p.advance(1, 2);
  EXPECT_EQ(t.written(), kEraseRest);
  ::setenv("TERM", "dumb", 1);
  Terminal dumb(80);
  TerminalProgress none(dumb.file(), now);
  g_now += std::chrono::seconds(5);
  none.advance(1, 2);
  none.erase();
  EXPECT_FALSE(none.on_terminal());
  EXPECT_EQ(dumb.written(), "");
  ::setenv("TERM", "xterm", 1);
}

}  // namespace
}  // namespace velkoran::platform
#endif
