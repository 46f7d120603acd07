// Windows names are sequences of 16-bit units that need not be valid UTF-16:
// NTFS takes a name holding an unpaired surrogate as well. WTF-8 spells any
// such sequence in bytes, the same bytes as UTF-8 wherever the units are valid
// UTF-16, and leads back to the very same units. The program carries names
// in it, so that every file Windows can name can be converted.
#pragma once

#include <string>

namespace velkoran::platform {

std::string wtf8_from_utf16(const std::u16string& units);

// The code point (a lone surrogate too) whose well-formed sequence starts at
// `bytes[i]`, in `c`: how many bytes it takes, or 0 where none starts there
// (`taken`, where given, then counts the lead and the continuation bytes
// that follow it).
std::size_t code_point_at(const std::string& bytes, std::size_t i, char32_t& c,
                          std::size_t* taken = nullptr);

// The inverse of wtf8_from_utf16. A byte that is not part of a well-formed
// sequence (never one that wtf8_from_utf16 wrote) becomes U+FFFD.
std::u16string utf16_from_wtf8(const std::string& bytes);

#if defined(_WIN32)
// A name as the wide-character Windows functions take it, and back.
std::wstring wide_from_wtf8(const std::string& name);
std::string wtf8_from_wide(const std::wstring& name);
#endif

}  // namespace velkoran::platform
