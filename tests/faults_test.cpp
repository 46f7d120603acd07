// Damaged inputs and failing outputs: none may crash, hang, or end with
// status 0 while dropping data.
#include <gtest/gtest.h>

#include <cstdlib>

#include "program.hpp"

namespace velkoran::test {
namespace {

TEST(Faults, OutputThatCannotBeWrittenIsAFailure) {
  TempDir dir;
  write_file(dir / "in.wav", pcm_wave(Format::pcm16(), 8, samples16({1, 2, 3, 4})));
  fs::create_symlink("/dev/full", dir / "velkoran-in.wav");
  const RunResult r = run_program(dir.path(), {"in.wav"});
  // The very first field of the header cannot be written.
  EXPECT_EQ(r.console, banner("in.wav") + "\nERROR: Failed to write output file.\n");
  EXPECT_EQ(r.status, 1);
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
// A pipe delivers what a recorder or a network stream had written when it
// stopped: the program converts what arrived.
struct PipeCase {
  const char* name;
  Bytes delivered;
  std::string console;  // after the banner
  int status;
};

void PrintTo(const PipeCase& c, std::ostream* os) {
  *os << c.name;
}

class PipeInput : public testing::TestWithParam<PipeCase> {};

TEST_P(PipeInput, EndsWhereThePipeEnds) {
  const PipeCase& c = GetParam();
  TempDir dir;
  write_file(dir / "delivered", c.delivered);
  const std::string fifo = (dir / "in.wav").string();
  ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  ASSERT_EQ(std::system(("cat '" + (dir / "delivered").string() + "' > '" + fifo + "' &").c_str()),
            0);
  const RunResult r = run_program(dir.path(), {"in.wav"});
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
    [](const testing::TestParamInfo<PipeCase>& p) { return std::string(p.param.name); });

TEST(Faults, PipeOutputKeepsTheSizesWrittenOnTheWay) {
  // A pipe cannot be rewound: the header keeps the input's RIFF size and the
  // rescaled data size ("length unknown" as it is), and every sample still
  // arrives.
  for (const std::uint32_t data_size : {8u, 0xFFFFFFFFu}) {
    TempDir dir;
    write_file(dir / "in.wav", pcm_wave(Format::pcm16(), data_size, samples16({1, 2, 3, 4})));
    const std::string fifo = (dir / "velkoran-in.wav").string();
    ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
    ASSERT_EQ(std::system(("cat '" + fifo + "' > '" + (dir / "received").string() + "' &").c_str()),
              0);
    const RunResult r = run_program(dir.path(), {"in.wav"});
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

}  // namespace
}  // namespace velkoran::test
