// The conversion run in process, as the program runs it once both files are
// open: the tests and the fuzz target call it on streams of their own making
// (failing ones, in memory, with a small length limit).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "velkoran/outcome.hpp"
#include "wave/convert.hpp"

namespace velkoran::test {

// Reads a whole stdio stream from its start.
inline std::string read_stream(std::FILE* f) {
  std::string s;
  std::fflush(f);
  std::rewind(f);
  char buf[65536];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
  return s;
}

// A temporary file holding `bytes`, positioned at its start.
inline std::FILE* file_holding(const std::string& bytes) {
  std::FILE* f = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::rewind(f);
  return f;
}

struct InProcess {
  int status;
  std::string console;  // all the run printed
};

// Prints the tag line as the program does; shows no progress.
class PrintTag final : public wave::Observer {
 public:
  explicit PrintTag(front::Console& console) : console_(console) {}
  void format_tag(std::uint16_t tag) override { (void)console_.format_tag(tag); }

 private:
  front::Console& console_;
};

// Converts `in` into `out` and prints how the run ended, as the program does.
inline InProcess convert_in_process(std::FILE* in, std::FILE* out,
                                    std::uint64_t max_length = wave::kMaxWaveLength) {
  std::FILE* text = std::tmpfile();
  front::Console console(text);
  PrintTag observer(console);
  InProcess r;
  r.status = console.end(wave::convert(in, out, observer, max_length));
  r.console = read_stream(text);
  std::fclose(text);
  return r;
}

}  // namespace velkoran::test
