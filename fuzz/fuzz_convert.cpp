// Fuzz target: the whole conversion, in process, on any bytes as the input.
// It checks what must hold of every run, not only that nothing crashes:
//  - a run that succeeds prints only the tag line, and its output is a
//    well-formed float WAVE file whose RIFF size is its length less 8, whose
//    data size is 4 times the samples it holds, whose samples are exactly
//    those of the input, and whose every other byte is the input's, in order;
//    the output is never longer than twice the input;
//  - a run that fails has status 1 and ends with one of the program's messages;
//  - where the input's trailer (controls.hpp) bounds the output's length,
//    makes reads fail or the output unseekable, the run ends as the same run
//    without them predicts: the bound passed, the read failure reported, the
//    sizes of the header as first written;
//  - velkoran-drop's conversion (any channel count, 8 bits too), from a file
//    into a file, gives velkoran's very output where velkoran's succeeds;
//    where it succeeds, its output is a float WAVE file of the input's
//    channels, rate and exact samples, extensible with the input's channel
//    mask where a plain format cannot state them, every other byte the
//    input's; and its read-back (--verify) finds it the input's conversion,
//    and finds a difference where one bit of a sample is changed.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "check.hpp"
#include "controls.hpp"
#include "drop/verify.hpp"
#include "in_process.hpp"
#include "messages.hpp"
#include "wave/convert.hpp"
#include "wave/le.hpp"
#include "wave/md5.hpp"
#include "wave/riff.hpp"

namespace {

using velkoran::fuzz::Controls;
using velkoran::wave::load_u16;
using velkoran::wave::load_u32;
namespace text = velkoran::test;

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
  const std::size_t open = s.rfind(text::header_error(0).substr(0, 27));
  if (open == std::string::npos || s.back() != ']') return false;
  const std::string number = s.substr(open + 27, s.size() - open - 28);
  return !number.empty() && number.find_first_not_of("0123456789") == std::string::npos;
}

void check_failure(const std::string& console) {
  check(ends_with_header_error(console) || ends_with(console, text::kNotStereo) ||
            ends_with(console, text::kWriteFailed) || ends_with(console, text::kReadFailed) ||
            ends_with(console, text::kTooLong),
        "a failed run ends with one of the program's messages");
}

bool same(const std::string& out, const unsigned char* in, std::size_t from, std::size_t to) {
  return to <= out.size() && std::memcmp(out.data() + from, in + from, to - from) == 0;
}

// Where the output's data size stands, and what the header first wrote there;
// where an MD5 chunk before the data states the output's digest (0: none).
struct DataSize {
  std::size_t offset;
  std::uint32_t provisional;
  std::size_t digest_at = 0;
};

// What an MD5 chunk of 16 bytes at `at` of the input (its header whole there,
// `n` bytes of its body) becomes in the output: the output's digest where it
// `states` and the input's data had it, else JUNK and zeros.
std::string digest_chunk(const unsigned char* at, std::size_t n, bool states,
                         const velkoran::wave::Digest& output) {
  std::string c(reinterpret_cast<const char*>(at), 8);
  c.replace(0, 4, states ? "MD5 " : "JUNK");
  return c + (states ? std::string(output.begin(), output.end()) : std::string(n, '\0'));
}

// KSDATAFORMAT_SUBTYPE_PCM's GUID, its first byte 3 for _IEEE_FLOAT's.
const unsigned char kPcmGuid[16] = {1,    0, 0, 0,    0, 0,    0x10, 0,
                                    0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};

// A successful run's output, checked against its input: velkoran's, or with
// `any`, velkoran-drop's. The output's header has the same length as the
// input's, so header offsets hold in both.
DataSize check_success(const unsigned char* in, std::size_t size, const std::string& out,
                       const std::string& console, bool any = false) {
  if (!any)
    check(console == "tag=1" || console == "tag=3", "a successful run prints only the tag line");
  // The shortest header: a 14-byte format chunk, then the data chunk header.
  check(size >= 42 && out.size() >= 42, "a successful run has a whole header");
  const auto* o = reinterpret_cast<const unsigned char*>(out.data());
  check(same(out, in, 0, 4) && same(out, in, 8, 20), "RIFF, WAVE and fmt carried over");
  const std::uint16_t tag = load_u16(in + 20);
  const unsigned channels = load_u16(in + 22);
  const unsigned block = load_u16(in + 32);
  const unsigned width = channels == 0 ? 0 : block / channels;
  check(load_u16(o + 20) == (tag == 0xFFFE ? 0xFFFE : 3) && load_u16(o + 32) == 4 * channels,
        "float tag and blocks of a float a channel");
  check(same(out, in, 22, 28), "channels and rate carried over");
  if (!any) {
    check(channels == 2 && block % 2 == 0 && (width == 2 || width == 3),
          "only stereo 16/24-bit succeeds");
  } else {
    check(channels >= 1 && block % channels == 0 && width >= 1 && width <= 3 &&
              (tag == 1 || tag == 3 || tag == 0xFFFE) && (tag == 0xFFFE || channels <= 2),
          "only integer PCM of 8 to 24 bits succeeds, more than two channels extensible");
  }
  check(out.size() * width <= size * 4, "the output is at most 4 / width times the input");
  // 4/width times the input's, as signed 32-bit arithmetic gives it: the
  // product wraps, the quotient truncates toward zero.
  const auto times4 = static_cast<std::int32_t>(load_u32(in + 28) * 4u);
  check(load_u32(o + 28) == static_cast<std::uint32_t>(times4 / static_cast<std::int32_t>(width)),
        "byte rate rescaled");

  // The format tail: wBitsPerSample rewritten as 32, the rest carried over;
  // the extensible format's valid bits 32, its sub-format float.
  const std::uint32_t fmt_size = load_u32(in + 16);
  check(fmt_size >= 14 && 20ull + fmt_size <= size, "format chunk within the input");
  const std::size_t tail = fmt_size - 14;
  if (tail >= 1) check(o[34] == 32, "bits per sample is 32");
  if (tail >= 2) check(o[35] == 0, "bits per sample is 32");
  std::size_t carried = 34 + (tail < 2 ? tail : 2);  // from here, the input's bytes
  if (tag == 0xFFFE) {
    const std::uint32_t mask = load_u32(in + 40);
    const bool plain_mask =
        mask == 0 || (channels == 1 && mask == 4) || (channels == 2 && mask == 3);
    check(fmt_size >= 40 && load_u16(in + 34) == 8 * width && load_u16(in + 36) >= 22 &&
              std::memcmp(in + 44, kPcmGuid, 16) == 0 && (channels > 2 || !plain_mask),
          "an extensible output only of PCM that a plain format cannot state");
    check(same(out, in, 36, 38) && load_u16(o + 38) == 32 && same(out, in, 40, 44) && o[44] == 3 &&
              same(out, in, 45, 60),
          "the extension: its size and mask kept, 32 valid bits, the float sub-format");
    carried = 60;
  }

  // Chunks up to the data chunk, with the pad byte rule: the same bytes, but
  // MD5 chunks of 16 bytes (their places noted).
  std::size_t pos = 20 + fmt_size;
  std::uint64_t body = fmt_size;
  std::vector<std::size_t> digests;
  for (;;) {
    if (body % 2 != 0 && velkoran::fuzz::oracle_pad(in + pos, size - pos)) ++pos;
    check(pos + 8 <= size, "data chunk header within the input");
    if (std::memcmp(in + pos, "data", 4) == 0) break;
    body = load_u32(in + pos + 4);
    check(pos + 8 + body <= size, "chunk body within the input");
    if (std::memcmp(in + pos, "MD5 ", 4) == 0 && body == 16) digests.push_back(pos);
    pos += 8 + body;
  }

  // The samples: as many whole frames as the data size says, or as the
  // input holds.
  const std::uint32_t declared = load_u32(in + pos + 4);
  const std::size_t start = pos + 8;
  const std::size_t frame = channels * width;
  const std::size_t available = (size - start) / frame;
  const bool bounded = declared != 0 && declared != 0xFFFFFFFF;
  const std::size_t samples =
      channels * (bounded && declared / frame < available ? declared / frame : available);
  check(load_u32(o + pos + 4) == 4 * samples, "data size is 4 times the samples");
  check(start + 4 * samples <= out.size(), "samples within the output");
  check(velkoran::fuzz::same_samples(in + start, width, o + start, samples),
        "every sample is exactly s / 2^7, s / 2^15 or s / 2^23");

  // The digests of both data chunks: the input's where it holds all its
  // data chunk states (or runs to the end), the output's of its floats.
  const bool whole_data = !bounded || start + std::uint64_t{declared} <= size;
  velkoran::wave::Md5 in_md5;
  in_md5.update(in + start, (bounded && whole_data ? start + declared : size) - start);
  const velkoran::wave::Digest in_digest = in_md5.finish();
  velkoran::wave::Md5 out_md5;
  out_md5.update(o + start, 4 * samples);
  const velkoran::wave::Digest out_digest = out_md5.finish();
  const auto true_digest = [&](const unsigned char* stated) {
    return whole_data && std::memcmp(stated, in_digest.data(), 16) == 0;
  };

  // The header's bytes: the first MD5 chunk before the data states the
  // output's digest where it was true, every other one is JUNK.
  std::string header(reinterpret_cast<const char*>(in) + carried, pos + 4 - carried);
  std::size_t digest_at = 0;
  for (const std::size_t at : digests) {
    const bool states = at == digests.front() && true_digest(in + at + 8);
    if (states) digest_at = at;
    header.replace(at - carried, 24, digest_chunk(in + at, 16, states, out_digest));
  }
  check(out.compare(carried, header.size(), header) == 0, "header bytes carried over");

  // What follows the data chunk is carried over, less one pad byte, an MD5
  // chunk of 16 bytes stating the output's digest where it was true, else
  // JUNK.
  std::size_t after = size;
  if (bounded && start + std::uint64_t{declared} <= size) {
    after = start + declared;
    if (declared % 2 != 0 && velkoran::fuzz::oracle_pad(in + after, size - after)) ++after;
  }
  std::string following;
  for (std::size_t at = after; at < size;) {
    const std::size_t n = size - at < 8 ? 0 : load_u32(in + at + 4);
    if (size - at >= 8 && std::memcmp(in + at, "MD5 ", 4) == 0 && n == 16) {
      const std::size_t got = std::min<std::size_t>(16, size - at - 8);
      following += digest_chunk(in + at, got, got == 16 && true_digest(in + at + 8), out_digest);
      at += 24;
      continue;
    }
    const std::size_t end = size - at < 8 || n > size - at - 8 ? size : at + 8 + n;
    following.append(reinterpret_cast<const char*>(in) + at, end - at);
    at = end;
    if (n % 2 != 0 && at < size && velkoran::fuzz::oracle_pad(in + at, size - at)) {
      following += static_cast<char>(in[at++]);
    }
  }
  const std::string rest = out.substr(start + 4 * samples);
  check(rest == following, "what follows the data is carried over");
  // The RIFF chunk ends where the input's did, when that lies between the
  // data and the end of the input (the program's own rule); else at the end
  // of the output.
  const std::uint64_t outside =
      bounded ? velkoran::fuzz::oracle_after_riff(load_u32(in + 4), after, size) : 0;
  check(load_u32(o + 4) == out.size() - outside - 8, "RIFF size is where the RIFF chunk ends");
  // Whole frames times 4 a channel; "length unknown" stays so, and so does a
  // size past 32 bits.
  const std::uint64_t provisional = std::uint64_t{declared / frame} * 4 * channels;
  return {pos + 4,
          declared == 0xFFFFFFFF || provisional > 0xFFFFFFFF
              ? 0xFFFFFFFF
              : static_cast<std::uint32_t>(provisional),
          digest_at};
}

// The input: its bytes, then either its end or, at `fail_at`, reads that fail.
struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t fail_at;
  std::size_t at = 0;
};

ssize_t source_read(void* cookie, char* buf, std::size_t n) {
  auto* src = static_cast<Source*>(cookie);
  if (src->at == src->fail_at) return -1;
  const std::size_t end = std::min(src->size, src->fail_at);
  const std::size_t k = std::min(n, end - src->at);
  std::memcpy(buf, src->data + src->at, k);
  src->at += k;
  return static_cast<ssize_t>(k);
}

// The output, in memory: a file, or a pipe that cannot be repositioned.
struct Sink {
  bool unseekable;
  std::string bytes;
  std::size_t at = 0;
};

ssize_t sink_write(void* cookie, const char* buf, std::size_t n) {
  auto* sink = static_cast<Sink*>(cookie);
  if (sink->bytes.size() < sink->at + n) sink->bytes.resize(sink->at + n);
  sink->bytes.replace(sink->at, n, buf, n);
  sink->at += n;
  return static_cast<ssize_t>(n);
}

int sink_seek(void* cookie, off64_t* offset, int whence) {
  auto* sink = static_cast<Sink*>(cookie);
  const off64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<off64_t>(sink->at)
                                            : static_cast<off64_t>(sink->bytes.size());
  if (sink->unseekable || base + *offset < 0) {
    errno = sink->unseekable ? ESPIPE : EINVAL;
    return -1;
  }
  sink->at = static_cast<std::size_t>(base + *offset);
  *offset = base + *offset;
  return 0;
}

struct Run {
  int status;
  std::string console;
  std::string output;
};

Run run(const std::uint8_t* data, std::size_t size, const Controls& c) {
  Source src{data, size, c.fail_at};
  Sink sink{c.unseekable, {}};
  std::FILE* in =
      c.files ? velkoran::test::file_holding(std::string(reinterpret_cast<const char*>(data), size))
              : fopencookie(&src, "rb", {source_read, nullptr, nullptr, nullptr});
  std::FILE* out = c.files ? std::tmpfile()
                           : fopencookie(&sink, "wb", {nullptr, sink_write, sink_seek, nullptr});
  if (in == nullptr || out == nullptr) std::abort();
  const velkoran::test::InProcess r = velkoran::test::convert_in_process(
      in, out, c.max_length != 0 ? c.max_length : velkoran::wave::kMaxWaveLength);
  if (c.files) sink.bytes = velkoran::test::read_stream(out);
  std::fclose(in);
  std::fclose(out);
  return {r.status, r.console, sink.bytes};
}

// The RF64 file that stands for the RIFF output `riff` (its true sizes):
// RF64, a ds64 chunk of its 64-bit sizes, then the same chunks, the 32-bit
// sizes 0xFFFFFFFF.
std::string as_rf64(const std::string& riff, std::size_t data_size_offset,
                    std::uint64_t frame = 8) {
  const auto* r = reinterpret_cast<const unsigned char*>(riff.data());
  const std::uint64_t data = load_u32(r + data_size_offset);
  unsigned char ds64[36] = {'d', 's', '6', '4', 28};
  velkoran::wave::store_u64(ds64 + 8, std::uint64_t{load_u32(r + 4)} + 36);
  velkoran::wave::store_u64(ds64 + 16, data);
  velkoran::wave::store_u64(ds64 + 24, data / frame);
  std::string out = "RF64\xFF\xFF\xFF\xFFWAVE";
  out.append(reinterpret_cast<const char*>(ds64), sizeof ds64);
  out += riff.substr(12);
  out.replace(data_size_offset + 36, 4, "\xFF\xFF\xFF\xFF");
  return out;
}

// velkoran-drop's conversion, from a file into a file of at most
// `max_length` bytes as RIFF: whether it succeeded, and its output.
std::pair<bool, std::string> run_any(const std::uint8_t* data, std::size_t size,
                                     std::uint64_t max_length) {
  std::FILE* in =
      velkoran::test::file_holding(std::string(reinterpret_cast<const char*>(data), size));
  std::FILE* out = std::tmpfile();
  if (in == nullptr || out == nullptr) std::abort();
  velkoran::wave::Observer none;
  const velkoran::front::Outcome e = velkoran::wave::convert(in, out, none, max_length, nullptr,
                                                             velkoran::wave::Takes::kAnyInteger);
  std::pair<bool, std::string> r{e.converted(), velkoran::test::read_stream(out)};
  std::fclose(in);
  std::fclose(out);
  return r;
}

// velkoran-drop's read-back: no difference between the input and its
// output `output`, whose data size stands at `data_size_at`; one, where a bit
// of a sample is changed.
void check_read_back(const std::uint8_t* data, std::size_t size, std::string output,
                     std::size_t data_size_at) {
  static velkoran::wave::Workspace workspace;
  const auto differences = [&] {
    std::FILE* in =
        velkoran::test::file_holding(std::string(reinterpret_cast<const char*>(data), size));
    std::FILE* out = velkoran::test::file_holding(output);
    if (in == nullptr || out == nullptr) std::abort();
    const std::string why = velkoran::drop::differences(out, in, false, workspace);
    std::fclose(in);
    std::fclose(out);
    return why;
  };
  check(differences().empty(), "the read-back finds an output its input's conversion");
  const std::uint32_t bytes =
      load_u32(reinterpret_cast<const unsigned char*>(&output[data_size_at]));
  if (bytes == 0) return;
  char& flipped = output[data_size_at + 4 + (size * 7919u + data[size / 2]) % bytes];
  flipped = static_cast<char>(flipped ^ 1);
  check(!differences().empty(), "the read-back finds a sample changed");
}

// velkoran-drop's conversion: velkoran's output where velkoran's run
// (`stereo`) succeeds; where it succeeds itself, an output checked as
// velkoran's is, and past the trailer's bound, the RF64 file of its frames.
// Gives whether it failed.
bool check_any(const std::uint8_t* data, std::size_t size, const Run& stereo, const Controls& c) {
  const auto [converted, output] = run_any(data, size, velkoran::wave::kMaxWaveLength);
  if (stereo.status == 0) {
    check(converted && output == stereo.output, "velkoran's outputs are velkoran-drop's too");
  }
  if (!converted) return true;
  const DataSize at = check_success(data, size, output, "", true);
  check_read_back(data, size, output, at.offset);
  if (c.files && c.max_length != 0 && output.size() > c.max_length &&
      at.offset + 4 <= c.max_length) {
    const auto [as_rf64_too, rf64] = run_any(data, size, c.max_length);
    check(as_rf64_too && rf64 == as_rf64(output, at.offset, 4u * load_u16(data + 22)),
          "an output past the bound is RF64, its true sizes and frames in ds64");
  }
  return false;
}

}  // namespace

int velkoran::fuzz::check_one(const std::uint8_t* data, std::size_t size) {
  const Controls c = controls_of(data, size);
  const Run plain = run(data, size, Controls());
  const int wide_failed = check_any(data, size, plain, c) ? kWideFailed : 0;
  DataSize data_size{0, 0};
  if (plain.status == 0) {
    data_size = check_success(data, size, plain.output, plain.console);
  } else {
    check(plain.status == 1, "statuses are 0 and 1 only");
    check_failure(plain.console);
  }
  const bool bounded = c.max_length != 0;
  const bool failing = c.fail_at <= size;  // at the end too: the next read fails
  if (!bounded && !failing && !c.unseekable) return plain.status | wide_failed;

  const Run r = run(data, size, c);
  check(r.status == 0 || r.status == 1, "statuses are 0 and 1 only");
  if (r.status != 0) check_failure(r.console);
  if (bounded && r.output.compare(0, 4, "RF64") != 0) {
    check(r.output.size() <= c.max_length, "a RIFF output keeps to its length bound");
  }
  if (bounded + failing + c.unseekable > 1) return r.status | wide_failed;

  // From a file into a file, an output past the bound is RF64, the same
  // chunks, its sizes in ds64; but a header that passes it is refused.
  if (bounded && c.files && plain.status == 0 && plain.output.size() > c.max_length &&
      data_size.offset + 4 <= c.max_length) {
    check(r.status == 0 && r.console == plain.console &&
              r.output == as_rf64(plain.output, data_size.offset),
          "an output past the bound is RF64, the same chunks, its true sizes in ds64");
    return r.status | wide_failed;
  }

  if (failing) {
    check(r.status == 1, "a run whose reads fail does not succeed");
    check(ends_with(r.console, text::kReadFailed) ||
              (plain.status == 1 && r.console == plain.console),
          "a read failure is reported, unless the run was refused before it");
  } else if (bounded) {
    if (plain.status == 0 && plain.output.size() <= c.max_length) {
      check(r.status == 0 && r.output == plain.output,
            "a bound the output keeps to changes nothing");
    } else {
      check(r.status == 1 && (r.console == plain.console + text::kTooLong ||
                              (plain.status == 1 && (r.console == plain.console ||
                                                     ends_with(r.console, text::kTooLong)))),
            "an output that would pass its bound is refused");
    }
  } else if (plain.status != 0) {
    check(r.status == plain.status && r.console == plain.console && r.output == plain.output,
          "a failed run never repositions its output");
  } else {
    std::string expected = plain.output;
    std::memcpy(&expected[4], data + 4, 4);  // the input's RIFF size
    unsigned char provisional[4];
    velkoran::wave::store_u32(provisional, data_size.provisional);
    std::memcpy(&expected[data_size.offset], provisional, 4);
    // Its MD5 chunk before the data, a JUNK chunk till the end, stays one.
    if (data_size.digest_at != 0) {
      expected.replace(data_size.digest_at, 4, "JUNK");
      expected.replace(data_size.digest_at + 8, 16, std::string(16, '\0'));
    }
    check(r.status == 0 && r.console == plain.console && r.output == expected,
          "an unseekable output keeps the sizes of the header as first written");
  }
  return r.status | wide_failed;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velkoran::fuzz::check_one(data, size);
  return 0;
}
