// A file written under a temporary name beside the one it is to replace,
// which takes that one's place in a single step only once it is whole and
// on the disk: a refusal, a failure or an interruption never leaves half a
// file under the name, nor replaces a good one there.
//
// Only a regular file is ever replaced: a name that leads to a folder, a
// FIFO or a device is refused, and so is one that is the input itself, one
// with more than one hard link (replacing it would part the names), and one
// the user could not open for writing. A missing name is created. A
// symbolic link stays one: the file it leads to is replaced, in that file's
// folder; but a name the program derived itself (velkoran-drop's outputs)
// follows nothing, and a link standing there is refused. The file that takes the old one's place
// keeps its permission bits, and its owner and group where the process may set them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/syncs.hpp"
#include "platform/tempfile.hpp"

namespace velkoran::platform {

class Replacement {
 public:
  enum class Refusal {
    kNone,
    kIsInput,    // the name leads to the input itself
    kFolder,     // ... to a folder
    kFifo,       // ... to a FIFO
    kDevice,     // ... to a device or a socket
    kHardLinks,  // ... to a file of several names
    kLink,       // the name is a symbolic link, which a derived name never follows
    kNotOpened,  // the file cannot be opened for writing, or nothing can be created beside it
  };
  // Whether a symbolic link at the name is followed (a name the user gave)
  // or refused (a name the program derived).
  enum class Links { kFollow, kRefuse };

  // `draw` gives the random part of the new file's name (tests fix it);
  // by default, a generator seeded from the system's randomness.
  explicit Replacement(std::uint64_t (*draw)() = nullptr) : temp_(draw) {}
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;
  ~Replacement() { abandon(); }

  // Looks at what `name` leads to and, where it may be replaced, creates
  // the new file beside it (kNone). `input` is the file being read, which
  // must never be replaced. Nothing it does can block: a FIFO is never
  // opened.
  // With `syncs`, the file is put on the disk with the others of a run, and
  // its folder at the end.
  Refusal open(const std::string& name, std::FILE* input, Links links = Links::kFollow,
               Syncs* syncs = nullptr);
  // What open() would make of `name`, found without creating anything (a
  // dry run): kNone where it would create the new file.
  Refusal would_open(const std::string& name, std::FILE* input, Links links = Links::kFollow);

  // The new file, open for binary writing; nullptr before open succeeds.
  std::FILE* file() const { return temp_.file(); }
  // The number of names (hard links) the file had, for a kHardLinks refusal.
  std::uint64_t links() const { return links_; }
  // The system's words for why a kNotOpened refusal came about.
  std::string why() const;

  // The new file's modification time, set as it is committed: `modified` as
  // FileFacts states one (a recording's, which its output keeps).
  void keep_time(std::int64_t modified) {
    modified_ = modified;
    keep_time_ = true;
  }

  // The new file is whole, and is written no more: it is flushed, given its
  // owner, mode and time, and takes its place among the files its Syncs puts
  // on the disk. commit() does it where it was not done.
  void finish();
  // Puts the new file on the disk, closes it and renames it into place (the
  // folder, too, is put on the disk where the system can, or left to the
  // Syncs). False where any of that failed: the new file is then removed,
  // and the old one is as it was.
  [[nodiscard]] bool commit();
  // Closes and removes the new file, if there is one.
  void abandon();

 private:
  Refusal look(const std::string& name, std::FILE* input, Links links);
  // look(), the state of an earlier name forgotten first, and its error kept.
  Refusal look_afresh(const std::string& name, std::FILE* input, Links links);
  // finish()'s flush, and the owner, mode and time: false where one failed.
  bool settle();

  std::string target_;  // the file to replace or create, links followed
  TempFile temp_;       // the new file
  bool existed_ = false;
  std::uint64_t links_ = 0;
  int error_ = 0;           // errno (GetLastError on Windows) of a kNotOpened refusal
  Syncs* syncs_ = nullptr;  // the Syncs of open(), and the file's place there
  std::uint64_t place_ = 0;
  bool finished_ = false;
  bool settled_ = false;  // by finish()
  bool keep_time_ = false;
  std::int64_t modified_ = 0;
  // The old file's permission bits, owner and group (POSIX).
  unsigned mode_ = 0;
  unsigned uid_ = 0;
  unsigned gid_ = 0;
};

}  // namespace velkoran::platform
