#include "app/files.hpp"

namespace velkoran::app {

std::filesystem::path to_path(const std::string& utf8_name) {
  return std::filesystem::u8path(utf8_name);
}

std::FILE* open_file(const std::string& utf8_name, const char* mode) {
#if defined(_WIN32)
  // The narrow fopen only sees the current code page; the wide one sees every name.
  const std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(to_path(utf8_name).c_str(), wmode.c_str());
#else
  return std::fopen(utf8_name.c_str(), mode);
#endif
}

}  // namespace velkoran::app
