#include "platform/print.hpp"

#if defined(_WIN32)
#include <io.h>

#include "platform/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace velkoran::platform {

#if defined(_WIN32)
void print(std::FILE* f, const std::string& text) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || GetConsoleMode(h, &mode) == 0) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fflush(f);
    return;
  }
  // Whatever stdio holds goes first; a line feed is a new line, as the
  // console shows text mode's CR LF.
  std::fflush(f);
  std::wstring wide;
  for (const wchar_t c : wide_from_wtf8(text)) {
    if (c == L'\n') wide += L'\r';
    wide += c;
  }
  for (std::size_t done = 0; done < wide.size();) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
    if (WriteConsoleW(h, wide.data() + done, n, &written, nullptr) == 0 || written == 0) return;
    done += written;
  }
}
#else
void print(std::FILE* f, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
}
#endif

}  // namespace velkoran::platform
