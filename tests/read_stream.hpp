// Reads a whole stdio stream from its start: the in-process tests and the
// fuzz target use it to see what a conversion wrote.
#pragma once

#include <cstdio>
#include <string>

namespace velkoran::test {

inline std::string read_stream(std::FILE* f) {
  std::string s;
  std::fflush(f);
  std::rewind(f);
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  return s;
}

}  // namespace velkoran::test
