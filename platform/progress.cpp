#include "platform/progress.hpp"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace velkoran::platform {
namespace {

constexpr auto kQuiet = std::chrono::seconds(1);         // a short run shows nothing
constexpr auto kEvery = std::chrono::milliseconds(250);  // a few times a second

#if defined(_WIN32)
HANDLE console_of(std::FILE* f) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
}

// A console window (not a file, a pipe, or a terminal Wine is not driving):
// its screen buffer can be written at a place without moving the cursor.
bool can_show(std::FILE* f) {
  DWORD mode = 0;
  return GetConsoleMode(console_of(f), &mode) != 0;
}
#else
// A terminal that knows the cursor-saving and line-erasing sequences every
// VT100 descendant has: not a dumb one.
bool can_show(std::FILE* f) {
  const char* term = std::getenv("TERM");
  return isatty(fileno(f)) != 0 && term != nullptr && *term != '\0' &&
         std::strcmp(term, "dumb") != 0;
}

// Save the cursor, erase to the end of the line, restore the cursor.
constexpr char kSave[] = "\0337";
constexpr char kEraseRest[] = "\033[K";
constexpr char kRestore[] = "\0338";
#endif

}  // namespace

TerminalProgress::TerminalProgress(std::FILE* f, Clock::time_point (*now)())
    : f_(f), now_(now), terminal_(can_show(f)), start_(now()) {}

void TerminalProgress::advance(std::uint64_t read, std::optional<std::uint64_t> length) {
  show(label_ + (length && *length != 0 ? " " + std::to_string(read * 100 / *length) + "%"
                                        : " " + std::to_string(read / 1000000) + " MB"));
}

void TerminalProgress::tick() {
  show(label_);
}

// A few times a second, once the run has taken more than a second. Where it
// no longer fits (the window made narrower, a longer number), it goes: it
// never wraps onto the next line.
void TerminalProgress::show(const std::string& text) {
  if (!terminal_) return;
  const Clock::time_point now = now_();
  if (now - start_ < kQuiet || (shown_ != 0 && now - drawn_at_ < kEvery)) return;
  drawn_at_ = now;
  draw(text.size() < room() ? text : std::string());
}

void TerminalProgress::erase() {
  draw(std::string());
}

#if defined(_WIN32)
std::size_t TerminalProgress::room() const {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(console_of(f_), &info)) return 0;
  const auto width = static_cast<std::size_t>(info.dwSize.X);
  const auto column = static_cast<std::size_t>(info.dwCursorPosition.X);
  return column < width ? width - column : 0;
}

// Written into the screen buffer right of the cursor, which does not move;
// what is left of an earlier, longer text is blanked.
void TerminalProgress::draw(const std::string& text) {
  if (shown_ == 0 && text.empty()) return;
  const HANDLE h = console_of(f_);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(h, &info)) return;
  DWORD done = 0;
  WriteConsoleOutputCharacterA(h, text.data(), static_cast<DWORD>(text.size()),
                               info.dwCursorPosition, &done);
  if (text.size() < shown_) {
    COORD rest = info.dwCursorPosition;
    rest.X = static_cast<SHORT>(rest.X + static_cast<SHORT>(text.size()));
    FillConsoleOutputCharacterA(h, ' ', static_cast<DWORD>(shown_ - text.size()), rest, &done);
  }
  shown_ = text.size();
}
#else
std::size_t TerminalProgress::room() const {
  struct winsize ws {};
  if (ioctl(fileno(f_), TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0) return 0;
  const std::size_t width = ws.ws_col;
  // The cursor's column after `column_` characters, wrapped at the width; at
  // an exact multiple it waits past the last column, with no room at all.
  if (column_ != 0 && column_ % width == 0) return 0;
  return width - column_ % width;
}

void TerminalProgress::draw(const std::string& text) {
  if (shown_ == 0 && text.empty()) return;
  std::string s;
  if (text.empty()) {
    s = kEraseRest;
  } else {
    s = std::string(kSave) + text + kEraseRest + kRestore;
  }
  shown_ = text.size();
  std::fputs(s.c_str(), f_);
  std::fflush(f_);
}
#endif

}  // namespace velkoran::platform
