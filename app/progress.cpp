#include "app/progress.hpp"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velkoran::app {
namespace {

constexpr auto kQuiet = std::chrono::seconds(1);         // a short run shows nothing
constexpr auto kEvery = std::chrono::milliseconds(250);  // a few times a second

bool is_terminal(std::FILE* f) {
#if defined(_WIN32)
  return _isatty(_fileno(f)) != 0;
#else
  return isatty(fileno(f)) != 0;
#endif
}

}  // namespace

TerminalProgress::TerminalProgress(std::FILE* f)
    : f_(f), terminal_(is_terminal(f)), start_(Clock::now()) {}

void TerminalProgress::advance(std::uint64_t read, std::optional<std::uint64_t> length) {
  if (!terminal_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuiet || (shown_ != 0 && now - drawn_at_ < kEvery)) return;
  drawn_at_ = now;
  if (length && *length != 0) {
    draw(" " + std::to_string(read * 100 / *length) + "%");
  } else {
    draw(" " + std::to_string(read / 1000000) + " MB");
  }
}

void TerminalProgress::erase() {
  draw("");
}

// Backspaces over what is shown (backspace moves the cursor, it does not
// clear), then the new text, blanks over what is left of the old, and back.
void TerminalProgress::draw(const std::string& text) {
  if (shown_ == 0 && text.empty()) return;
  std::string s(shown_, '\b');
  s += text;
  if (text.size() < shown_) {
    s.append(shown_ - text.size(), ' ');
    s.append(shown_ - text.size(), '\b');
  }
  shown_ = text.size();
  std::fputs(s.c_str(), f_);
  std::fflush(f_);
}

}  // namespace velkoran::app
