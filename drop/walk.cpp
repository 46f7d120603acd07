#include "drop/walk.hpp"

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

#include "platform/files.hpp"
#include "velkoran/run.hpp"

#if defined(_WIN32)
#include "platform/wtf8.hpp"
#endif

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ends_with_wav(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), lower);
  return tail == ".wav";
}

class Walk {
 public:
  Walk(std::vector<Recording>& found, const std::optional<Destination>& into)
      : found_(found), into_(into) {
    if (into_) dest_id_ = platform::file_identity(into_->full);
  }

  void path(const std::string& given) {
    std::error_code ec;
    const fs::path p = path_of(given);
    const fs::file_status st = fs::status(p, ec);
    if (ec) {
      problem(given, "it could not be opened (" + platform::error_words(ec) + ")");
      return;
    }
    // A trailing separator would be doubled in the paths shown.
    std::string shown = given;
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) shown.pop_back();
    const fs::path full = fs::absolute(p, ec);
    if (fs::is_directory(st)) {
      // As cp -r places a folder: under its own name, the real one for "."
      // or "..".
      std::vector<std::string> mirror;
      std::string own = name_of(fs::path(shown).filename());
      if (own.empty() || own == "." || own == "..") {
        own = name_of(fs::canonical(p, ec).filename());
      }
      if (!own.empty()) mirror.push_back(own);
      folder(shown, full, mirror);
    } else {
      file(shown, full, st, {});
    }
  }

 private:
  void problem(const std::string& shown, const std::string& why) {
    Recording r;
    r.shown = shown;
    r.problem = why;
    found_.push_back(std::move(r));
  }

  void file(const std::string& shown, const fs::path& p, const fs::file_status& st,
            const std::vector<std::string>& mirror) {
    std::string name = name_of(p.filename());
    if (!is_recording_name(name)) return;
    if (const std::string why = unopenable_on_windows(name); !why.empty()) {
      problem(shown, why);
      return;
    }
    if (!fs::is_regular_file(st)) {
      problem(shown, "it is not a regular file, but a FIFO, a device or a socket");
      return;
    }
    const std::string path = name_of(p);
    // The same file, named twice among the paths, or by a link.
    const std::string id = platform::file_identity(path);
    if (!id.empty() && !seen_.insert(id).second) return;
    Recording r;
    r.shown = shown;
    r.path = path;
    r.name = std::move(name);
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
    } else {
      r.out_folder = name_of(p.parent_path());
      r.out_folder += kSeparator;
    }
    found_.push_back(std::move(r));
  }

  // Its entries in the order of their names, byte for byte.
  void folder(const std::string& shown, const fs::path& p, const std::vector<std::string>& mirror) {
    if (!dest_id_.empty() && platform::file_identity(name_of(p)) == dest_id_) return;
    std::error_code ec;
    std::vector<std::pair<std::string, fs::directory_entry>> entries;
    fs::directory_iterator it(p, ec);
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
      entries.emplace_back(name_of(it->path().filename()), *it);
    }
    if (ec) {
      problem(shown, "the folder could not be read (" + platform::error_words(ec) + ")");
      return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, e] : entries) {
      const std::string child = shown + kSeparator + name;
      // Looked at by its name alone: opened, it would be the device.
      if (is_recording_name(name)) {
        if (const std::string why = unopenable_on_windows(name); !why.empty()) {
          problem(child, why);
          continue;
        }
      }
      std::error_code e_ec;
      const fs::file_status own = e.symlink_status(e_ec);
      if (e_ec) {
        // A folder, perhaps, of recordings (a path too long to open, say);
        // not an earlier output, which is passed over whatever it is.
        if (!(ends_with_wav(name) && !is_recording_name(name))) {
          problem(child, "it could not be read (" + platform::error_words(e_ec) + ")");
        }
        continue;
      }
      if (fs::is_symlink(own)) {
        // A link to a file is that file; a link to a folder is not followed.
        const fs::file_status to = fs::status(e.path(), e_ec);
        if (!fs::is_directory(to)) file(child, e.path(), to, mirror);
      } else if (fs::is_directory(own)) {
        std::vector<std::string> below = mirror;
        below.push_back(name);
        folder(child, e.path(), below);
      } else {
        file(child, e.path(), own, mirror);
      }
    }
  }

  std::vector<Recording>& found_;
  const std::optional<Destination>& into_;
  std::string dest_id_;
  std::set<std::string> seen_;
};

}  // namespace

fs::path path_of(const std::string& name) {
#if defined(_WIN32)
  return fs::path(platform::wide_from_wtf8(name));
#else
  return fs::path(name);
#endif
}

std::string name_of(const fs::path& path) {
#if defined(_WIN32)
  return platform::wtf8_from_wide(path.native());
#else
  return path.native();
#endif
}

bool is_recording_name(const std::string& name) {
  return ends_with_wav(name) && name.rfind(front::kOutputPrefix, 0) != 0;
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

std::vector<Recording> find_recordings(const std::vector<std::string>& paths,
                                       const std::optional<Destination>& into) {
  std::vector<Recording> found;
  Walk walk(found, into);
  for (const std::string& p : paths) walk.path(p);
  return found;
}

}  // namespace velkoran::drop
