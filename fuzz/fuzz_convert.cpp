// Fuzz target: the whole conversion, in process, on any bytes as the input.
// It checks what must hold of every run, not only that nothing crashes:
//  - a run that succeeds prints only the tag line, and its output is a
//    well-formed float WAVE file whose RIFF size is its length less 8, whose
//    data size is 4 times the samples it holds, whose samples are exactly
//    those of the input, and whose every other byte is the input's, in order;
//    the output is never longer than twice the input;
//  - a run that fails has status 1 and ends with one of the program's messages.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "in_process.hpp"
#include "wave/le.hpp"

namespace {

using velkoran::wave::load_u16;
using velkoran::wave::load_u32;

[[noreturn]] void broken(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

void check(bool ok, const char* invariant) {
  if (!ok) broken(invariant);
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool ends_with_header_error(const std::string& s) {
  const std::size_t open = s.rfind("Error in .wav file header [");
  if (open == std::string::npos || s.back() != ']') return false;
  const std::string number = s.substr(open + 27, s.size() - open - 28);
  return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
}

void check_failure(const std::string& console) {
  check(ends_with_header_error(console) ||
            ends_with(console, "input has to be 16 or 24 bit int. This file is something else\n") ||
            ends_with(console, "\nERROR: Failed to write output file.\n") ||
            ends_with(console, "\nERROR: Failed to read input file.\n") ||
            ends_with(console, "\nERROR: Output exceeds the 4 GiB limit of a WAVE file.\n"),
        "a failed run ends with one of the program's messages");
}

// The RIFF pad byte after an odd body, as the README states the rule: 0 is
// the pad; another byte is the pad when the four bytes after it, and not the
// four from it, make a known chunk id, or else four printable characters.
bool is_pad(const unsigned char* p, std::size_t n) {
  if (n == 0 || p[0] == 0) return n != 0;
  if (n < 5) return false;
  static const std::string known =
      "data|fmt |fact|LIST|JUNK|junk|PAD |FLLR|bext|iXML|axml|cue |plst|smpl|inst|acid|PEAK|"
      "id3 |ID3 |DISP|cart|levl|umid|minf|elm1|regn|DGDA|ds64|";
  const auto known_at = [&](const unsigned char* id) {
    const std::size_t at = known.find(std::string(reinterpret_cast<const char*>(id), 4) + "|");
    return at != std::string::npos && at % 5 == 0;
  };
  const auto printable_at = [](const unsigned char* id) {
    return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c <= 0x7E; });
  };
  if (known_at(p) != known_at(p + 1)) return known_at(p + 1);
  return printable_at(p) != printable_at(p + 1) && printable_at(p + 1);
}

bool same(const std::string& out, const unsigned char* in, std::size_t from, std::size_t to) {
  return to <= out.size() && std::memcmp(out.data() + from, in + from, to - from) == 0;
}

// A successful run's output, checked against its input. The output's header
// has the same length as the input's, so header offsets hold in both.
void check_success(const unsigned char* in, std::size_t size, const std::string& out,
                   const std::string& console) {
  check(console == "tag=1" || console == "tag=3", "a successful run prints only the tag line");
  check(out.size() <= 2 * size, "the output is at most twice as long as the input");
  // The shortest header: a 14-byte format chunk, then the data chunk header.
  check(size >= 42 && out.size() >= 42, "a successful run has a whole header");
  const auto* o = reinterpret_cast<const unsigned char*>(out.data());
  check(load_u32(o + 4) == out.size() - 8, "RIFF size is the length less 8");
  check(same(out, in, 0, 4) && same(out, in, 8, 20), "RIFF, WAVE and fmt carried over");
  check(load_u16(o + 20) == 3 && load_u16(o + 32) == 8, "float tag and 8-byte blocks");
  check(same(out, in, 22, 28), "channels and rate carried over");
  const unsigned width = load_u16(in + 32) / 2u;
  check(load_u16(in + 22) == 2 && (width == 2 || width == 3), "only stereo 16/24-bit succeeds");
  // 4/3 or 2 times the input's, as signed 32-bit arithmetic gives it: the
  // product wraps, the quotient truncates toward zero.
  const auto times4 = static_cast<std::int32_t>(load_u32(in + 28) * 4u);
  check(load_u32(o + 28) == static_cast<std::uint32_t>(times4 / static_cast<std::int32_t>(width)),
        "byte rate rescaled");

  // The format tail: wBitsPerSample rewritten as 32, the rest carried over.
  const std::uint32_t fmt_size = load_u32(in + 16);
  check(fmt_size >= 14 && 20ull + fmt_size <= size, "format chunk within the input");
  const std::size_t tail = fmt_size - 14;
  if (tail >= 1) check(o[34] == 32, "bits per sample is 32");
  if (tail >= 2) check(o[35] == 0, "bits per sample is 32");

  // Chunks up to the data chunk, with the pad byte rule: the same bytes.
  std::size_t pos = 20 + fmt_size;
  std::uint64_t body = fmt_size;
  for (;;) {
    if (body % 2 != 0 && is_pad(in + pos, size - pos)) ++pos;
    check(pos + 8 <= size, "data chunk header within the input");
    if (std::memcmp(in + pos, "data", 4) == 0) break;
    body = load_u32(in + pos + 4);
    check(pos + 8 + body <= size, "chunk body within the input");
    pos += 8 + body;
  }
  check(same(out, in, 34 + (tail < 2 ? tail : 2), pos + 4), "header bytes carried over");

  // The samples: as many as the data size says, or as the input holds.
  const std::uint32_t declared = load_u32(in + pos + 4);
  const std::size_t start = pos + 8;
  const std::size_t available = (size - start) / width;
  const bool bounded = declared != 0 && declared != 0xFFFFFFFF;
  const std::size_t samples =
      bounded && declared / width < available ? declared / width : available;
  check(load_u32(o + pos + 4) == 4 * samples, "data size is 4 times the samples");
  check(start + 4 * samples <= out.size(), "samples within the output");
  for (std::size_t i = 0; i < samples; ++i) {
    const unsigned char* s = in + start + width * i;
    const std::uint32_t word = width == 2
                                   ? std::uint32_t{load_u16(s)} << 16
                                   : (std::uint32_t{s[0]} << 8) | (std::uint32_t{s[1]} << 16) |
                                         (std::uint32_t{s[2]} << 24);
    const double value = static_cast<std::int32_t>(word) / 2147483648.0;
    const std::uint32_t bits = load_u32(o + start + 4 * i);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    check(static_cast<double>(f) == value, "every sample is exactly s / 2^15 or s / 2^23");
  }

  // What follows the data chunk is carried over, less one pad byte.
  std::size_t after = size;
  if (bounded && start + std::uint64_t{declared} <= size) {
    after = start + declared;
    if (declared % 2 != 0 && is_pad(in + after, size - after)) ++after;
  }
  const std::string rest = out.substr(start + 4 * samples);
  check(rest.size() == size - after && std::memcmp(rest.data(), in + after, rest.size()) == 0,
        "what follows the data is carried over");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // fmemopen refuses an empty buffer; an empty temporary file does the same.
  std::FILE* in = size > 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "rb") : std::tmpfile();
  std::FILE* out = std::tmpfile();
  if (in == nullptr || out == nullptr) std::abort();

  const velkoran::test::InProcess run = velkoran::test::convert_in_process(in, out);
  const std::string output = velkoran::test::read_stream(out);
  std::fclose(in);
  std::fclose(out);

  if (run.status == 0) {
    check_success(data, size, output, run.console);
  } else {
    check(run.status == 1, "statuses are 0 and 1 only");
    check_failure(run.console);
  }
  return 0;
}
