#include "drop/options.hpp"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/files.hpp"
#include "platform/quote.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace velkoran::drop {

const char kUsageLine[] =
    "Usage: velkoran-drop [--into DEST] [--jobs N] [--again] [--dry-run] [--verify] "
    "[--report FILE] "
    "[--files-from LIST [--null]] PATH...\n";

const char kHelp[] =
    "Converts every recording (.wav file) of the files and folders given, each into a\n"
    "32-bit float WAVE file named velkoran-NAME beside it, as velkoran does.\n"
    "\n"
    "  --into DEST   write the outputs under the folder DEST instead, in the same\n"
    "                subfolders as the recordings (as cp -r PATH DEST places them);\n"
    "                the recordings are only read\n"
    "  -j, --jobs N  convert N recordings at once (default: one per processor)\n"
    "  --again       convert recordings whose output is complete and up to date too\n"
    "  -n, --dry-run say what would be done, reading only headers, writing nothing\n"
    "  --verify      read each output back and check it against its recording, sample\n"
    "                for sample, before it takes its name; check each output made\n"
    "                before in the same way, changing nothing (an audit)\n"
    "  --report FILE a record of each recording, JSON Lines (-: standard output, the\n"
    "                lines then on standard error)\n"
    "  --files-from LIST  the paths LIST holds too, one a line (-: standard input)\n"
    "  --null        the paths of LIST are separated by NUL bytes (find -print0)\n"
    "  --help        show this help; --version: the version\n"
    "  --            every argument after it is a path\n";

namespace {

// A whole number from 1 up, in decimal digits only.
bool positive(const std::string& text, unsigned& value) {
  if (text.empty() || text.size() > 6) return false;
  unsigned v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  value = v;
  return v != 0;
}

}  // namespace

Parsed parse(const std::vector<std::string>& args, Options& options, std::string& error) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_end || a.empty() || a[0] != '-' || a == "-") {
      options.paths.push_back(a);
      continue;
    }
    // "--into=DEST" and "--into DEST", "-j2" and "-j 2" alike.
    std::string name = a;
    std::optional<std::string> value;
    if (const std::size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
    } else if (a.rfind("-j", 0) == 0 && a.size() > 2) {
      name = "-j";
      value = a.substr(2);
    }
    const auto take_value = [&]() -> bool {
      if (value) return true;
      if (i + 1 >= args.size()) {
        error = "velkoran-drop: " + name + " needs a value\n";
        return false;
      }
      value = args[++i];
      return true;
    };
    if (name == "--") {
      options_end = true;
    } else if (name == "--help" || name == "-h") {
      return Parsed::kHelp;
    } else if (name == "--version") {
      return Parsed::kVersion;
    } else if (name == "--again" && !value) {
      options.again = true;
    } else if ((name == "--dry-run" || name == "-n") && !value) {
      options.dry_run = true;
    } else if (name == "--verify" && !value) {
      options.verify = true;
    } else if (name == "--null" && !value) {
      options.null = true;
    } else if (name == "--report") {
      if (!take_value()) return Parsed::kWrong;
      if (value->empty()) {
        error = "velkoran-drop: --report needs a file, or -\n";
        return Parsed::kWrong;
      }
      options.report = *value;
    } else if (name == "--files-from") {
      if (!take_value()) return Parsed::kWrong;
      options.files_from = *value;
    } else if (name == "--into") {
      if (!take_value()) return Parsed::kWrong;
      if (value->empty()) {
        error = "velkoran-drop: --into needs a folder\n";
        return Parsed::kWrong;
      }
      options.into = *value;
    } else if (name == "--jobs" || name == "-j") {
      if (!take_value()) return Parsed::kWrong;
      if (!positive(*value, options.jobs)) {
        error = "velkoran-drop: " + name + " takes a number of 1 or more, not " +
                platform::shown_name(*value) + "\n";
        return Parsed::kWrong;
      }
    } else {
      error = "velkoran-drop: unknown option " + platform::shown_name(a) + "\n";
      return Parsed::kWrong;
    }
  }
  if (options.null && !options.files_from) {
    error = "velkoran-drop: --null goes with --files-from\n";
    return Parsed::kWrong;
  }
  if (options.verify && options.dry_run) {
    error = "velkoran-drop: --verify reads what a run writes, and a dry run writes nothing\n";
    return Parsed::kWrong;
  }
  return Parsed::kRun;
}

bool read_list(Options& options, std::string& error) {
  const std::string& list = *options.files_from;
  const bool from_input = list == "-";
#if defined(_WIN32)
  if (from_input) (void)_setmode(_fileno(stdin), _O_BINARY);
#endif
  errno = 0;
  std::FILE* f = from_input ? stdin : platform::open_input(list);
  std::string text;
  bool read = f != nullptr;
  // A folder opens on some systems, and is refused as no file.
  int why = errno != 0 ? errno : EISDIR;
  if (read) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    why = errno != 0 ? errno : EIO;
    read = std::ferror(f) == 0;
    if (!from_input) std::fclose(f);
  }
  if (!read) {
    error = "velkoran-drop: the list " + platform::shown_name(list) + " could not be read (" +
            platform::error_words(std::error_code(why, std::generic_category())) + ")\n";
    return false;
  }
  // One path a line, or between NUL bytes; empty ones are none. On Windows
  // a line may end in a carriage return too.
  const char end = options.null ? '\0' : '\n';
  for (std::size_t from = 0; from < text.size();) {
    std::size_t to = text.find(end, from);
    if (to == std::string::npos) to = text.size();
    std::string path = text.substr(from, to - from);
#if defined(_WIN32)
    if (!options.null && !path.empty() && path.back() == '\r') path.pop_back();
#endif
    if (!path.empty()) options.paths.push_back(std::move(path));
    from = to + 1;
  }
  return true;
}

}  // namespace velkoran::drop
