// Text for a person: where it goes to a Windows console, through the
// console's own wide-character call, so that every name shows right whatever
// code page the console renders; anywhere else (a pipe, a file, a POSIX
// terminal), its UTF-8 bytes as they are.
#pragma once

#include <cstdio>
#include <string>

namespace velkoran::platform {

// Writes `text` to `f` and flushes it, so that it shows at once.
void print(std::FILE* f, const std::string& text);

}  // namespace velkoran::platform
