// velkoran-drop's report (--report FILE): JSON Lines, one object for each
// recording in the order of the console's lines, then one summary object,
// for scripts. Every name is written losslessly, whatever bytes it holds
// (see velkoran-drop(1)). A file is written under a temporary name beside
// it and takes its name when the run ends, a stopped run's too; "-" is
// standard output, written as the run goes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "drop/convert_one.hpp"
#include "drop/walk.hpp"
#include "platform/replacement.hpp"

namespace velkoran::drop {

// The counts of the console's summary.
struct Counts {
  std::size_t all = 0;
  std::size_t converted = 0;  // already converted ones too
  std::size_t already = 0;
  std::size_t not_converted = 0;
  std::size_t not_reached = 0;
  std::size_t verified = 0;
};

class Report {
 public:
  // Opens `name` ("-": `out`), its reason in `error` where it cannot be.
  bool open(const std::string& name, std::FILE* out, std::string& error);
  bool is_open() const { return f_ != nullptr; }
  // The record of `r`, as its line `what` says what became of it.
  void record(const Recording& r, const Result& result, bool dry_run);
  // The summary, then the file in place: false where it could not be written.
  [[nodiscard]] bool finish(const Counts& counts, bool dry_run, bool interrupted);

 private:
  void write(const std::string& line);
  std::FILE* f_ = nullptr;
  bool failed_ = false;
  platform::Replacement file_;
};

// `s` as a JSON string: UTF-8 as it stands, escaped where JSON asks; each
// byte that is no part of UTF-8 (a POSIX name's) as the escape \udcXX of
// the lone surrogate U+DC00 + the byte, and a lone surrogate of a Windows
// name as its own escape \udXXX. Exposed for its tests.
std::string json_string(const std::string& s);

}  // namespace velkoran::drop
