// The recordings a drop or a command line names: each path a file, or a
// folder walked recursively, in the order of its names, without following
// links to folders. A recording is a .wav file (any case) not named
// velkoran-* (an earlier output). Where each one's output goes: beside it,
// or under a folder of its own (--into), in the same subfolders.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkoran::drop {

struct Recording {
  std::string shown;  // its path as the user gave it, the folder's part joined on
  std::string path;   // its path in full, to open it by
  std::string name;   // its name in its folder
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
};

struct Destination {
  std::string given;  // as the user gave it, for the lines
  std::string full;   // in full, ending in a separator
};

// What was found, in order, with what the walk could not read among it.
// The same recording named twice (by any spelling, or by a link) is found
// once. The walk never enters `into`'s folder.
std::vector<Recording> find_recordings(const std::vector<std::string>& paths,
                                       const std::optional<Destination>& into);

// Names are UTF-8 (WTF-8 on Windows) in the program, the platform's own in
// the file functions: a name as a path, and back.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);

// True for a name velkoran's recordings have: .wav in any case, and not the
// name of an output of velkoran.
bool is_recording_name(const std::string& name);

// Why Windows cannot open a file of this name, which other systems can hold
// (a device name such as CON or com1, a character Windows names cannot
// hold): empty where it can, and on every other system.
std::string unopenable_on_windows(const std::string& name);

}  // namespace velkoran::drop
