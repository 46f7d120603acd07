// The recordings a drop or a command line names: each path a file, or a
// folder walked recursively, in the order of its names, without following
// links to folders. A recording is a .wav file (any case) not named
// velkoran-* (an earlier output).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velkoran::drop {

struct Recording {
  std::string shown;   // its path as the user gave it, the folder's part joined on
  std::string folder;  // its folder, in full
  std::string name;    // its name in that folder
};

// What was found, in order; `missing` gets the paths that lead nowhere.
std::vector<Recording> find_recordings(const std::vector<std::string>& paths,
                                       std::vector<std::string>& missing);

// Names are UTF-8 (WTF-8 on Windows) in the program, the platform's own in
// the file functions: a name as a path.
std::filesystem::path path_of(const std::string& name);

// True for a name velkoran's recordings have: .wav in any case, and not the
// name of an output of velkoran.
bool is_recording_name(const std::string& name);

}  // namespace velkoran::drop
