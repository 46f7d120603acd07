// The two files of a run, opened by the names the user gave. Names are UTF-8
// everywhere in the program (WTF-8 on Windows, for names that are not valid
// UTF-16); these turn them into what the platform's file functions take.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace velkoran::platform {

// Names are UTF-8 (WTF-8 on Windows) in the program, the platform's own in
// the file functions: a name as a path, and back.
std::filesystem::path path_of(const std::string& name);
std::string name_of(const std::filesystem::path& path);

// Opens the input for binary reading; nullptr when it cannot be opened or is
// a folder (which opens for reading on some systems, but is no recording).
std::FILE* open_input(const std::string& name);

// Creates or truncates the output for binary writing; nullptr when that
// fails. Opening it truncates it, so it is not opened at all when `name`
// leads to the very file open as `input` (through a link, say), whatever kind
// of file that is; nor, on Windows, when `name` holds a colon, which would
// put the audio in a hidden stream of another file.
std::FILE* open_output(const std::string& name, std::FILE* input);

// True when `name` leads to the very file open as `f` (through a link, say),
// whatever kind of file that is.
bool is_open_file(const std::string& name, std::FILE* f);

// What tells the file `name` leads to from every other, however it is
// named (its device and inode; on Windows its volume and file id), as a key
// to compare; empty where it cannot be told.
std::string file_identity(const std::string& name);

// What one look at the file `name` leads to tells: its identity (as
// file_identity gives it), whether it is a regular file, its number of
// names (hard links), its length and when it was last written.
#if defined(_WIN32)
// 1970-01-01 in Windows' file times: 100-nanosecond intervals since 1601.
inline constexpr std::int64_t kUnixEpochIntervals = 116444736000000000;
#endif

struct FileFacts {
  std::string identity;
  bool regular = false;
  std::uint64_t links = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in nanoseconds since 1970, to compare with another's
};
// None where it cannot be looked at. `follow`: through a link to what it
// leads to; else the link itself (which is then no regular file).
std::optional<FileFacts> file_facts(const std::string& name, bool follow = true);
// The same of the file open as `f`.
std::optional<FileFacts> file_facts(std::FILE* f);

// True where `name` ends in ".wav", in any case: the name of a recording.
bool ends_in_wav(const std::string& name);

// What velkoran puts before a recording's name, or before the whole
// argument it is given, to name its output: "velkoran-" + `name`.
std::string output_name_of(const std::string& name);
// True where a name in a folder is that of an output: it begins so.
bool is_output_name(const std::string& name);

// What std::filesystem::create_directory(`name`, ec) would do, found
// without making anything (a dry run): true where it would make the
// folder; false with no error where a folder stands there already (a link
// to one too); else false with the error it would give (the name taken,
// its parent missing or not a folder, no permission to write there).
bool could_make_folder(const std::string& name, std::error_code& ec);
// True where a new file could be created in `folder` ("" for the current
// one) as far as the system tells without creating one (on Windows, whose
// access lists tell nothing so, always).
bool could_create_in(const std::string& folder);

// The system's words for an error, as a line quotes them: without the full
// stop or line feed some systems end them with.
std::string error_words(const std::error_code& ec);
// The error of the last system call that failed: errno, or GetLastError on
// Windows; and its words.
int last_error();
std::string last_error_words(int error);

}  // namespace velkoran::platform
