// A new file of a short name drawn at random, created exclusively in a
// folder (never a file or a link that stood there already; leftovers of a
// run killed outright are passed over), open for reading and writing, and
// removed again on every path: by remove(), by its destructor, and, where
// a second signal ends the process at once, by the process itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velkoran::platform {

// The folder part of a name, with its separator ("" for a bare name).
std::string folder_of(const std::string& name);

class TempFile {
 public:
  // `draw` gives the random part of the name (tests fix it); by default, a
  // generator seeded from the system's randomness.
  explicit TempFile(std::uint64_t (*draw)() = nullptr) : draw_(draw) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { remove(); }

  // Creates the file in `folder` ("" for the current one, else ending in a
  // separator); false where none could be.
  bool create(const std::string& folder);

  std::FILE* file() const { return file_; }
  const std::string& name() const { return name_; }

  // Flushes and closes the file, keeping it; false where that failed.
  [[nodiscard]] bool close();
  // Forgets the file once it has taken another name.
  void keep();
  // Closes and removes the file, if there is one.
  void remove();

 private:
  std::uint64_t (*draw_)();
  std::string name_;
  std::FILE* file_ = nullptr;
  int doomed_ = -1;  // its place among the files a second signal removes
};

}  // namespace velkoran::platform
