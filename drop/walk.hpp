// The recordings a drop or a command line names: each path a file, or a
// folder walked recursively, in the order of its names, without following
// links to folders. A recording is a .wav file (any case) not named
// velkoran-* (an earlier output), nor a Mac's AppleDouble file. Where each one's output goes:
// beside it, or under a folder of its own (--into), in the same subfolders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.hpp"

namespace velkoran::drop {

struct Recording {
  std::string shown;       // its path as the user gave it, the folder's part joined on
  std::string path;        // its path in full, to open it by
  std::string name;        // its name in its folder
  std::uint64_t size = 0;  // its length when the walk found it
  // The folder its output goes into, in full and ending in a separator, and
  // as a line shows it ("" beside the recording).
  std::string out_folder;
  std::string out_shown;
  // With --into: the folders below DEST that lead to out_folder, which are
  // made only when an output is written there.
  std::vector<std::string> mirror;
  // Where the walk could not go on (a folder it cannot read, a path that
  // leads nowhere, a name the platform cannot open): why. `shown` then names
  // that folder or path.
  std::string problem;
  // The recording found before it whose output it would be, as shown.
  std::string output_taken_by;
};

struct Destination {
  std::string given;  // as the user gave it, for the lines
  std::string full;   // in full, ending in a separator
};

// The recordings, in order, with what the walk could not read among them,
// one at a time: what it holds is the folders it is in (their entries), the
// identities of the folders walked, and of the files that could be found
// twice (given by name, reached by a link, of several names), and with
// DEST, the outputs of paths that become one name there. The same
// recording named twice (by any spelling, or by a link) is found once. The
// walk never enters DEST.
class RecordingWalk {
 public:
  RecordingWalk(const std::vector<std::string>& paths, const std::optional<Destination>& into);
  // The next recording, or what the walk could not read: false once all
  // is walked.
  bool next(Recording& r);

 private:
  struct Folder {
    std::string shown;
    std::filesystem::path path;
    std::vector<std::string> mirror;
    std::string id;
    std::vector<std::pair<std::string, std::filesystem::directory_entry>> entries;
    std::size_t at;  // the next entry to walk
  };
  static std::string trimmed(std::string given);
  static std::string own_name(const std::string& given);
  std::string root_of(const std::string& given) const;
  bool path(const std::string& given, Recording& r);
  bool problem(const std::string& shown, const std::string& why, Recording& r);
  // `facts`: one look at it already taken, where one was.
  bool file(const std::string& shown, const std::filesystem::path& p,
            const std::filesystem::file_status& st, std::optional<platform::FileFacts> facts,
            const std::vector<std::string>& mirror, bool may_repeat, Recording& r);
  bool found_before(const std::filesystem::path& p) const;
  bool folder(const std::string& shown, const std::filesystem::path& p,
              const std::vector<std::string>& mirror, Recording& r);
  bool entry(const Folder& f, const std::string& name, const std::filesystem::directory_entry& e,
             Recording& r);

  const std::vector<std::string>& paths_;
  const std::optional<Destination>& into_;
  std::size_t next_path_ = 0;
  std::vector<Folder> folders_;  // the folders being walked, the innermost last
  std::string dest_id_;
  std::set<std::string> walked_;  // the folders walked, by identity
  std::set<std::string> seen_;    // the files that could be found again, by identity
  std::set<std::string> shared_roots_;
  std::string current_root_;
  std::map<std::string, std::string> outputs_;  // under a shared root: output, and whose
};

using platform::name_of;
using platform::path_of;

// The name of `r`'s output, in full, and as its lines show it.
std::string output_name(const Recording& r);
std::string output_shown(const Recording& r);

// True for a name velkoran's recordings have: .wav in any case, and not the
// name of an output of velkoran.
bool is_recording_name(const std::string& name);

// True for the Finder's AppleDouble file beside a recording on a card that
// has been in a Mac (._NAME.WAV, its resource fork: 00 05 16 07 first), which
// is no recording.
bool is_apple_double(const std::string& name, const std::string& path);

// Why Windows cannot open a file of this name, which other systems can hold
// (a device name such as CON or com1, a character Windows names cannot
// hold): empty where it can, and on every other system.
std::string unopenable_on_windows(const std::string& name);

}  // namespace velkoran::drop
