// The conversion in process, on streams that the tests make: a small length
// limit, inputs whose reads fail, outputs that cannot be repositioned.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "in_process.hpp"
#include "messages.hpp"
#include "named_case.hpp"
#include "prep/relay.hpp"
#include "wav_builder.hpp"
#include "wave/interrupt.hpp"

namespace velkoran::test {
namespace {

struct Converted {
  InProcess run;
  std::string output;
};

// The conversion in process, with a chosen length limit, from a file or, as
// from a pipe, from memory.
Converted convert_with_limit(const Bytes& input, std::uint64_t max_length, bool from_file = true) {
  std::string bytes = input.str();
  std::FILE* in = from_file ? file_holding(bytes) : fmemopen(bytes.data(), bytes.size(), "rb");
  std::FILE* out = std::tmpfile();
  Converted c{convert_in_process(in, out, max_length), read_stream(out)};
  std::fclose(in);
  std::fclose(out);
  return c;
}

// The output never grows past what WAVE sizes can state (here a bound the
// test sets). From a file, whose length shows it, an output that cannot fit
// is refused before any sample, and the header then states the little it
// holds; from a pipe, the bound is kept on every byte.
struct LimitCase : NamedCase {
  Bytes input;
  std::size_t bound;
  bool from_file;
  int status;
  Bytes output;  // what the output holds, where that is known exactly
};

class LengthLimit : public testing::TestWithParam<LimitCase> {};

const Bytes kFour = pcm_wave(Format::pcm16(), 0, samples(2, {1, 2, 3, 4}));
const Bytes kFourOut = float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}));
// The header alone, stating what it holds: no sample.
const Bytes kMended = float_wave(Format::pcm16(), Bytes());
const Bytes kWithTrailer = pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list_chunk()));
const std::size_t kWithTrailerOut =
    float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}), list_chunk()).size();
// The data size declares far more than the file holds: the bound is weighed
// against what it holds.
const Bytes kDeclaresMore = pcm_wave(Format::pcm16(), 4000, samples(2, {1, 2, 3, 4}));
// A chunk before the data that passes the bound, and then no whole sample:
// no success with a wrapped RIFF size.
const Bytes kBigChunkFirst =
    riff_and_format(Format::pcm16(), 0).chunk("JUNK", Bytes().fill(100, 0)).id("data").u32(1).u8(5);

TEST_P(LengthLimit, OutputNeverGrowsPastIt) {
  const LimitCase& c = GetParam();
  const Converted r = convert_with_limit(c.input, c.bound, c.from_file);
  EXPECT_EQ(r.run.status, c.status);
  EXPECT_EQ(r.run.console, c.status == 0 ? "tag=1" : "tag=1" + kTooLong);
  EXPECT_LE(r.output.size(), c.bound);
  if (c.output.size() != 0) {
    EXPECT_TRUE(r.output == c.output.str());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, LengthLimit,
    testing::Values(
        LimitCase{"ExactlyAtTheBound", kFour, kFourOut.size(), true, 0, kFourOut},
        LimitCase{"ExactlyAtTheBoundFromAPipe", kFour, kFourOut.size(), false, 0, kFourOut},
        LimitCase{"OneByteOver", kFour, kFourOut.size() - 1, true, 1, kMended},
        LimitCase{"OneByteOverFromAPipe", kFour, kFourOut.size() - 1, false, 1, Bytes()},
        LimitCase{"TrailingChunkOneByteOver", kWithTrailer, kWithTrailerOut - 1, true, 1, kMended},
        LimitCase{"DeclaredPastTheEndButFits", kDeclaresMore, kFourOut.size(), true, 0, kFourOut},
        LimitCase{"HeaderPastTheBound", kBigChunkFirst, kBigChunkFirst.size() - 2, true, 1,
                  Bytes()}),
    ByName());

#if defined(__GLIBC__)
// Streams that fail as a bad disk or a dropped network share does.
struct Source {
  std::string bytes;  // what is read before every further read fails
  std::size_t at = 0;
};

ssize_t read_then_fail(void* cookie, char* buf, std::size_t size) {
  auto* src = static_cast<Source*>(cookie);
  if (src->at == src->bytes.size()) return -1;
  const std::size_t n = std::min(size, src->bytes.size() - src->at);
  std::memcpy(buf, src->bytes.data() + src->at, n);
  src->at += n;
  return static_cast<ssize_t>(n);
}

TEST(ReadFailure, IsReportedWhereverItHappens) {
  const std::string file = pcm_wave(Format::pcm16(), 0, samples(2, {1, 2, 3})).str();
  // Inside the RIFF size, inside the format tag, at the data chunk id, after the samples.
  for (const auto& [delivered, before] : std::vector<std::pair<std::size_t, std::string>>{
           {10, ""}, {21, ""}, {36, "tag=1"}, {file.size(), "tag=1"}}) {
    Source src{file.substr(0, delivered)};
    std::FILE* in =
        fopencookie(&src, "rb", cookie_io_functions_t{read_then_fail, nullptr, nullptr, nullptr});
    std::FILE* out = std::tmpfile();
    const InProcess r = convert_in_process(in, out);
    EXPECT_EQ(r.status, 1) << delivered;
    EXPECT_EQ(r.console, before + kReadFailed) << delivered;
    std::fclose(in);
    std::fclose(out);
  }
}

// A signal asks the run to stop (the flag it sets is set here by the input,
// once it has delivered `stop_at` bytes): the run ends at the next block of
// samples, or within a MiB of a long chunk, and the output is a whole,
// shorter file of whole frames and whole chunks.
struct Stopping {
  std::string bytes;
  std::size_t stop_at;
  // The signal cuts the read that waits for more short (EINTR), with
  // nothing read, where the input goes no further.
  bool cut_there = false;
  std::size_t at = 0;
};

ssize_t read_then_stop(void* cookie, char* buf, std::size_t size) {
  auto* src = static_cast<Stopping*>(cookie);
  if (src->cut_there && src->at == src->stop_at) {
    wave::stop_signal = 2;
    errno = EINTR;
    return -1;
  }
  const std::size_t end = src->cut_there ? src->stop_at : src->bytes.size();
  const std::size_t n = std::min(size, end - src->at);
  std::memcpy(buf, src->bytes.data() + src->at, n);
  src->at += n;
  if (!src->cut_there && src->at >= src->stop_at) wave::stop_signal = 2;
  return static_cast<ssize_t>(n);
}

std::FILE* stopping_stream(Stopping& src) {
  return fopencookie(&src, "rb", cookie_io_functions_t{read_then_stop, nullptr, nullptr, nullptr});
}

const std::size_t kMiB = 1024 * 1024;
const Bytes kLongJunk = Bytes().chunk("JUNK", Bytes().fill(3 * kMiB, 7));

struct StopCase : NamedCase {
  Bytes input;
  std::size_t stop_at;
  Bytes output;  // empty: the samples' case, checked on its own
};

class StopRequested : public testing::TestWithParam<StopCase> {};

TEST_P(StopRequested, EndsSoonWithWholePiecesAndTrueSizes) {
  const StopCase& c = GetParam();
  Stopping src{c.input.str(), c.stop_at};
  std::FILE* in = stopping_stream(src);
  std::FILE* out = std::tmpfile();
  const InProcess r = convert_in_process(in, out);
  const std::string output = read_stream(out);
  wave::stop_signal = 0;
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(r.console, "tag=1");  // nothing added
  EXPECT_LE(src.at, c.stop_at + kMiB);
  if (c.output.size() != 0) {
    EXPECT_TRUE(output == c.output.str());
    return;
  }
  const std::vector<std::int32_t> values = varied(2, 5 * 65536);
  ASSERT_GE(output.size(), 44u);
  const std::size_t floats_written = (output.size() - 44) / 4;
  EXPECT_GT(floats_written, 0u);
  EXPECT_LT(floats_written, values.size());
  EXPECT_EQ(floats_written % 2, 0u);
  const std::vector<std::int32_t> head(
      values.begin(), values.begin() + static_cast<std::ptrdiff_t>(floats_written));
  EXPECT_TRUE(output == float_wave(Format::pcm16(), floats(2, head)).str());
}

Bytes whole_file(const Bytes& chunks) {
  Bytes b = Bytes().id("RIFF").u32(0).id("WAVE").add(chunks);
  return set_riff_size(b);
}

const Bytes kFloat16 = format_chunk(float_format_of(Format::pcm16(), 48000 * 8));

INSTANTIATE_TEST_SUITE_P(
    Stops, StopRequested,
    testing::Values(
        StopCase{"InTheSamples",
                 pcm_wave(Format::pcm16(), 0, samples(2, varied(2, 5 * 65536)).add(list_chunk())),
                 200000, Bytes()},
        StopCase{"InAChunkBeforeTheData",
                 whole_file(format_chunk(Format::pcm16())
                                .add(list_chunk())
                                .add(kLongJunk)
                                .chunk("data", samples(2, {1, 2}))),
                 kMiB, whole_file(Bytes().add(kFloat16).add(list_chunk()))},
        StopCase{
            "InAChunkAfterTheData",
            pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list_chunk()).add(kLongJunk)),
            kMiB, float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}), list_chunk())}),
    ByName());

// velkoran-prep's re-laying of such an input, in process: how it ends.
prep::Outcome::Kind relay_stopping(Stopping& src) {
  std::FILE* in = stopping_stream(src);
  std::FILE* out = std::tmpfile();
  prep::Changes changes;
  prep::Outcome outcome = prep::Outcome::kWritten;
  {
    wave::Reader reader(in);
    wave::Writer writer(out);
    outcome = prep::relay(reader, writer, changes);
  }
  wave::stop_signal = 0;
  std::fclose(in);
  std::fclose(out);
  return outcome.kind;
}

// velkoran-prep, too, stops within a MiB of a long copy.
TEST(StopRequested, RelayEndsSoonToo) {
  const std::vector<std::int32_t> many = varied(2, 2 * kMiB);
  Stopping src{whole_file(Bytes()
                              .chunk("JUNK", Bytes().fill(8, 0))
                              .add(format_chunk(Format::pcm16()))
                              .chunk("data", samples(2, many)))
                   .str(),
               kMiB};
  EXPECT_EQ(relay_stopping(src), prep::Outcome::kInterrupted);
  EXPECT_LE(src.at, 2 * kMiB);
}

// A read that a signal cuts short, with nothing read yet, is the stop the
// signal asked for, not a failure of the input: velkoran-prep, which has no
// other look at the request there, ends interrupted and says nothing.
TEST(StopRequested, AReadCutByASignalIsAStop) {
  Stopping src{whole_file(Bytes().chunk("JUNK", Bytes().fill(8, 0))).str(), 20, true};
  EXPECT_EQ(relay_stopping(src), prep::Outcome::kInterrupted);
  Stopping none{"RIFF", 0, true};
  std::FILE* in = stopping_stream(none);
  {
    wave::Reader reader(in);
    unsigned char b[4];
    EXPECT_EQ(reader.read(b, sizeof b), 0u);
    EXPECT_EQ(reader.why_short(), wave::Halt::kStopped);
  }
  wave::stop_signal = 0;
  std::fclose(in);
}

// An output that takes every byte but cannot be repositioned.
struct Sink {
  int seek_errno;  // why repositioning fails
  std::string bytes;
};

ssize_t take_all(void* cookie, const char* buf, std::size_t size) {
  static_cast<Sink*>(cookie)->bytes.append(buf, size);
  return static_cast<ssize_t>(size);
}

int refuse_seek(void* cookie, off64_t*, int) {
  errno = static_cast<Sink*>(cookie)->seek_errno;
  return -1;
}

TEST(FailedRewind, IsAFailureUnlessTheOutputIsAPipe) {
  const Bytes input = pcm_wave(Format::pcm16(), 8, samples(2, {1, 2}));
  Bytes provisional = float_wave(Format::pcm16(), floats(2, {1, 2}));
  provisional.set_u32(4, 40).set_u32(40, 16);  // the input's RIFF size; 8 bytes declared
  for (const int seek_errno : {ESPIPE, EIO}) {
    Sink sink{seek_errno, {}};
    std::FILE* in = file_holding(input.str());
    std::FILE* out =
        fopencookie(&sink, "wb", cookie_io_functions_t{nullptr, take_all, refuse_seek, nullptr});
    const InProcess r = convert_in_process(in, out);
    std::fclose(in);
    std::fclose(out);
    if (seek_errno == ESPIPE) {
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.console, "tag=1");
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.console, "tag=1" + kWriteFailed);
    }
    EXPECT_EQ(sink.bytes, provisional.str()) << seek_errno;
  }
}
#endif

}  // namespace
}  // namespace velkoran::test
