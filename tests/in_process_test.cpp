// The conversion in process, on streams that the tests make: a small length
// limit, inputs whose reads fail, outputs that cannot be repositioned.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "decode.hpp"
#include "drop/jobs.hpp"
#include "drop/run.hpp"
#include "drop/verify.hpp"
#include "in_process.hpp"
#include "messages.hpp"
#include "named_case.hpp"
#include "prep/re_lay.hpp"
#include "prep_layouts.hpp"
#include "wav_builder.hpp"
#include "wave/interrupt.hpp"

namespace velkoran::test {
namespace {

struct Converted {
  InProcess run;
  std::string output;
};

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

// The conversion in process, with a chosen length limit, from a file or, as
// from a pipe, from memory; into a file, or into an output that cannot be
// repositioned.
Converted convert_with_limit(const Bytes& input, std::uint64_t max_length, bool from_file = true,
                             bool into_pipe = false) {
  std::string bytes = input.str();
  std::FILE* in = from_file ? file_holding(bytes) : fmemopen(bytes.data(), bytes.size(), "rb");
  Sink sink{ESPIPE, {}};
  std::FILE* out =
      into_pipe
          ? fopencookie(&sink, "wb", cookie_io_functions_t{nullptr, take_all, refuse_seek, nullptr})
          : std::tmpfile();
  const InProcess run = convert_in_process(in, out, max_length);
  Converted c{run, into_pipe ? (std::fflush(out), sink.bytes) : read_stream(out)};
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
  Bytes output;                            // what the output holds, where that is known exactly
  std::vector<std::int32_t> samples = {};  // what libsndfile must read from it, 16-bit
  bool into_pipe = false;                  // the output cannot be repositioned
};

class LengthLimit : public testing::TestWithParam<LimitCase> {};

const Bytes kFour = pcm_wave(Format::pcm16(), 0, samples(2, {1, 2, 3, 4}));
const Bytes kFourOut = float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}));
// The header alone, stating what it holds: no sample.
const Bytes kMended = float_wave(Format::pcm16(), Bytes());
const Bytes kWithTrailer = pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list_chunk()));
const Bytes kWithTrailerOut = float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}), list_chunk());
// The data size declares far more than the file holds: the bound is weighed
// against what it holds.
const Bytes kDeclaresMore = pcm_wave(Format::pcm16(), 4000, samples(2, {1, 2, 3, 4}));
// A chunk before the data that passes the bound, and then no whole sample:
// no success with a wrapped RIFF size.
const Bytes kBigChunkFirst =
    riff_and_format(Format::pcm16(), 0).chunk("JUNK", Bytes().fill(100, 0)).id("data").u32(1).u8(5);
// Samples over several blocks, chunks before and after them, a tag after
// the RIFF chunk: past the bound, all of it as RF64. (libsndfile's RF64
// reader loses its way in a LIST whose items are not padded: this one's are.)
const std::vector<std::int32_t> kLong = varied(2, 3 * 65536 + 6);
const Bytes kTagOutside = Bytes().raw("TAG").fill(13, 0x41);
const Bytes kInfo = Bytes().chunk("LIST", Bytes().raw("INFOICMT").u32(4).raw("take"));
const Bytes kLongIn = pcm_wave(Format::pcm16(), static_cast<std::uint32_t>(2 * kLong.size()),
                               samples(2, kLong).add(kInfo), kInfo)
                          .add(kTagOutside);
const Bytes kLongOut = float_wave(Format::pcm16(), floats(2, kLong), kInfo, kInfo).add(kTagOutside);
// Odd data: three samples and a byte, then its pad and a chunk.
const Bytes kOddIn = pcm_wave(Format::pcm16(), 7, samples(2, {5, 6, 7}).u8(1).u8(0).add(kInfo));
const Bytes kOddOut = float_wave(Format::pcm16(), floats(2, {5, 6}), kInfo);
// The same with its pad left out. The output is the same either way: the
// estimate made before the samples must know whether a pad is there to drop.
const Bytes kOddUnpaddedIn = pcm_wave(Format::pcm16(), 7, samples(2, {5, 6, 7}).u8(1).add(kInfo));

std::string written(const std::string& bytes) {
  const fs::path p = fs::temp_directory_path() / ("velkoran-limit-" + std::to_string(::getpid()));
  std::FILE* f = std::fopen(p.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return p.string();
}

TEST_P(LengthLimit, OutputNeverGrowsPastItAsRiff) {
  const LimitCase& c = GetParam();
  const Converted r = convert_with_limit(c.input, c.bound, c.from_file, c.into_pipe);
  EXPECT_EQ(r.run.status, c.status);
  EXPECT_EQ(r.run.console, c.status == 0 ? "tag=1" : "tag=1" + kTooLong);
  if (c.output.size() != 0) {
    EXPECT_TRUE(r.output == c.output.str());
  }
  if (r.output.compare(0, 4, "RIFF") == 0) {
    EXPECT_LE(r.output.size(), c.bound);
  }
  if (c.samples.empty()) return;
  // An independent reader takes the RF64 file for what it is.
  const std::string name = written(r.output);
  const Decoded d = decode(name);
  fs::remove(name);
  EXPECT_EQ(d.info.frames, static_cast<sf_count_t>(c.samples.size() / 2));
  ASSERT_EQ(d.samples.size(), c.samples.size());
  for (std::size_t i = 0; i < c.samples.size(); ++i) {
    ASSERT_EQ(d.samples[i], static_cast<float>(c.samples[i]) / 32768.0f) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, LengthLimit,
    testing::Values(
        LimitCase{"ExactlyAtTheBound", kFour, kFourOut.size(), true, 0, kFourOut},
        LimitCase{"ExactlyAtTheBoundFromAPipe", kFour, kFourOut.size(), false, 0, kFourOut},
        LimitCase{"OneByteOverIsRf64",
                  kFour,
                  kFourOut.size() - 1,
                  true,
                  0,
                  as_rf64(kFourOut),
                  {1, 2, 3, 4}},
        LimitCase{"OneByteOverFromAPipe", kFour, kFourOut.size() - 1, false, 1, Bytes()},
        // Into an output that cannot be rewound, no RF64: refused before any
        // sample, the header as first written.
        LimitCase{"OneByteOverIntoAPipe",
                  kFour,
                  kFourOut.size() - 1,
                  true,
                  1,
                  Bytes().add(kMended).set_u32(4, 36 + 8),
                  {},
                  true},
        LimitCase{"TrailingChunkOneByteOver",
                  kWithTrailer,
                  kWithTrailerOut.size() - 1,
                  true,
                  0,
                  as_rf64(kWithTrailerOut),
                  {1, 2, 3, 4}},
        LimitCase{"Rf64BlocksChunksAndATagOutside", kLongIn, 1000, true, 0,
                  as_rf64(kLongOut, kTagOutside.size()), kLong},
        LimitCase{"Rf64OddData", kOddIn, 60, true, 0, as_rf64(kOddOut), {5, 6}},
        LimitCase{"OddDataAndItsPadExactlyAtTheBound", kOddIn, kOddOut.size(), true, 0, kOddOut},
        LimitCase{"OddDataWithoutItsPadOneByteOver",
                  kOddUnpaddedIn,
                  kOddOut.size() - 1,
                  true,
                  0,
                  as_rf64(kOddOut),
                  {5, 6}},
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

// An RF64 output stopped part-way (here after its second block of samples,
// from a file, which RF64 needs): whole frames, its ds64 sizes true.
class StopAfterBlocks final : public wave::Observer {
 public:
  explicit StopAfterBlocks(int blocks) : left_(blocks) {}
  void advance(std::uint64_t, std::optional<std::uint64_t>) override {
    if (--left_ == 0) wave::stop_signal = 2;
  }

 private:
  int left_;
};

TEST(StopRequested, AnRf64OutputKeepsWholeFramesAndTrueSizes) {
  const std::vector<std::int32_t> values = varied(2, 5 * 65536);
  std::FILE* in = file_holding(pcm_wave(Format::pcm16(), 0, samples(2, values).add(kInfo)).str());
  std::FILE* out = std::tmpfile();
  StopAfterBlocks observer(2);
  const wave::End end = wave::convert(in, out, observer, 1000);
  wave::stop_signal = 0;
  const std::string output = read_stream(out);
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(end.kind, wave::End::kInterrupted);
  // The stop comes after the second block; the third has been read by then.
  const std::vector<std::int32_t> head(values.begin(), values.begin() + 3 * 65536);
  EXPECT_TRUE(output == as_rf64(float_wave(Format::pcm16(), floats(2, head))).str());
}

const Bytes kFloat16 = format_chunk(float_format_of(Format::pcm16(), 48000 * 8));

INSTANTIATE_TEST_SUITE_P(
    Stops, StopRequested,
    testing::Values(
        StopCase{"InTheSamples",
                 pcm_wave(Format::pcm16(), 0, samples(2, varied(2, 5 * 65536)).add(list_chunk())),
                 200000, Bytes()},
        StopCase{"InAChunkBeforeTheData",
                 riff(format_chunk(Format::pcm16())
                          .add(list_chunk())
                          .add(kLongJunk)
                          .chunk("data", samples(2, {1, 2}))),
                 kMiB, riff(Bytes().add(kFloat16).add(list_chunk()))},
        StopCase{
            "InAChunkAfterTheData",
            pcm_wave(Format::pcm16(), 8, samples(2, {1, 2, 3, 4}).add(list_chunk()).add(kLongJunk)),
            kMiB, float_wave(Format::pcm16(), floats(2, {1, 2, 3, 4}), list_chunk())}),
    ByName());

// velkoran-prep's re-laying in process, from `in` (closed after it), with
// the writer's bound: how it ends, its line and what it wrote.
struct Relaid {
  prep::Outcome::Kind outcome;
  std::string line;
  std::string bytes;
};

Relaid relay_in_process(std::FILE* in, std::uint64_t bound = wave::kMaxWaveLength) {
  std::FILE* out = std::tmpfile();
  prep::Changes changes;
  prep::Outcome outcome = prep::Outcome::kWritten;
  {
    wave::Reader reader(in);
    wave::Writer writer(out, bound);
    outcome = prep::re_lay(reader, writer, changes);
    (void)writer.flush();
  }
  Relaid r{outcome.kind, prep::line_of(outcome, "in.wav", "out.wav", changes), read_stream(out)};
  std::fclose(in);
  std::fclose(out);
  return r;
}

// velkoran-prep's re-laying of such an input, in process: how it ends.
prep::Outcome::Kind relay_stopping(Stopping& src) {
  const prep::Outcome::Kind kind = relay_in_process(stopping_stream(src)).outcome;
  wave::stop_signal = 0;
  return kind;
}

// velkoran-prep, too, stops within a MiB of a long copy.
TEST(StopRequested, RelayEndsSoonToo) {
  const std::vector<std::int32_t> many = varied(2, 2 * kMiB);
  Stopping src{riff(Bytes()
                        .chunk("JUNK", Bytes().fill(8, 0))
                        .add(format_chunk(Format::pcm16()))
                        .chunk("data", samples(2, many)))
                   .str(),
               kMiB};
  EXPECT_EQ(relay_stopping(src), prep::Outcome::kInterrupted);
  EXPECT_LE(src.at, 2 * kMiB);
}

// Two jobs: the first recording ends last, and still comes first, as every
// result comes in the walk's order, one at a time; no job runs more than
// kMostAhead recordings ahead of the first result not taken; and a stop
// begins nothing more.
TEST(Jobs, ResultsComeInTheWalksOrder) {
  const std::size_t count = drop::kMostAhead + 40;
  std::size_t given = 0;
  std::atomic<std::size_t> taken{0};  // on the calling thread, looked at by the walk
  std::size_t most_ahead = 0;
  std::vector<std::string> order;
  const auto next = [&](drop::Recording& r) {
    if (given == count) return false;
    most_ahead = std::max(most_ahead, given - taken);
    r.shown = std::to_string(given++);
    return true;
  };
  const auto convert = [](const drop::Recording& r, std::atomic<std::uint64_t>&, wave::Workspace&) {
    if (r.shown == "0") std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return drop::Result{drop::Result::kConverted};
  };
  // Takes and the indication, never two at once.
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  const auto alone = [&] {
    if (++inside != 1) overlapped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    --inside;
  };
  const auto take = [&](const drop::Recording& r, drop::Result&) {
    alone();
    order.push_back(r.shown);
    ++taken;
  };
  EXPECT_EQ(drop::convert_in_turn(next, 2, convert, take, [&](std::uint64_t) { alone(); }), count);
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(order.size(), count);
  for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(order[i], std::to_string(i));
  EXPECT_LE(most_ahead, drop::kMostAhead);
  given = 0;
  wave::stop_signal = 2;
  EXPECT_EQ(drop::convert_in_turn(next, 2, convert, take, [](std::uint64_t) {}), 0u);
  wave::stop_signal = 0;
}

// However many jobs are asked for, no more threads start than there are
// recordings (and one that finds the walk ended).
TEST(Jobs, NoMoreThanTheRecordings) {
  const auto threads = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    }
    return 0;
  };
  const int before = threads();
  std::size_t given = 0;
  int most = 0;
  std::mutex m;
  // A slow walk (a share far away): jobs would pile up waiting on it.
  const auto next = [&](drop::Recording& r) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    r.shown = std::to_string(given);
    return given++ < 3;
  };
  const auto convert = [&](const drop::Recording&, std::atomic<std::uint64_t>&, wave::Workspace&) {
    const auto look = [&] {
      std::lock_guard<std::mutex> lock(m);
      most = std::max(most, threads() - before);
    };
    look();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the others start meanwhile
    look();
    return drop::Result{drop::Result::kConverted};
  };
  std::size_t taken = 0;
  EXPECT_EQ(drop::convert_in_turn(
                next, 100000, convert, [&](const drop::Recording&, drop::Result&) { ++taken; },
                [](std::uint64_t) {}),
            3u);
  EXPECT_EQ(taken, 3u);
  EXPECT_GE(most, 1);
  EXPECT_LE(most, 4);
}

// A stop while two conversions are under way ends both and begins no other:
// whatever moment it lands, every output there is whole and listed as
// converted, no temporary file is left, and the summary says it stopped;
// so does the report, in place, a record for each line.
TEST(StopRequested, EndsAWholeDropOfTwoJobs) {
  const fs::path dir = fs::temp_directory_path() / ("velkoran-drop-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string wav = pcm_wave(Format::pcm16(), 0, Bytes().fill(2 << 20, 1)).str();
  for (int i = 100; i < 140; ++i) std::ofstream(dir / ("t" + std::to_string(i) + ".wav")) << wav;
  std::FILE* console = std::tmpfile();
  std::thread stop([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    wave::stop_signal = 2;
  });
  const fs::path report = dir.string() + ".jsonl";
  const int status =
      drop::run({"--jobs", "2", "--report", report.string(), dir.string()}, console, console);
  stop.join();
  wave::stop_signal = 0;
  std::rewind(console);
  std::string said(1 << 16, '\0');
  said.resize(std::fread(&said[0], 1, said.size(), console));
  std::fclose(console);
  EXPECT_EQ(status, 1);
  EXPECT_NE(said.find("\nInterrupted: "), std::string::npos) << said;
  std::size_t outputs = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name.rfind(".velkoran-", 0), std::string::npos) << name;
    if (name.rfind("velkoran-", 0) != 0) continue;
    ++outputs;
    EXPECT_EQ(fs::file_size(e.path()), 44u + (4u << 20)) << name;
    EXPECT_NE(said.find(name.substr(9) + ": converted\n"), std::string::npos) << name;
  }
  EXPECT_LT(outputs, 40u);
  // Each recording begun has its line; the rest were not reached.
  const std::string lines = said.substr(0, said.find("\nInterrupted: "));
  std::size_t begun = 0;
  for (std::size_t at = 0; (at = lines.find(".wav: ", at)) != std::string::npos; ++at) ++begun;
  EXPECT_NE(
      said.find("\nInterrupted: " + std::to_string(outputs) + " of 40 recordings converted, " +
                std::to_string(40 - begun) + " not reached."),
      std::string::npos)
      << said;
  std::ifstream in(report);
  const std::string records((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = records.find(what, at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_EQ(count("{\"input\":"), begun);
  EXPECT_EQ(count("\"outcome\":\"converted\""), outputs);
  EXPECT_EQ(count("\"outcome\":\"interrupted\""), begun - outputs);
  EXPECT_NE(records.find("\"recordings\":40,\"converted\":" + std::to_string(outputs) +
                         ",\"already\":0,\"not_converted\":" + std::to_string(begun - outputs) +
                         ",\"not_reached\":" + std::to_string(40 - begun) +
                         ",\"verified\":0,\"dry_run\":false,\"interrupted\":true}}\n"),
            std::string::npos)
      << records;
  fs::remove(report);
  fs::remove_all(dir);
}

// RF64 whose data passes what RIFF can state (here a bound the test sets):
// velkoran-prep writes its sizes as "length unknown", the chunks after the
// data moved before it, so that velkoran, reading the data to the end of the
// file, converts every frame, into RF64. Bytes after the data that are no
// chunk could not be moved: that is said before anything is written.
Relaid relay_with_bound(const Bytes& input, std::uint64_t bound) {
  return relay_in_process(file_holding(input.str()), bound);
}

TEST(LongRf64, ChunksAfterTheDataComeBeforeItAndVelkoranConvertsEveryFrame) {
  const std::vector<std::int32_t> values = varied(2, 256);
  const Bytes junk = Bytes().chunk("JUNK", Bytes().fill(8, 0));
  const Bytes bext = Bytes().chunk("bext", Bytes().raw("Take 2"));
  const Bytes data = Bytes().id("data").u32(0xFFFFFFFF).add(samples(2, values));
  const Bytes input = layouts::rf64(
      "RF64", junk, Bytes().add(format_chunk(Format::pcm16())).add(data).add(kInfo).add(bext),
      2 * values.size());
  const Relaid r = relay_with_bound(input, 200);
  EXPECT_EQ(r.outcome, prep::Outcome::kWritten);
  EXPECT_EQ(r.line,
            "Wrote out.wav: RF64 written as RIFF, its ds64 chunk dropped, and as its data passes "
            "what RIFF sizes can state (4 GiB), the RIFF and data sizes written as 0xFFFFFFFF "
            "(length unknown), 2 chunks after the data moved before it, the format chunk moved to "
            "the front, before 1 other chunk, every other chunk kept byte for byte.\n");
  const Bytes relaid = Bytes()
                           .id("RIFF")
                           .u32(0xFFFFFFFF)
                           .id("WAVE")
                           .add(format_chunk(Format::pcm16()))
                           .add(junk)
                           .add(kInfo)
                           .add(bext)
                           .add(data);
  EXPECT_TRUE(r.bytes == relaid.str());

  std::FILE* in = file_holding(r.bytes);
  std::FILE* out = std::tmpfile();
  const InProcess v = convert_in_process(in, out, 200);
  EXPECT_EQ(v.status, 0);
  Bytes converted = float_wave(Format::pcm16(), floats(2, values), Bytes(),
                               Bytes().add(junk).add(kInfo).add(bext));
  EXPECT_TRUE(read_stream(out) == as_rf64(converted).str());
  std::fclose(in);
  std::fclose(out);

  const Relaid stray = relay_with_bound(Bytes().add(input).raw("TAG").fill(125, 0x41), 200);
  EXPECT_EQ(stray.outcome, prep::Outcome::kLongWithStrayTail);
  EXPECT_EQ(stray.bytes, "");

  // Data of odd size: its pad is no stray tail.
  const Bytes odd = Bytes().id("data").u32(0xFFFFFFFF).add(samples(2, values)).u8(7).u8(0);
  const Relaid padded = relay_with_bound(
      layouts::rf64("RF64", Bytes(), Bytes().add(format_chunk(Format::pcm16())).add(odd).add(kInfo),
                    2 * values.size() + 1),
      200);
  EXPECT_EQ(padded.outcome, prep::Outcome::kWritten);
  EXPECT_NE(padded.line.find("1 chunk after the data moved before it"), std::string::npos);
}

// A read that a signal cuts short, with nothing read yet, is the stop the
// signal asked for, not a failure of the input: velkoran-prep, which has no
// other look at the request there, ends interrupted and says nothing.
TEST(StopRequested, AReadCutByASignalIsAStop) {
  Stopping src{riff(Bytes().chunk("JUNK", Bytes().fill(8, 0))).str(), 20, true};
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

// The sizes a float output states of itself, RIFF or RF64, and the bytes
// after its last chunk, read against its recording: any one of them wrong
// is a difference, and where each is right there is none.
TEST(Verify, EachSizeAnOutputStatesAndItsEnd) {
  const std::vector<std::int32_t> values = {1, -2, 3, -32768};
  const Bytes list = list_chunk();
  const std::string recording =
      pcm_wave(Format::pcm16(), 8, samples(2, values).add(list)).raw("xyzzy").str();
  const Bytes riff_output = float_wave(Format::pcm16(), floats(2, values), list);
  const std::string riff = Bytes(riff_output).raw("xyzzy").str();
  const std::string rf64 = as_rf64(Bytes(riff_output).raw("xyzzy"), 5).str();
  const auto with = [](std::string bytes, std::size_t at, unsigned char x) {
    bytes[at] = static_cast<char>(bytes[at] ^ x);
    return bytes;
  };
  const std::string riff_wrong =
      "its RIFF size is not the " + std::to_string(riff.size() - 13) + " bytes it holds";
  const std::string rf64_wrong =
      "its RIFF size is not the " + std::to_string(rf64.size() - 13) + " bytes it holds";
  const struct {
    std::string output, why;
  } cases[] = {
      {riff, ""},
      {rf64, ""},
      {with(riff, 4, 1), riff_wrong},
      {with(rf64, 4, 1), rf64_wrong},   // the RIFF header's "see ds64"
      {with(rf64, 20, 1), rf64_wrong},  // ds64's RIFF size
      {with(rf64, 36, 1), "its data chunk's header does not state its 16 bytes"},  // frames
      {with(riff, riff.size() - 1, 1), "it does not end as its recording does"},
      {with(rf64, rf64.size() - 1, 1), "it does not end as its recording does"},
  };
  wave::Workspace workspace;
  for (const auto& c : cases) {
    std::FILE* in = file_holding(recording);
    std::FILE* out = file_holding(c.output);
    EXPECT_EQ(drop::differences(out, in, false, workspace), c.why);
    std::fclose(in);
    std::fclose(out);
  }
}

}  // namespace
}  // namespace velkoran::test
