#include "drop/done.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "drop/walk.hpp"
#include "platform/files.hpp"
#include "wave/between_passes.hpp"
#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"
#include "wave/stream.hpp"

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kOutFrame = wave::kChannels * wave::kOutBytesPerSample;

// The data size the output states, and where its samples start: none where
// it is no float WAVE file as velkoran writes them.
struct Stated {
  std::uint64_t size = 0;
  std::uint64_t at = 0;
};

std::optional<Stated> stated_by(std::FILE* f, unsigned char* buffer) {
  wave::Reader in(f, buffer);
  unsigned char head[12];
  if (!in.read_exact(head, sizeof head) || !wave::is_id(head + 8, "WAVE")) return std::nullopt;
  const bool rf64 = wave::is_id(head, "RF64");
  if (!rf64 && !wave::is_id(head, "RIFF")) return std::nullopt;
  std::optional<std::uint64_t> ds64_data;
  bool format = false;
  wave::ChunkWalk walk(in);
  for (;;) {
    wave::ChunkHeader h;
    if (!walk.next(h)) return std::nullopt;
    if (h.is("data")) {
      if (!format) return std::nullopt;
      if (rf64 && (!ds64_data || h.size() != wave::kUnknownDataSize)) return std::nullopt;
      return Stated{rf64 ? *ds64_data : h.size(), in.position()};
    }
    if (rf64 && h.is("ds64") && h.size() >= wave::kDs64SizesBytes) {
      unsigned char sizes[wave::kDs64SizesBytes];
      if (walk.read(sizes, sizeof sizes) != sizeof sizes) return std::nullopt;
      ds64_data = wave::read_ds64(sizes).data;
    } else if (h.is("fmt ") && h.size() >= 16) {
      unsigned char fmt[16];
      if (walk.read(fmt, sizeof fmt) != sizeof fmt) return std::nullopt;
      if (wave::load_u16(fmt) != wave::kTagFloat || wave::load_u16(fmt + 2) != wave::kChannels ||
          wave::load_u16(fmt + 12) != kOutFrame || wave::load_u16(fmt + 14) != 32) {
        return std::nullopt;
      }
      format = true;
    }
    if (!walk.skip()) return std::nullopt;
  }
}

}  // namespace

std::uint64_t frames_written(const Samples& samples, std::uint64_t length) {
  if (samples.block_align == 0) return 0;
  const std::uint64_t held = length > samples.at ? length - samples.at : 0;
  const std::uint64_t bytes = samples.size && *samples.size < held ? *samples.size : held;
  return bytes / samples.block_align;
}

bool already_converted(const std::string& output, std::int64_t recording_modified,
                       std::uint64_t frames, unsigned char* buffer) {
  // One look at the name itself: a link, a file of several names or one
  // older than the recording is no output of its own, up to date.
  const std::optional<platform::FileFacts> out = platform::file_facts(output, false);
  if (!out || !out->regular || out->links != 1 || out->modified < recording_modified) return false;
  std::FILE* f = platform::open_input(output);
  if (f == nullptr) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  const std::optional<Stated> stated = stated_by(f, buffer);
  std::fclose(f);
  return stated && stated->size % kOutFrame == 0 && stated->size / kOutFrame == frames &&
         out->size >= stated->at && out->size - stated->at >= stated->size;
}

}  // namespace velkoran::drop
