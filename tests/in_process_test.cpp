// The conversion in process, on streams that the tests make: a small length
// limit, inputs whose reads fail, outputs that cannot be repositioned.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "in_process.hpp"
#include "messages.hpp"
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

TEST(LengthLimit, OutputNeverGrowsPastWhatWaveSizesCanState) {
  const Bytes input = pcm_wave(Format::pcm16(), 0, samples(2, {1, 2, 3, 4}));
  const Bytes whole = float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}));
  // The header alone, stating what it holds: no sample.
  const std::string mended = float_wave(Format::pcm16(), Bytes()).str();
  // Exactly at the limit is fine; one byte more is refused. From a file, whose
  // length shows it, before any sample, and the header then states the little
  // it holds; from a pipe, where the bound is passed.
  EXPECT_EQ(convert_with_limit(input, whole.size()).run.status, 0);
  const Converted over = convert_with_limit(input, whole.size() - 1);
  EXPECT_EQ(over.run.status, 1);
  EXPECT_EQ(over.run.console, "tag=1" + kTooLong);
  EXPECT_EQ(over.output, mended);
  const Converted piped = convert_with_limit(input, whole.size() - 1, false);
  EXPECT_EQ(piped.run.console, "tag=1" + kTooLong);
  EXPECT_LT(piped.output.size(), whole.size());

  const Bytes list = list_chunk();
  const Bytes with_trailer = pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list));
  const Converted trailer_over = convert_with_limit(with_trailer, whole.size() + list.size() - 1);
  EXPECT_EQ(trailer_over.run.status, 1);
  EXPECT_EQ(trailer_over.output, mended);

  // The bound holds for the header too: a chunk before the data that passes
  // it, and then no whole sample, is no success with a wrapped RIFF size.
  const Bytes big_chunk_first = riff_and_format(Format::pcm16(), 0)
                                    .chunk("JUNK", Bytes().fill(100, 0))
                                    .id("data")
                                    .u32(1)
                                    .u8(5);
  const Converted header_over = convert_with_limit(big_chunk_first, big_chunk_first.size() - 2);
  EXPECT_EQ(header_over.run.status, 1);
  EXPECT_EQ(header_over.run.console, "tag=1" + kTooLong);
}

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
// once it has delivered 200,000 bytes): the run ends at the next block of
// samples, and the output is a whole, shorter file of whole frames.
struct Stopping {
  std::string bytes;
  std::size_t at = 0;
};

ssize_t read_then_stop(void* cookie, char* buf, std::size_t size) {
  auto* src = static_cast<Stopping*>(cookie);
  const std::size_t n = std::min(size, src->bytes.size() - src->at);
  std::memcpy(buf, src->bytes.data() + src->at, n);
  src->at += n;
  if (src->at >= 200000) wave::stop_signal = 2;
  return static_cast<ssize_t>(n);
}

TEST(StopRequested, EndsAtABlockWithTheTrueSizesOfWhatWasWritten) {
  const std::vector<std::int32_t> values = varied(2, 5 * 65536);
  Stopping src{pcm_wave(Format::pcm16(), 0, samples(2, values).add(list_chunk())).str()};
  std::FILE* in =
      fopencookie(&src, "rb", cookie_io_functions_t{read_then_stop, nullptr, nullptr, nullptr});
  std::FILE* out = std::tmpfile();
  const InProcess r = convert_in_process(in, out);
  const std::string output = read_stream(out);
  wave::stop_signal = 0;
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(r.console, "tag=1");  // nothing added
  ASSERT_GE(output.size(), 44u);
  const std::size_t floats_written = (output.size() - 44) / 4;
  EXPECT_GT(floats_written, 0u);
  EXPECT_LT(floats_written, values.size());
  EXPECT_EQ(floats_written % 2, 0u);
  const std::vector<std::int32_t> head(
      values.begin(), values.begin() + static_cast<std::ptrdiff_t>(floats_written));
  EXPECT_TRUE(output == float_wave(Format::pcm16(), floats(2, head)).str());
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
