// Damaged inputs and failing outputs: none may crash, hang, or end with
// status 0 while dropping data.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "in_process.hpp"
#include "named_case.hpp"
#include "program.hpp"

namespace velkoran::test {
namespace {

// An output that stops taking bytes: a full disk, a pipe whose reader has
// gone, the file-size limit. Each is a failed write, with its message, and
// the output keeps every byte written before it; never a process killed
// without a word.
TEST(Faults, OutputThatStopsTakingBytesIsAFailedWrite) {
  const Bytes input = pcm_wave(Format::pcm16(), 0, Bytes().fill(400000, 0));
  Bytes provisional = float_wave(Format::pcm16(), Bytes().fill(800000, 0));
  provisional.set_u32(4, 36).set_u32(40, 0);
  for (const auto& [before, tag] : std::vector<std::pair<std::string, std::string>>{
           // The very first field of the header cannot be written.
           {"ln -s /dev/full velkoran-in.wav", ""},
           {"mkfifo velkoran-in.wav && { head -c 10 velkoran-in.wav >/dev/null & }", "tag=1"},
           {"ulimit -f 8", "tag=1"},
       }) {
    // Signals are not Windows's: under Wine, the Windows program hangs on a
    // FIFO whose reader has gone, and Wine itself dies past the size limit.
    if (testing_windows_build() && before.rfind("ln -s", 0) != 0) continue;
    TempDir dir;
    write_file(dir / "in.wav", input);
    const RunResult r = run_program(dir.path(), {"in.wav"}, Shell{before});
    EXPECT_EQ(r.console, banner("in.wav") + tag + "\nERROR: Failed to write output file.\n")
        << before;
    EXPECT_EQ(r.status, 1) << before;
    if (fs::is_regular_file(dir / "velkoran-in.wav")) {
      const std::string kept = read_file(dir / "velkoran-in.wav");
      EXPECT_LT(kept.size(), provisional.size());
      EXPECT_TRUE(kept == provisional.str().substr(0, kept.size())) << before;
    }
  }
}

// Started with standard input and output closed, the program must not be
// given descriptor 1 for its output and write its console text into it.
TEST(Faults, ClosedStandardStreamsNeverReachTheOutput) {
  // Windows keeps descriptors 0-2 for the standard streams; Wine, started
  // with them closed, fails before the program runs.
  if (testing_windows_build()) GTEST_SKIP() << "POSIX descriptors";
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 4, samples16({1, 2})));
  const RunResult r = run_program(dir.path(), {"in.wav"}, Shell{"", true});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm16(), floats16({1, 2})).str());
}

TEST(Faults, HugeDeclaredSizeOnATinyFileConvertsWhatIsThere) {
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 0x80000000, samples16({7, -7, 9})));
  const RunResult r = run_program(dir.path(), {"in.wav"});
  EXPECT_EQ(r.console, banner("in.wav") + "tag=1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm16(), floats16({7, -7, 9})).str());
}

#if !defined(_WIN32)
// The file "delivered", written into a FIFO named in.wav as the program reads it.
const std::string kDeliveredThroughAPipe = "mkfifo in.wav && { cat delivered >in.wav & }";

// A pipe delivers what a recorder or a network stream had written when it
// stopped: the program converts what arrived.
struct PipeCase : NamedCase {
  Bytes delivered;
  std::string console;  // after the banner
  int status;
};

class PipeInput : public testing::TestWithParam<PipeCase> {};

TEST_P(PipeInput, EndsWhereThePipeEnds) {
  const PipeCase& c = GetParam();
  TempDir dir;
  write_file(dir / "delivered", c.delivered);
  const RunResult r = run_program(dir.path(), {"in.wav"}, Shell{kDeliveredThroughAPipe});
  EXPECT_EQ(r.console, banner("in.wav") + c.console);
  EXPECT_EQ(r.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PipeInput,
    testing::Values(PipeCase{"Nothing", Bytes(), "Error in .wav file header [0]", 1},
                    PipeCase{"RiffHeaderOnly", Bytes().id("RIFF").u32(4).id("WAVE"),
                             "Error in .wav file header [3]", 1},
                    PipeCase{"EndsInsideTheFormat", pcm_wave(Format::pcm16(), 0, Bytes()).head(30),
                             "tag=1Error in .wav file header [8]", 1},
                    PipeCase{"EndsInsideTheSamples",
                             pcm_wave(Format::pcm16(), 4000, samples16({1, 2, 3}).u8(4)), "tag=1",
                             0}),
    ByName());

// Opening the output truncates it: through links, it may be the input itself,
// of any kind. It is never opened then, so no recording is overwritten and no
// run hangs writing into its own input pipe.
TEST(Faults, OutputThatIsTheInputIsNeverOpened) {
  const Bytes wav = pcm_wave(Format::pcm16(), 4, samples16({1, 2}));
  for (const std::string& in_wav : {std::string("cp delivered in.wav"), kDeliveredThroughAPipe,
                                    std::string("ln -s /dev/zero in.wav")}) {
    TempDir dir;
    write_file(dir / "delivered", wav);
    const RunResult r =
        run_program(dir.path(), {"in.wav"}, Shell{in_wav + " && ln -s in.wav velkoran-in.wav"});
    EXPECT_EQ(r.console, banner("in.wav") + "Could not open velkoran-in.wav\n") << in_wav;
    EXPECT_EQ(r.status, 1) << in_wav;
    if (fs::is_regular_file(dir / "in.wav")) {
      EXPECT_EQ(read_file(dir / "in.wav"), wav.str());
    }
  }
}

TEST(Faults, PipeOutputKeepsTheSizesWrittenOnTheWay) {
  // A pipe cannot be rewound: the header keeps the input's RIFF size and the
  // rescaled data size ("length unknown" as it is), and every sample still
  // arrives.
  for (const std::uint32_t data_size : {8u, 0xFFFFFFFFu}) {
    TempDir dir;
    write_file(dir / "in.wav", pcm_wave(Format::pcm16(), data_size, samples16({1, 2, 3, 4})));
    const RunResult r =
        run_program(dir.path(), {"in.wav"},
                    Shell{"mkfifo velkoran-in.wav && { cat velkoran-in.wav >received & }"});
    EXPECT_EQ(r.status, 0);
    Bytes expected = float_wave(Format::pcm16(), floats16({1, 2, 3, 4}));
    expected.set_u32(4, 36 + data_size).set_u32(40, data_size == 8 ? 16 : data_size);
    // The reader may still be copying: wait until it has all of it.
    for (int i = 0; i < 200 && fs::file_size(dir / "received") < expected.size(); ++i) {
      std::system("sleep 0.01");
    }
    EXPECT_EQ(read_file(dir / "received"), expected.str()) << data_size;
  }
}
#endif

// The conversion in process, with a chosen length limit.
InProcess convert_with_limit(const Bytes& input, std::uint64_t max_length) {
  std::FILE* in = file_holding(input.str());
  std::FILE* out = std::tmpfile();
  const InProcess r = convert_in_process(in, out, max_length);
  std::fclose(in);
  std::fclose(out);
  return r;
}

TEST(LengthLimit, OutputNeverGrowsPastWhatWaveSizesCanState) {
  const std::string too_long = "\nERROR: Output exceeds the 4 GiB limit of a WAVE file.\n";
  const Bytes input = pcm_wave(Format::pcm16(), 0, samples16({1, 2, 3, 4}));
  const Bytes whole = float_wave(Format::pcm16(), floats16({1, 2, 3, 4}));
  // Exactly at the limit is fine; one byte more is refused.
  EXPECT_EQ(convert_with_limit(input, whole.size()).status, 0);
  const InProcess over = convert_with_limit(input, whole.size() - 1);
  EXPECT_EQ(over.status, 1);
  EXPECT_EQ(over.console, "tag=1" + too_long);

  const Bytes list = list_chunk();
  const Bytes with_trailer = pcm_wave(Format::pcm16(), 8, samples16({1, 2, 3, 4}).add(list));
  const InProcess trailer_over = convert_with_limit(with_trailer, whole.size() + list.size() - 1);
  EXPECT_EQ(trailer_over.status, 1);

  // The bound holds for the header too: a chunk before the data that passes
  // it, and then no whole sample, is no success with a wrapped RIFF size.
  const Bytes big_chunk_first = riff_and_format(Format::pcm16(), 0)
                                    .chunk("JUNK", Bytes().fill(100, 0))
                                    .id("data")
                                    .u32(1)
                                    .u8(5);
  const InProcess header_over = convert_with_limit(big_chunk_first, big_chunk_first.size() - 2);
  EXPECT_EQ(header_over.status, 1);
  EXPECT_EQ(header_over.console, "tag=1" + too_long);
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
  const std::string file = pcm_wave(Format::pcm16(), 0, samples16({1, 2, 3})).str();
  // Inside the RIFF size, inside the format tag, at the data chunk id, after the samples.
  for (const auto& [delivered, before] : std::vector<std::pair<std::size_t, std::string>>{
           {10, ""}, {21, ""}, {36, "tag=1"}, {file.size(), "tag=1"}}) {
    Source src{file.substr(0, delivered)};
    std::FILE* in =
        fopencookie(&src, "rb", cookie_io_functions_t{read_then_fail, nullptr, nullptr, nullptr});
    std::FILE* out = std::tmpfile();
    const InProcess r = convert_in_process(in, out);
    EXPECT_EQ(r.status, 1) << delivered;
    EXPECT_EQ(r.console, before + "\nERROR: Failed to read input file.\n") << delivered;
    std::fclose(in);
    std::fclose(out);
  }
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
  const Bytes input = pcm_wave(Format::pcm16(), 8, samples16({1, 2}));
  Bytes provisional = float_wave(Format::pcm16(), floats16({1, 2}));
  provisional.set_u32(4, 36 + 8).set_u32(40, 16);
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
      EXPECT_EQ(r.console, "tag=1\nERROR: Failed to write output file.\n");
    }
    EXPECT_EQ(sink.bytes, provisional.str()) << seek_errno;
  }
}
#endif

}  // namespace
}  // namespace velkoran::test
