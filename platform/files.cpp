#include "platform/files.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#if defined(_WIN32)
#include <cstring>

#include "platform/wtf8.hpp"

#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velkoran::platform {

#if defined(_WIN32)
namespace {

// Where a file stands: its volume, and its id on that volume.
struct FileId {
  unsigned long long volume = 0;
  unsigned char id[16] = {};
};

bool identify(HANDLE h, FileId& file) {
  FILE_ID_INFO info{};
  if (GetFileInformationByHandleEx(h, FileIdInfo, &info, sizeof info)) {
    file.volume = info.VolumeSerialNumber;
    std::memcpy(file.id, info.FileId.Identifier, sizeof file.id);
    return true;
  }
  // Before Windows 8, and on file systems without 128-bit ids.
  BY_HANDLE_FILE_INFORMATION old{};
  if (!GetFileInformationByHandle(h, &old)) return false;
  file.volume = old.dwVolumeSerialNumber;
  const unsigned long long index =
      (static_cast<unsigned long long>(old.nFileIndexHigh) << 32) | old.nFileIndexLow;
  std::memcpy(file.id, &index, sizeof index);
  return true;
}

}  // namespace

// Both lead to one file: the same volume and file id, whatever the file's
// kind and however it was reached.
bool is_open_file(const std::string& name, std::FILE* f) {
  FileId open, named;
  if (!identify(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))), open)) return false;
  const HANDLE h = CreateFileW(wide_from_wtf8(name).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool known = identify(h, named);
  CloseHandle(h);
  return known && open.volume == named.volume &&
         std::memcmp(open.id, named.id, sizeof open.id) == 0;
}

namespace {

std::optional<FileFacts> facts_of(HANDLE h) {
  FileId file;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!identify(h, file) || !GetFileInformationByHandle(h, &info)) return std::nullopt;
  FileFacts facts;
  facts.identity.assign(reinterpret_cast<const char*>(&file.volume), sizeof file.volume);
  facts.identity.append(reinterpret_cast<const char*>(file.id), sizeof file.id);
  facts.regular =
      (info.dwFileAttributes &
       (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
  facts.links = info.nNumberOfLinks;
  facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // 100-nanosecond intervals since 1601, as nanoseconds since 1970: so many
  // nanoseconds since 1601 would not fit 64 bits.
  const std::uint64_t intervals =
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime;
  facts.modified = (static_cast<std::int64_t>(intervals) - kUnixEpochIntervals) * 100;
  return facts;
}

}  // namespace

std::optional<FileFacts> file_facts(const std::string& name, bool follow) {
  const HANDLE h = CreateFileW(
      wide_from_wtf8(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<FileFacts> facts = facts_of(h);
  CloseHandle(h);
  return facts;
}

std::optional<FileFacts> file_facts(std::FILE* f) {
  return facts_of(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))));
}

namespace {

// NTFS reads "velkoran-Z:take.wav" (from the drive-relative "Z:take.wav") as
// a stream named "take.wav" of a file "velkoran-Z".
bool names_a_stream(const std::string& name) {
  return name.find(':') != std::string::npos;
}

std::FILE* open_named(const std::string& name, const wchar_t* mode) {
  // The narrow fopen only sees the current code page; the wide one sees every name.
  return _wfopen(wide_from_wtf8(name).c_str(), mode);
}

std::FILE* create_output_file(const std::string& name) {
  return names_a_stream(name) ? nullptr : open_named(name, L"wb");
}

}  // namespace

std::FILE* open_input(const std::string& name) {
  return open_named(name, L"rb");  // a folder does not open
}

#else
// Both lead to one file: the same device and inode, whatever the file's kind
// (a FIFO or a device too) and however it was reached.
bool is_open_file(const std::string& name, std::FILE* f) {
  struct stat open {};
  struct stat named {};
  return fstat(fileno(f), &open) == 0 && stat(name.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

namespace {

FileFacts facts_of(const struct stat& st) {
  FileFacts facts;
  facts.identity = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  facts.regular = S_ISREG(st.st_mode);
  facts.links = static_cast<std::uint64_t>(st.st_nlink);
  facts.size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  facts.modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return facts;
}

}  // namespace

std::optional<FileFacts> file_facts(const std::string& name, bool follow) {
  struct stat st {};
  if ((follow ? stat(name.c_str(), &st) : lstat(name.c_str(), &st)) != 0) return std::nullopt;
  return facts_of(st);
}

std::optional<FileFacts> file_facts(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0) return std::nullopt;
  return facts_of(st);
}

namespace {

std::FILE* create_output_file(const std::string& name) {
  return std::fopen(name.c_str(), "wb");
}

}  // namespace

std::FILE* open_input(const std::string& name) {
  std::FILE* f = std::fopen(name.c_str(), "rb");
  struct stat st {};
  if (f != nullptr && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    return nullptr;
  }
  return f;
}

#endif

bool ends_in_wav(const std::string& name) {
  if (name.size() < 4) return false;
  static constexpr char kWav[] = ".wav";
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = name[name.size() - 4 + i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kWav[i]) return false;
  }
  return true;
}

namespace {
constexpr char kOutputPrefix[] = "velkoran-";
}  // namespace

std::filesystem::path path_of(const std::string& name) {
#if defined(_WIN32)
  return std::filesystem::path(wide_from_wtf8(name));
#else
  return std::filesystem::path(name);
#endif
}

std::string name_of(const std::filesystem::path& path) {
#if defined(_WIN32)
  return wtf8_from_wide(path.native());
#else
  return path.native();
#endif
}

std::string output_name_of(const std::string& name) {
  return kOutputPrefix + name;
}

bool is_output_name(const std::string& name) {
  return name.rfind(kOutputPrefix, 0) == 0;
}

bool could_make_folder(const std::string& name, std::error_code& ec) {
  namespace fs = std::filesystem;
  ec.clear();
  fs::path p = path_of(name);
  std::error_code ignored;
  const fs::file_status own = fs::symlink_status(p, ec);
  if (!ec && fs::exists(own)) {
    if (fs::is_directory(fs::status(p, ignored))) return false;
    ec = std::make_error_code(std::errc::file_exists);
    return false;
  }
  if (ec && own.type() != fs::file_type::not_found) return false;
  ec.clear();
  if (!p.has_filename()) p = p.parent_path();
  const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
  const fs::file_status up = fs::status(parent, ec);
  if (ec) return false;
  if (!fs::is_directory(up)) {
    ec = std::make_error_code(std::errc::not_a_directory);
    return false;
  }
  if (!could_create_in(name_of(parent) + static_cast<char>(fs::path::preferred_separator))) {
    ec = std::error_code(last_error(), std::system_category());
    return false;
  }
  return true;
}

std::string file_identity(const std::string& name) {
  const std::optional<FileFacts> facts = file_facts(name);
  return facts ? facts->identity : "";
}

std::string error_words(const std::error_code& ec) {
  std::string text = ec.message();
  while (!text.empty() && (text.back() == '.' || text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

int last_error() {
#if defined(_WIN32)
  return static_cast<int>(GetLastError());
#else
  return errno;
#endif
}

std::string last_error_words(int error) {
#if defined(_WIN32)
  return error_words(std::error_code(error, std::system_category()));
#else
  return error_words(std::error_code(error, std::generic_category()));
#endif
}

std::FILE* open_output(const std::string& name, std::FILE* input) {
  return is_open_file(name, input) ? nullptr : create_output_file(name);
}

#if defined(_WIN32)
bool could_create_in(const std::string&) {
  return true;
}
#else
bool could_create_in(const std::string& folder) {
  return access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}
#endif

}  // namespace velkoran::platform
