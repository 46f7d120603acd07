// A progress indication for a long conversion, on a terminal: after the tag
// line, once the run has taken more than a second, the percentage of the
// input read (or the megabytes read, where its length is not known), a few
// times a second. It goes to standard error, and it is erased before any
// later message and at the end, so that the screen ends as it would without
// it, and standard output's bytes never change.
//
// It is drawn ahead of the cursor, which stays where the tag line left it:
// whatever the terminal then echoes there (the "^C" of a Ctrl-C) takes its
// place as it would without it, and the erase clears only what is left of
// it. It is shown only where it fits the rest of the line, so that it never
// wraps onto another. Where standard error is not a terminal that can do
// that (TERM=dumb, a file, a pipe), nothing is shown at all.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace velkoran::platform {

class TerminalProgress {
 public:
  using Clock = std::chrono::steady_clock;
  // Shows nothing unless `f` is such a terminal. `now` tells the time
  // (tests give their own).
  explicit TerminalProgress(std::FILE* f, Clock::time_point (*now)() = &Clock::now);

  // `columns` characters stand on the cursor's line before it: the tag line,
  // where standard output is the same terminal.
  void after(std::size_t columns) { column_ = columns; }
  // What the indication says before the part read: " 3 of 20:", say.
  void label(const std::string& text) { label_ = text; }
  // True where the indication is shown at all (a terminal).
  bool on_terminal() const { return terminal_; }
  // `read` bytes of the input have been read, of `length` where it is known.
  void advance(std::uint64_t read, std::optional<std::uint64_t> length);
  // Shows the label alone: a new file begins.
  void tick();
  // Takes the indication off the screen, leaving the cursor where it is.
  void erase();

 private:
  void show(const std::string& text);
  void draw(const std::string& text);
  // Columns free on the cursor's line, after it; 0 where that is not known.
  std::size_t room() const;

  std::FILE* f_;
  Clock::time_point (*now_)();
  bool terminal_;
  std::size_t column_ = 0;
  std::string label_;
  Clock::time_point start_;
  Clock::time_point drawn_at_;
  std::size_t shown_ = 0;  // characters of the indication on the screen now
};

}  // namespace velkoran::platform
