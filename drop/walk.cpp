#include "drop/walk.hpp"

#include <cstdio>

#include <algorithm>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "platform/files.hpp"

#if defined(_WIN32)
#include "platform/wtf8.hpp"
#endif

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);

#if defined(_WIN32)
char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
#endif

}  // namespace

RecordingWalk::RecordingWalk(const std::vector<std::string>& paths,
                             const std::optional<Destination>& into)
    : paths_(paths), into_(into) {
  if (into_) {
    dest_id_ = platform::file_identity(into_->full);
    // Under DEST, what each path becomes: two that become one name may
    // give one output twice; no other two can.
    std::map<std::string, unsigned> roots;
    for (const std::string& given : paths_) ++roots[root_of(given)];
    for (const auto& [root, n] : roots) {
      if (n > 1) shared_roots_.insert(root);
    }
  }
}

// The name a folder given as `given` has under DEST, as cp -r places it:
// its own, the real one for "." or "..".
std::string RecordingWalk::own_name(const std::string& given) {
  std::string own = name_of(path_of(trimmed(given)).filename());
  if (own.empty() || own == "." || own == "..") {
    std::error_code ec;
    own = name_of(fs::canonical(path_of(given), ec).filename());
  }
  return own;
}

// What a path becomes under DEST: a folder its own name, a recording its
// output's name; in lower case on Windows, whose names are one in any case.
std::string RecordingWalk::root_of(const std::string& given) const {
  std::error_code ec;
  std::string root = fs::is_directory(fs::status(path_of(given), ec))
                         ? own_name(given)
                         : platform::output_name_of(name_of(path_of(trimmed(given)).filename()));
#if defined(_WIN32)
  std::transform(root.begin(), root.end(), root.begin(), lower);
#endif
  return root;
}

// A trailing separator would be doubled in the paths shown.
std::string RecordingWalk::trimmed(std::string given) {
  while (given.size() > 1 && (given.back() == '/' || given.back() == '\\')) given.pop_back();
  return given;
}

bool RecordingWalk::next(Recording& r) {
  for (;;) {
    if (folders_.empty()) {
      if (next_path_ == paths_.size()) return false;
      current_root_ = into_ ? root_of(paths_[next_path_]) : "";
      if (path(paths_[next_path_++], r)) return true;
      continue;
    }
    Folder& f = folders_.back();
    if (f.at == f.entries.size()) {
      folders_.pop_back();
      continue;
    }
    const auto& [name, e] = f.entries[f.at++];
    if (entry(f, name, e, r)) return true;
  }
}

bool RecordingWalk::path(const std::string& given, Recording& r) {
  std::error_code ec;
  const fs::path p = path_of(given);
  const fs::file_status st = fs::status(p, ec);
  if (ec) return problem(given, "it could not be opened (" + platform::error_words(ec) + ")", r);
  const std::string shown = trimmed(given);
  const fs::path full = fs::absolute(p, ec);
  if (!fs::is_directory(st)) return file(shown, full, st, std::nullopt, {}, true, r);
  // As cp -r places a folder: under its own name.
  std::vector<std::string> mirror;
  if (std::string own = own_name(given); !own.empty()) mirror.push_back(std::move(own));
  return folder(shown, full, mirror, r);
}

bool RecordingWalk::problem(const std::string& shown, const std::string& why, Recording& r) {
  r = Recording();
  r.shown = shown;
  r.problem = why;
  return true;
}

bool RecordingWalk::file(const std::string& shown, const fs::path& p, const fs::file_status& st,
                         std::optional<platform::FileFacts> facts,
                         const std::vector<std::string>& mirror, bool may_repeat, Recording& r) {
  std::string name = name_of(p.filename());
  if (!is_recording_name(name)) return false;
  if (const std::string why = unopenable_on_windows(name); !why.empty()) {
    return problem(shown, why, r);
  }
  if (!fs::is_regular_file(st)) {
    return problem(shown, "it is not a regular file, but a FIFO, a device or a socket", r);
  }
  const std::string path = name_of(p);
  if (is_apple_double(name, path)) return false;
  // The same file, named twice among the paths, by a link or by another
  // name (a hard link), is converted once. Only what can be found again is
  // remembered: a file given by name or reached by a link, one of several
  // names, and every folder walked, which a file found again stands in.
  if (!facts) facts = platform::file_facts(path);
  if (facts) {
    if (seen_.count(facts->identity) != 0) return false;
    if (may_repeat) {
      if (found_before(p)) return false;
      seen_.insert(facts->identity);
    } else if (facts->links > 1) {
      seen_.insert(facts->identity);
    }
  }
  r = Recording();
  r.shown = shown;
  r.path = path;
  r.name = std::move(name);
  r.size = facts ? facts->size : 0;
  if (into_) {
    r.out_folder = into_->full;
    r.out_shown = into_->given;
    if (!r.out_shown.empty() && r.out_shown.back() != '/' && r.out_shown.back() != '\\') {
      r.out_shown += kSeparator;
    }
    for (const std::string& m : mirror) {
      r.out_folder += m + kSeparator;
      r.out_shown += m + kSeparator;
    }
    r.mirror = mirror;
    // Two recordings that would have one output: the first in the walk's
    // order has it.
    if (shared_roots_.count(current_root_) != 0) {
      const auto [at, added] = outputs_.emplace(output_name(r), r.shown);
      if (!added) r.output_taken_by = at->second;
    }
  } else {
    r.out_folder = name_of(p.parent_path());
    r.out_folder += kSeparator;
  }
  return true;
}

// True where the file `p`, given by name or reached by a link, was found
// already by the walk of its own folder: one walked before, or one being
// walked whose entry for it came before the one walked now.
bool RecordingWalk::found_before(const fs::path& p) const {
  std::error_code ec;
  const fs::path real = fs::canonical(p, ec);
  if (ec) return false;
  const std::string name = name_of(real.filename());
  if (!is_recording_name(name)) return false;
  const std::string parent = platform::file_identity(name_of(real.parent_path()));
  if (parent.empty() || walked_.count(parent) == 0) return false;
  for (const Folder& f : folders_) {
    if (f.id == parent) return f.at > 0 && name < f.entries[f.at - 1].first;
  }
  return true;
}

// Its entries, in the order of their names, byte for byte, to be walked.
bool RecordingWalk::folder(const std::string& shown, const fs::path& p,
                           const std::vector<std::string>& mirror, Recording& r) {
  const std::string id = platform::file_identity(name_of(p));
  if (!dest_id_.empty() && id == dest_id_) return false;
  // Walked before (named twice, or within another path given).
  if (!id.empty() && !walked_.insert(id).second) return false;
  Folder f{shown, p, mirror, id, {}, 0};
  std::error_code ec;
  fs::directory_iterator it(p, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    f.entries.emplace_back(name_of(it->path().filename()), *it);
  }
  if (ec)
    return problem(shown, "the folder could not be read (" + platform::error_words(ec) + ")", r);
  std::sort(f.entries.begin(), f.entries.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  folders_.push_back(std::move(f));
  return false;
}

bool RecordingWalk::entry(const Folder& f, const std::string& name, const fs::directory_entry& e,
                          Recording& r) {
  const std::string child = f.shown + kSeparator + name;
  // Looked at by its name alone: opened, it would be the device.
  if (is_recording_name(name)) {
    if (const std::string why = unopenable_on_windows(name); !why.empty()) {
      return problem(child, why, r);
    }
  }
  std::error_code ec;
  if (!is_recording_name(name)) {
#if !defined(_WIN32)
    // Passed over by the kind the folder's listing gives (Windows' listing,
    // as the library reads it, gives none): no look of its own.
    if (!e.is_symlink(ec) && !ec && !e.is_directory(ec) && !ec) return false;
#endif
  } else if (std::optional<platform::FileFacts> facts =
                 platform::file_facts(name_of(e.path()), false);
             facts && facts->regular) {
    // A recording, as most are: one look at it.
    return file(child, e.path(), fs::file_status(fs::file_type::regular), std::move(facts),
                f.mirror, false, r);
  }
  const fs::file_status own = e.symlink_status(ec);
  if (ec) {
    // A folder, perhaps, of recordings (a path too long to open, say); not
    // an earlier output, which is passed over whatever it is.
    if (platform::ends_in_wav(name) && !is_recording_name(name)) return false;
    return problem(child, "it could not be read (" + platform::error_words(ec) + ")", r);
  }
  if (fs::is_symlink(own)) {
    // A link to a file is that file; a link to a folder is not followed.
    const fs::file_status to = fs::status(e.path(), ec);
    if (fs::is_directory(to)) return false;
    return file(child, e.path(), to, std::nullopt, f.mirror, true, r);
  }
  if (fs::is_directory(own)) {
    std::vector<std::string> below = f.mirror;
    below.push_back(name);
    const fs::path p = e.path();
    return folder(child, p, below, r);
  }
  return file(child, e.path(), own, std::nullopt, f.mirror, false, r);
}

bool is_apple_double(const std::string& name, const std::string& path) {
  if (name.rfind("._", 0) != 0) return false;
  std::FILE* f = platform::open_input(path);
  if (f == nullptr) return false;
  unsigned char magic[4] = {};
  const bool read = std::fread(magic, 1, sizeof magic, f) == sizeof magic;
  std::fclose(f);
  return read && magic[0] == 0x00 && magic[1] == 0x05 && magic[2] == 0x16 && magic[3] == 0x07;
}

std::string output_name(const Recording& r) {
  return r.out_folder + platform::output_name_of(r.name);
}

std::string output_shown(const Recording& r) {
  return r.out_shown + platform::output_name_of(r.name);
}

bool is_recording_name(const std::string& name) {
  return platform::ends_in_wav(name) && !platform::is_output_name(name);
}

std::string unopenable_on_windows(const std::string& name) {
#if defined(_WIN32)
  // The part before the first dot, trailing spaces dropped, in any case.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  std::string key = stem;
  std::transform(key.begin(), key.end(), key.begin(), lower);
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  bool device = std::find(std::begin(kDevices), std::end(kDevices), key) != std::end(kDevices);
  if (key.size() == 4 && (key.rfind("com", 0) == 0 || key.rfind("lpt", 0) == 0) && key[3] >= '0' &&
      key[3] <= '9') {
    device = true;
  }
  if (device) {
    return "Windows takes the name " + stem +
           " for a device, and cannot open this file: rename it to convert it";
  }
  // What a share from another system may hold, mapped by Windows to
  // characters of its private use area (U+F000..U+F0FF: EF 80 80..EF 83 BF).
  for (std::size_t i = 0; i + 2 < name.size(); ++i) {
    if (static_cast<unsigned char>(name[i]) == 0xEF &&
        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(name[i + 1]) <= 0x83) {
      return "its name holds a character that Windows names cannot (such as \" < > | ? *): "
             "rename it to convert it";
    }
  }
#else
  (void)name;
#endif
  return "";
}

}  // namespace velkoran::drop
