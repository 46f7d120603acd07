// What the files one run writes put on the disk together. Each file is on
// the disk before its rename, with as few waits for the disk as the system
// allows. On Linux, where one sync of a whole file system (syncfs) puts
// every file's data and the drive's cache on the disk and tells of a
// failure to write any of them (ext4, XFS and Btrfs, from Linux 5.8), one
// such sync stands for the sync of every file finished there before it
// began: a run of many short files waits a few times, not once for each.
// Elsewhere, and once such a sync has told of a failure there, each file is
// synced on its own, which tells of its own failures. The folders of the
// renames are put on the disk each once, at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <string>

namespace velkoran::platform {

// Puts `f` on the disk, by itself: false where that failed.
[[nodiscard]] bool sync_file(std::FILE* f);
// Puts the folder `folder` (its names) on the disk, where the system can.
void sync_folder(const std::string& folder);

class Syncs {
 public:
  Syncs() = default;
  Syncs(const Syncs&) = delete;
  Syncs& operator=(const Syncs&) = delete;
  ~Syncs();

  // `f` has just been created, nothing written to it yet.
  void created(std::FILE* f);
  // A file has been written in full: its place in the order of files so
  // (from 1).
  std::uint64_t finished();
  // Puts `f`, finished as `place` (0: not told), on the disk: false where
  // that failed.
  [[nodiscard]] bool put_on_disk(std::FILE* f, std::uint64_t place);
  // A file took its name in `folder`.
  void renamed_in(const std::string& folder);
  // Puts each such folder on the disk (where the system can), and forgets them.
  void sync_folders();

 private:
  // A file system one sync serves: a handle opened there before any of the
  // run's files were written (a failure since then is told through it; -1
  // once one was), and how many files had been finished when its last sync
  // began.
  struct Whole {
    int handle = -1;
    std::uint64_t covered = 0;
  };
  std::mutex m_;
  std::uint64_t finished_ = 0;            // under m_
  std::map<std::uint64_t, Whole> whole_;  // under m_: by device
  std::set<std::string> folders_;         // under m_
};

}  // namespace velkoran::platform
