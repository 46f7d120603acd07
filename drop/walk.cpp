#include "drop/walk.hpp"

#include <algorithm>
#include <system_error>
#include <utility>

#include "app/run.hpp"

#if defined(_WIN32)
#include "app/wtf8.hpp"
#endif

namespace velkoran::drop {
namespace {

namespace fs = std::filesystem;

std::string name_of(const fs::path& path) {
#if defined(_WIN32)
  return app::wtf8_from_wide(path.native());
#else
  return path.native();
#endif
}

bool ends_with_wav(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return tail == ".wav";
}

class Walk {
 public:
  explicit Walk(std::vector<Recording>& found) : found_(found) {}

  void path(const std::string& shown, const fs::path& p) {
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (fs::is_directory(st)) {
      folder(shown, fs::absolute(p, ec));
    } else if (fs::is_regular_file(st)) {
      file(shown, fs::absolute(p, ec));
    }
  }

 private:
  void file(const std::string& shown, const fs::path& p) {
    const std::string name = name_of(p.filename());
    if (!is_recording_name(name)) return;
    found_.push_back({shown, name_of(p.parent_path()), name});
  }

  // Its entries in the order of their names, byte for byte.
  void folder(const std::string& shown, const fs::path& p) {
    std::error_code ec;
    std::vector<std::pair<std::string, fs::directory_entry>> entries;
    for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
      entries.emplace_back(name_of(it->path().filename()), *it);
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, e] : entries) {
      const std::string child = shown + static_cast<char>(fs::path::preferred_separator) + name;
      std::error_code e_ec;
      if (e.is_symlink(e_ec)) {
        // A link to a file is that file; a link to a folder is not followed.
        if (fs::is_regular_file(fs::status(e.path(), e_ec))) file(child, e.path());
      } else if (e.is_directory(e_ec)) {
        folder(child, e.path());
      } else if (e.is_regular_file(e_ec)) {
        file(child, e.path());
      }
    }
  }

  std::vector<Recording>& found_;
};

}  // namespace

fs::path path_of(const std::string& name) {
#if defined(_WIN32)
  return fs::path(app::wide_from_wtf8(name));
#else
  return fs::path(name);
#endif
}

bool is_recording_name(const std::string& name) {
  return ends_with_wav(name) && name.rfind(app::kOutputPrefix, 0) != 0;
}

std::vector<Recording> find_recordings(const std::vector<std::string>& paths,
                                       std::vector<std::string>& missing) {
  std::vector<Recording> found;
  Walk walk(found);
  for (const std::string& p : paths) {
    std::error_code ec;
    if (!fs::exists(path_of(p), ec)) {
      missing.push_back(p);
      continue;
    }
    // A trailing separator would be doubled in the paths shown.
    std::string shown = p;
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) shown.pop_back();
    walk.path(shown, path_of(p));
  }
  return found;
}

}  // namespace velkoran::drop
