// Files named by the user. Names are handled as UTF-8 everywhere in the
// program; these turn them into what the platform's file functions take.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace velkoran::app {

std::filesystem::path to_path(const std::string& utf8_name);

// std::fopen with a UTF-8 name; nullptr when the file cannot be opened.
std::FILE* open_file(const std::string& utf8_name, const char* mode);

}  // namespace velkoran::app
