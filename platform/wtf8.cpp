#include "platform/wtf8.hpp"

namespace velkoran::platform {
namespace {

bool is_high_surrogate(char32_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool is_low_surrogate(char32_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// A code point, or a lone surrogate, in the bytes UTF-8 gives it.
void append_bytes(std::string& out, char32_t c) {
  const auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

void append_units(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
  }
}

// How many bytes the sequence that `lead` starts holds; 0 for a byte that
// starts none.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xC2) return 0;  // a continuation byte, or an overlong lead
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 0;
}

// The least value a sequence of each length may hold: less is overlong.
constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

std::string wtf8_from_utf16(const std::u16string& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (is_high_surrogate(u) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
      append_bytes(out, 0x10000 + ((u - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else {
      append_bytes(out, u);  // an unpaired surrogate too, as the value it has
    }
  }
  return out;
}

std::size_t code_point_at(const std::string& bytes, std::size_t i, char32_t& c,
                          std::size_t* taken) {
  const auto lead = static_cast<unsigned char>(bytes[i]);
  const std::size_t length = sequence_length(lead);
  c = length == 1 ? lead : lead & (0xFFu >> (length + 1));
  std::size_t k = 1;
  for (; k < length && i + k < bytes.size(); ++k) {
    const auto b = static_cast<unsigned char>(bytes[i + k]);
    if ((b & 0xC0) != 0x80) break;
    c = (c << 6) | (b & 0x3F);
  }
  if (taken != nullptr) *taken = k;
  if (length == 0 || k != length || c < kLeast[length] || c > 0x10FFFF) return 0;
  return length;
}

std::u16string utf16_from_wtf8(const std::string& bytes) {
  std::u16string out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t c = 0;
    std::size_t taken = 0;
    const std::size_t length = code_point_at(bytes, i, c, &taken);
    if (length == 0) {
      out.push_back(u'\uFFFD');
      i += taken;
      continue;
    }
    append_units(out, c);
    i += length;
  }
  return out;
}

#if defined(_WIN32)
std::wstring wide_from_wtf8(const std::string& name) {
  const std::u16string units = utf16_from_wtf8(name);
  return std::wstring(units.begin(), units.end());
}

std::string wtf8_from_wide(const std::wstring& name) {
  return wtf8_from_utf16(std::u16string(name.begin(), name.end()));
}
#endif

}  // namespace velkoran::platform
