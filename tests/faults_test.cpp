// Damaged inputs and failing outputs: none may crash, hang, or end with
// status 0 while dropping data.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "decode.hpp"
#include "messages.hpp"
#include "named_case.hpp"
#include "program.hpp"
#include "wave/le.hpp"

namespace velkoran::test {
namespace {

// An output that stops taking bytes: a full disk, a pipe whose reader has
// gone, the file-size limit. Each is a failed write, with its message; never
// a process killed without a word. A file output is then cut back to its
// whole frames, its sizes true to what it holds, as after a stop: no reader
// takes it for the whole recording.
TEST(Faults, OutputThatStopsTakingBytesIsAFailedWrite) {
  const std::string kLimit = "prlimit --fsize=4096:4096 --pid $$";
  for (const auto& [before, tag, bytes] :
       std::vector<std::tuple<std::string, std::string, std::size_t>>{
           // The very first field of the header cannot be written.
           {"ln -s /dev/full velkoran-in.wav", "", 400000},
           {"mkfifo velkoran-in.wav && { head -c 10 velkoran-in.wav >/dev/null & }", "tag=1",
            400000},
           // A block of samples refused whole; samples held in the writer's
           // buffer, of which the file took only a part.
           {kLimit, "tag=1", 400000},
           {kLimit, "tag=1", 5000},
       }) {
    const Bytes input = pcm_wave(Format::pcm16(), 0, Bytes().fill(bytes, 0));
    // Signals are not Windows's: under Wine, the Windows program hangs on a
    // FIFO whose reader has gone, and Wine itself dies past the size limit.
    if (testing_windows_build() && before.rfind("ln -s", 0) != 0) continue;
    TempDir dir;
    write_file(dir / "in.wav", input);
    const RunResult r = run_program(dir.path(), {"in.wav"}, Shell{before});
    EXPECT_EQ(r.console, banner("in.wav") + tag + kWriteFailed) << before;
    EXPECT_EQ(r.status, 1) << before;
    if (!fs::is_symlink(dir / "velkoran-in.wav") && fs::is_regular_file(dir / "velkoran-in.wav")) {
      const std::string kept = read_file(dir / "velkoran-in.wav");
      // Within the 4 KiB allowed: whole frames of silence, and sizes that
      // say how many.
      ASSERT_GE(kept.size(), 44u);
      EXPECT_LE(kept.size(), 4096u);
      // Every whole frame that reached the file past the size limit is kept.
      if (before == kLimit) {
        EXPECT_EQ(kept.size(), 44 + (4096 - 44) / 8 * 8);
      }
      EXPECT_TRUE(kept == float_wave(Format::pcm16(), Bytes().fill(kept.size() - 44, 0)).str())
          << before;
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
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 4, samples(2, {1, 2})));
  const RunResult r = run_program(dir.path(), {"in.wav"}, Shell{"", true});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm16(), floats(2, {1, 2})).str());
}

// Ctrl-C, a batch job's timeout, a closed terminal: each lands while the
// program waits for more of its input, and cuts that wait short. The run ends
// with a whole, shorter file (whole frames, whole chunks, true sizes), nothing
// more on the console, and by that very signal, so whoever started it sees
// the interruption. A signal that was ignored when the program started (a
// background job) changes nothing.
struct SignalCase : NamedCase {
  std::string signal;
  bool ignored;
  int status;
  Bytes input;
  std::size_t arrived;  // bytes delivered before the signal
  Bytes output;         // all the output holds afterwards
  bool has_data = true;
};

class Signal : public testing::TestWithParam<SignalCase> {};

TEST_P(Signal, LeavesAWholeShorterFile) {
  // Under Wine, a SIGINT reaches the Windows program as Ctrl-C only while it
  // is not waiting on a read, and SIGTERM and SIGHUP end Wine itself.
  if (testing_windows_build()) GTEST_SKIP() << "POSIX signals";
  const SignalCase& c = GetParam();
  TempDir dir;
  write_file(dir / "delivered", c.input);
  Shell shell = signal_after(c.arrived, c.signal);
  if (c.ignored) shell.before = "trap '' INT && " + shell.before;
  const RunResult r = run_program(dir.path(), {"in.wav"}, shell);
  EXPECT_EQ(r.status, c.status);
  const bool tag_read = c.arrived >= 22;
  EXPECT_EQ(r.console, banner("in.wav") + (tag_read ? "tag=1" : ""));
  EXPECT_TRUE(read_file(dir / "velkoran-in.wav") == c.output.str());
  // The wait was cut short: the program never waited on its read again.
  if (!c.ignored) {
    EXPECT_FALSE(fs::exists(dir / ".fifo-closed"));
  }
  // An independent reader takes it for what it is: frames = data size / 8.
  if (c.has_data) {
    EXPECT_EQ(decode(dir / "velkoran-in.wav").info.frames,
              static_cast<sf_count_t>(wave::load_u32(c.output.data().data() + 40) / 8));
  }
}

const std::vector<std::int32_t> kValues = varied(2, 8000);
const Bytes kSignalled = pcm_wave(Format::pcm16(), 2 * 8000, samples(2, kValues).add(list_chunk()));
// What arrives before the signal: the header, 1000 frames and half a frame.
const std::size_t kSomeFrames = 44 + 4 * 1000 + 2;
const Bytes kFirstFrames =
    float_wave(Format::pcm16(), floats(2, {kValues.begin(), kValues.begin() + 2000}));
// A chunk that arrives only in part: 150,000 of its bytes, more than a read
// takes at a time, so what comes before it is handled before the signal.
const Bytes kLong = Bytes().chunk("JUNK", Bytes().fill(300000, 9));
const std::size_t kPartOfLong = 8 + 150000;
const Bytes kFloatFormat = format_chunk(float_format_of(Format::pcm16(), 48000 * 8));

INSTANTIATE_TEST_SUITE_P(
    Faults, Signal,
    testing::Values(
        SignalCase{"InSamplesInt", "INT", false, 130, kSignalled, kSomeFrames, kFirstFrames},
        SignalCase{"InSamplesTerm", "TERM", false, 143, kSignalled, kSomeFrames, kFirstFrames},
        SignalCase{"InSamplesHup", "HUP", false, 129, kSignalled, kSomeFrames, kFirstFrames},
        SignalCase{"IgnoredChangesNothing", "INT", true, 0, kSignalled, kSomeFrames, kFirstFrames},
        // Inside the data size field: the RIFF header and the format chunk are whole.
        SignalCase{"InTheHeader", "INT", false, 130, kSignalled, 40, riff(kFloatFormat), false},
        SignalCase{"InAChunkBeforeTheData", "TERM", false, 143,
                   riff(format_chunk(Format::pcm16()).add(list_chunk()).add(kLong)),
                   36 + list_chunk().size() + kPartOfLong,
                   riff(Bytes().add(kFloatFormat).add(list_chunk())), false},
        SignalCase{
            "InAChunkAfterTheData", "INT", false, 130,
            pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list_chunk()).add(kLong)),
            44 + 8 + list_chunk().size() + kPartOfLong,
            float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}), list_chunk())}),
    ByName());

TEST(Faults, HugeDeclaredSizeOnATinyFileConvertsWhatIsThere) {
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 0x80000000, samples(2, {7, -7, 9})));
  const RunResult r = run_program(dir.path(), {"in.wav"});
  EXPECT_EQ(r.console, banner("in.wav") + "tag=1");
  EXPECT_EQ(r.status, 0);
  // The lone last sample, half a frame, is dropped.
  EXPECT_EQ(read_file(dir / "velkoran-in.wav"),
            float_wave(Format::pcm16(), floats(2, {7, -7})).str());
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
    testing::Values(
        PipeCase{"Nothing", Bytes(), header_error(0), 1},
        PipeCase{"RiffHeaderOnly", Bytes().id("RIFF").u32(4).id("WAVE"), header_error(3), 1},
        PipeCase{"EndsInsideTheFormat", pcm_wave(Format::pcm16(), 0, Bytes()).head(30),
                 "tag=1" + header_error(8), 1},
        PipeCase{"EndsInsideTheSamples",
                 pcm_wave(Format::pcm16(), 4000, samples(2, {1, 2, 3}).u8(4)), "tag=1", 0}),
    ByName());

// Opening the output truncates it: through links, it may be the input itself,
// of any kind. It is never opened then, so no recording is overwritten and no
// run hangs writing into its own input pipe.
TEST(Faults, OutputThatIsTheInputIsNeverOpened) {
  const Bytes wav = pcm_wave(Format::pcm16(), 4, samples(2, {1, 2}));
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
  // A size whose output would not fit 32 bits is "length unknown" too: wrapped,
  // it would state a short, clean recording.
  for (const auto& [data_size, provisional] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
           {8, 16}, {0xFFFFFFFF, 0xFFFFFFFF}, {0x80000800, 0xFFFFFFFF}}) {
    TempDir dir;
    write_file(dir / "in.wav", pcm_wave(Format::pcm16(), data_size, samples(2, {1, 2, 3, 4})));
    const RunResult r =
        run_program(dir.path(), {"in.wav"},
                    Shell{"mkfifo velkoran-in.wav && { cat velkoran-in.wav >received & }"});
    EXPECT_EQ(r.status, 0);
    Bytes expected = float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}));
    expected.set_u32(4, 44).set_u32(40, provisional);
    // The reader may still be copying: wait until it has all of it.
    for (int i = 0; i < 6000 && fs::file_size(dir / "received") < expected.size(); ++i) {
      std::system("sleep 0.01");
    }
    EXPECT_EQ(read_file(dir / "received"), expected.str()) << data_size;
  }
}
#endif

}  // namespace
}  // namespace velkoran::test
