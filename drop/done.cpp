#include "drop/done.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "drop/shape.hpp"
#include "platform/files.hpp"
#include "wave/between_passes.hpp"
#include "wave/ds64.hpp"
#include "wave/format.hpp"
#include "wave/le.hpp"
#include "wave/riff.hpp"
#include "wave/stream.hpp"

namespace velkoran::drop {
namespace {

// Both files' kept chunks, walked side by side: the same ids and sizes in
// the same order, to the end of each (a recording's digest of its data the
// output's digest of its own, or a JUNK chunk in its place).
bool same_chunks(Shape& output, Shape& recording) {
  for (;;) {
    wave::ChunkHeader a;
    wave::ChunkHeader b;
    const bool more = output.next(a);
    if (more != recording.next(b)) return false;
    if (!more) return true;
    if (wave::is_digest(b) && wave::is_digest_or_junk(a)) continue;
    for (std::size_t i = 0; i < sizeof a.bytes; ++i) {
      if (a.bytes[i] != b.bytes[i]) return false;
    }
  }
}

// Whether an output's time is its recording's, to the precision both
// files hold: the same, or on a file system of whole seconds (FAT's two,
// an archive's one), the recording's within them.
bool same_time(std::int64_t output, std::int64_t recording) {
  constexpr std::int64_t kSecond = 1000000000;
  if (output == recording) return true;
  const std::int64_t apart = output > recording ? output - recording : recording - output;
  return output % kSecond == 0 && apart < 2 * kSecond;
}

}  // namespace

std::uint64_t frames_written(const Samples& samples, std::uint64_t length) {
  if (samples.block_align == 0) return 0;
  const std::uint64_t held = length > samples.at ? length - samples.at : 0;
  const std::uint64_t bytes = samples.size && *samples.size < held ? *samples.size : held;
  return bytes / samples.block_align;
}

std::optional<Stats> stats_of(std::FILE* recording, wave::Workspace& workspace) {
  const std::optional<platform::FileFacts> facts = platform::file_facts(recording);
  std::optional<Stats> stats;
  std::rewind(recording);
  if (facts) {
    Shape shape(recording, facts->size, workspace.reader.get(), false);
    for (wave::ChunkHeader h; shape.next(h);) {
    }
    if (shape.has_format() && shape.channels != 0 && shape.block_align != 0 && shape.data_at != 0) {
      const Samples samples{shape.data_at, shape.data_size, shape.block_align};
      stats = Stats{frames_written(samples, facts->size), shape.channels,
                    8u * shape.block_align / shape.channels, shape.rate};
    }
  }
  std::rewind(recording);
  return stats;
}

bool already_converted(const std::string& output, std::FILE* recording,
                       const platform::FileFacts& recording_facts, std::uint64_t frames,
                       wave::Workspace& workspace, bool copy) {
  const std::int64_t recording_modified = recording_facts.modified;
  const std::uint64_t recording_length = recording_facts.size;
  // One look at the name itself: a link, a file of several names or one of
  // another time than the recording's is no output of its own, up to date.
  const std::optional<platform::FileFacts> out = platform::file_facts(output, false);
  if (!out || !out->regular || out->links != 1 || !same_time(out->modified, recording_modified)) {
    return false;
  }
  std::FILE* f = platform::open_input(output);
  if (f == nullptr) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  bool done = false;
  {
    // A copy's sizes are the recording's, and read as its are.
    Shape converted(f, out->size, workspace.writer.get(), !copy);
    Shape source(recording, recording_length, workspace.reader.get(), false);
    done = converted.is_wave() && source.is_wave() && same_chunks(converted, source) &&
           converted.has_format() && source.has_format() && same_format(converted, source, copy);
    if (done && copy) {
      // As long, its samples where the recording's stand, and as long.
      done = out->size == recording_length && converted.data_at == source.data_at &&
             converted.data_size == source.data_size;
    } else if (done) {
      // Every frame, no more, stated and held.
      const std::uint64_t size = converted.data_size.value_or(0);
      done = converted.data_size && size % converted.block_align == 0 &&
             size / converted.block_align == frames && out->size >= converted.data_at &&
             out->size - converted.data_at >= size;
      // An output of other data that states its recording's digest (copied
      // over by a version that carried every chunk as it stood) states a
      // falsehood: it is converted again.
      for (const wave::Digest& d : converted.digests) {
        const auto& stated = source.digests;
        if (size != 0 && std::find(stated.begin(), stated.end(), d) != stated.end()) done = false;
      }
    }
  }
  std::fclose(f);
  // Converted after all: from its start.
  if (!done) std::rewind(recording);
  return done;
}

}  // namespace velkoran::drop
