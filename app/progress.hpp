// A progress indication for a long conversion, on a terminal: after the tag
// line, once the run has taken more than a second, the percentage of the
// input read (or the megabytes read, where its length is not known), a few
// times a second. It goes to standard error, and it is erased before any
// later message and at the end, so that the screen ends as it would without
// it, and standard output's bytes never change. Where standard error is not a
// terminal, nothing is shown at all.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "wave/progress.hpp"

namespace velkoran::app {

class TerminalProgress final : public wave::Progress {
 public:
  // Shows nothing unless `f` is a terminal.
  explicit TerminalProgress(std::FILE* f);

  void advance(std::uint64_t read, std::optional<std::uint64_t> length) override;
  // Takes the indication off the screen, leaving the cursor where it was.
  void erase();

 private:
  using Clock = std::chrono::steady_clock;
  void draw(const std::string& text);

  std::FILE* f_;
  bool terminal_;
  Clock::time_point start_;
  Clock::time_point drawn_at_;
  std::size_t shown_ = 0;  // characters on the screen now
};

}  // namespace velkoran::app
