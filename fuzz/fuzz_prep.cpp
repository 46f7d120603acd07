// Fuzz target: velkoran-prep on any bytes, in process, and velkoran on what it
// writes. It checks what must hold of every run, not only that nothing
// crashes:
//  - the run by names: status 0 exactly where the output was written, and
//    then nothing but the input and the output in the folder; a refusal
//    leaves no output and nothing beside it;
//  - the re-laying from a file and from a pipe (which holds what stands
//    before the format chunk, instead of reading it twice) agree: the same
//    outcome, the same bytes;
//  - a file copied as already plain is the input, byte for byte;
//  - in a written file, every chunk other than fmt and ds64 comes out byte
//    for byte and in order (its pad, if odd, as 0), the data
//    chunk's size as RF64's ds64 states it, and whatever follows the data
//    as it stood;
//  - velkoran converts every written file, with exactly the input's samples,
//    and velkoran-drop's read-back finds that output the input's conversion.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "check.hpp"
#include "drop/verify.hpp"
#include "in_process.hpp"
#include "prep/re_lay.hpp"
#include "prep/run.hpp"
#include "wave/between_passes.hpp"
#include "wave/format.hpp"
#include "wave/layout.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"

namespace {

namespace fs = std::filesystem;
using velkoran::wave::load_u16;
using velkoran::wave::load_u32;

[[noreturn]] void broken(const char* invariant) {
  std::fprintf(stderr, "invariant broken: %s\n", invariant);
  std::abort();
}

void check(bool ok, const char* invariant) {
  if (!ok) broken(invariant);
}

// A folder of this process's own, in memory where there is a tmpfs; gone
// again when the process ends.
struct Folder {
  fs::path path;
  Folder() {
    const char* base = std::getenv("VELKORAN_FUZZ_DIR");
    path = base != nullptr                ? fs::path(base)
           : fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                          : fs::temp_directory_path();
    path /= "velkoran-prep-fuzz-" + std::to_string(::getpid());
    fs::create_directories(path);
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& folder() {
  static const Folder dir;
  return dir.path;
}

std::string contents(std::FILE* f) {
  return velkoran::test::read_stream(f);
}

// The re-laying on a stream: a file, or a pipe (a memory stream, which
// cannot be told to be a file). Gives the outcome and what was written.
struct Relaid {
  velkoran::prep::Outcome outcome = velkoran::prep::Outcome::kWritten;
  std::string bytes;
};

Relaid relay(std::FILE* in) {
  std::FILE* out = std::tmpfile();
  if (in == nullptr || out == nullptr) std::abort();
  std::setvbuf(in, nullptr, _IONBF, 0);
  velkoran::prep::Changes changes;
  Relaid r;
  {
    velkoran::wave::Reader reader(in);
    velkoran::wave::Writer writer(out);
    r.outcome = velkoran::prep::re_lay(reader, writer, changes);
    check(writer.flush(), "the new file takes every byte");
  }
  if (r.outcome.written()) r.bytes = contents(out);
  std::fclose(in);
  std::fclose(out);
  return r;
}

// A chunk as it stands in a file: its header, its body (cut where the file
// ends), and its pad byte where there is one.
struct Chunk {
  std::string header;
  std::string body;
  int pad = -1;
  std::string id() const { return header.substr(0, 4); }
  std::uint32_t size() const {
    return load_u32(reinterpret_cast<const unsigned char*>(header.data()) + 4);
  }
};

// A WAVE file as the re-laying sees it: its chunks up to and with the data
// chunk (every chunk to the end where the data stands before the format
// chunk, or `walk_all` says so), then what follows, as raw bytes. `rf64`
// drops ds64 chunks before the data and takes the data chunk's size from
// them.
struct Layout {
  std::vector<Chunk> chunks;
  std::string tail;
  std::uint64_t data_size = 0;  // as ds64 states it, for RF64
  bool ds64 = false;
  bool data_before_format = false;
};

Layout layout_of(const std::string& file, bool rf64, bool walk_all = false) {
  Layout l;
  const auto* b = reinterpret_cast<const unsigned char*>(file.data());
  std::size_t pos = 12;
  bool format_seen = false;
  bool data_seen = false;
  while (pos < file.size()) {
    if (file.size() - pos < 8) {
      l.tail = file.substr(pos);
      break;
    }
    Chunk c;
    c.header = file.substr(pos, 8);
    pos += 8;
    std::uint64_t size = c.size();
    const bool is_data = c.id() == "data" && !data_seen;
    if (is_data && rf64 && l.ds64) size = l.data_size;
    if (is_data && format_seen && (size == 0 || size == 0xFFFFFFFF)) {
      size = file.size() - pos;
    }
    c.body = file.substr(
        pos, static_cast<std::size_t>(std::min<std::uint64_t>(size, file.size() - pos)));
    pos += c.body.size();
    if (c.body.size() == size && size % 2 != 0 &&
        velkoran::fuzz::oracle_pad(b + pos, file.size() - pos)) {
      c.pad = b[pos++];
    }
    if (rf64 && !data_seen && c.id() == "ds64" && c.body.size() >= 24) {
      const auto* d = reinterpret_cast<const unsigned char*>(c.body.data());
      l.ds64 = true;
      l.data_size = std::uint64_t{load_u32(d + 8)} | (std::uint64_t{load_u32(d + 12)} << 32);
      continue;
    }
    l.data_before_format = l.data_before_format || (is_data && !format_seen);
    format_seen = format_seen || c.id() == "fmt ";
    data_seen = data_seen || c.id() == "data";
    l.chunks.push_back(c);
    if (is_data && format_seen && !walk_all) {
      l.tail = file.substr(pos);
      break;
    }
  }
  return l;
}

// Every chunk but fmt and ds64, in order, byte for byte; the data chunk's
// size field as RF64 states it; what follows the data as it stood.
void check_chunks(const std::string& in, const std::string& out) {
  const bool rf64 = in.compare(0, 4, "RF64") == 0 || in.compare(0, 4, "BW64") == 0;
  const Layout from = layout_of(in, rf64);
  const Layout to = layout_of(out, false, from.data_before_format);
  check(out.compare(0, 4, "RIFF") == 0 && out.compare(8, 4, "WAVE") == 0, "a RIFF WAVE file");
  check(!to.chunks.empty() && to.chunks.front().id() == "fmt ", "the format chunk comes first");
  // All but the first format chunk (a second one is a chunk like any other).
  std::vector<Chunk> kept;
  bool format_seen = false;
  for (const Chunk& c : from.chunks) {
    if (c.id() == "fmt " && !format_seen) {
      format_seen = true;
    } else {
      kept.push_back(c);
    }
  }
  check(kept.size() + 1 == to.chunks.size(), "every other chunk is kept");
  bool data_seen = false;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const Chunk& a = kept[i];
    const Chunk& b = to.chunks[i + 1];
    check(a.id() == b.id() && a.body == b.body, "each chunk kept byte for byte, in order");
    // ds64 states the first data chunk's size; a later one is a chunk like any other.
    const bool resolved = rf64 && from.ds64 && a.id() == "data" && !data_seen;
    data_seen = data_seen || a.id() == "data";
    // What 32 bits cannot state is "length unknown".
    const std::uint64_t want = !resolved                      ? a.size()
                               : from.data_size >= 0xFFFFFFFF ? 0xFFFFFFFF
                                                              : from.data_size;
    check(b.size() == want, "each size kept, RF64's from ds64");
    if (b.body.size() == b.size() && b.size() % 2 != 0) {
      check(b.pad == 0, "every pad of a re-laid file is there, and 0");
    }
  }
  check(from.tail == to.tail, "what follows the data is kept");
}

// velkoran converts what was written, with the input's samples: those of
// the data chunk as the re-laid file states it, in whole frames; and
// velkoran-drop's read-back finds that output the conversion of `input`.
void check_conversion(const std::string& input, const std::string& relaid) {
  std::string bytes = relaid;
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "rb");
  std::FILE* out = std::tmpfile();
  const velkoran::test::InProcess r = velkoran::test::convert_in_process(in, out);
  const std::string converted = contents(out);
  std::fclose(in);
  std::fclose(out);
  check(r.status == 0, "velkoran converts every file velkoran-prep writes");
  {
    static velkoran::wave::Workspace workspace;
    std::FILE* recording = velkoran::test::file_holding(input);
    std::FILE* output = velkoran::test::file_holding(converted);
    if (recording == nullptr || output == nullptr) std::abort();
    const std::string why = velkoran::drop::differences(output, recording, false, workspace);
    std::fclose(recording);
    std::fclose(output);
    check(why.empty(), "the read-back finds a re-laid recording's output its conversion");
  }

  const Layout l = layout_of(relaid, false);
  const auto* f = reinterpret_cast<const unsigned char*>(l.chunks.front().body.data());
  const unsigned width = velkoran::wave::bytes_per_sample(load_u16(f + 2), load_u16(f + 12));
  std::string samples;
  for (const Chunk& c : l.chunks) {
    if (c.id() == "data") {
      samples = c.body;
      break;
    }
  }
  const std::size_t count = samples.size() / (2 * width) * 2;
  const auto* o = reinterpret_cast<const unsigned char*>(converted.data());
  // The output's data chunk, past the chunks before it.
  std::size_t at = 12;
  for (;;) {
    check(at + 8 <= converted.size(), "the output has a data chunk");
    const std::uint32_t size = load_u32(o + at + 4);
    if (std::memcmp(o + at, "data", 4) == 0) {
      check(size == 4 * count, "every whole frame of the input converted");
      at += 8;
      break;
    }
    at += 8 + size +
          ((size % 2 != 0 &&
            velkoran::fuzz::oracle_pad(o + at + 8 + size, converted.size() - at - 8 - size))
               ? 1
               : 0);
  }
  check(at + 4 * count <= converted.size(), "the samples are in the output");
  check(velkoran::fuzz::same_samples(reinterpret_cast<const unsigned char*>(samples.data()), width,
                                     o + at, count),
        "every sample is the input's");
}

// The re-laid file described rather than written, and read back over the
// input: the same bytes, and the same ending.
void check_described(const fs::path& in_name, const Relaid& written) {
  std::FILE* in = std::fopen(in_name.c_str(), "rb");
  if (in == nullptr) std::abort();
  std::setvbuf(in, nullptr, _IONBF, 0);
  velkoran::wave::Layout layout;
  velkoran::prep::Changes changes;
  velkoran::prep::Outcome outcome = velkoran::prep::Outcome::kWritten;
  {
    velkoran::wave::Reader reader(in);
    velkoran::wave::Writer writer(layout);
    outcome = velkoran::prep::re_lay(reader, writer, changes);
  }
  check(outcome.kind == written.outcome.kind, "described and written, a file ends alike");
  if (outcome.written()) {
    velkoran::wave::LayoutSource source(layout, in);
    velkoran::wave::Reader reader(source);
    std::string bytes(written.bytes.size() + 1, '\0');
    bytes.resize(reader.read(reinterpret_cast<unsigned char*>(&bytes[0]), bytes.size()));
    check(bytes == written.bytes && !reader.failed(), "the description reads back as written");
  }
  std::fclose(in);
}

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int velkoran::fuzz::check_one(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const fs::path dir = folder();
  const fs::path in_name = dir / "in.wav";
  const fs::path out_name = dir / "out.wav";
  {
    std::FILE* f = std::fopen(in_name.c_str(), "wb");
    if (f == nullptr || std::fwrite(input.data(), 1, input.size(), f) != input.size()) std::abort();
    std::fclose(f);
  }

  // The run by names, as the program makes it.
  std::FILE* text = std::fopen("/dev/null", "w");
  velkoran::prep::Console console(text);
  const int status = velkoran::prep::run({in_name.string(), out_name.string()}, console);
  std::fclose(text);
  const bool written = fs::exists(out_name);
  check(status == (written ? 0 : 1), "status 0 exactly where the output was written");
  check(listing(dir) == (written ? std::vector<std::string>{"in.wav", "out.wav"}
                                 : std::vector<std::string>{"in.wav"}),
        "nothing is left beside the output; a refusal leaves no output");

  // From a file and from a pipe: the same.
  const Relaid from_file = relay(std::fopen(in_name.c_str(), "rb"));
  std::string copy = input;
  const Relaid from_pipe = relay(fmemopen(copy.data(), copy.size(), "rb"));
  // (A pipe's chunk that declares more than may be held is refused before
  // it is read; RF64 data past 4 GiB needs its chunks read ahead: a file.)
  const bool pipe_only = from_pipe.outcome.kind == velkoran::prep::Outcome::kTooMuchBeforeData ||
                         from_pipe.outcome.kind == velkoran::prep::Outcome::kLongFromAPipe;
  check(from_file.outcome.kind == from_pipe.outcome.kind || pipe_only,
        "a file and a pipe end alike");
  check(from_file.bytes == from_pipe.bytes || pipe_only, "a file and a pipe are re-laid alike");
  check(from_file.outcome.written() == written, "the run writes what the re-laying does");
  check_described(in_name, from_file);
  if (written) {
    std::FILE* f = std::fopen(out_name.c_str(), "rb");
    check(contents(f) == from_file.bytes, "the run writes what the re-laying does");
    std::fclose(f);
    fs::remove(out_name);
  }
  fs::remove(in_name);
  if (!written) return 1;

  if (from_file.outcome.kind == velkoran::prep::Outcome::kCopied) {
    check(from_file.bytes == input, "a plain file is copied unchanged");
  } else {
    check_chunks(input, from_file.bytes);
  }
  check_conversion(input, from_file.bytes);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velkoran::fuzz::check_one(data, size);
  return 0;
}
