#include "platform/quote.hpp"

#include <cstdio>

namespace velkoran::platform {
namespace {

bool plain_character(char c, Shell shell) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '.':
    case '_':
    case '-':
    case '+':
    case '/':
    case ':':
      return true;
    case '\\':
      return shell == Shell::kCmd;
    default:
      // Bytes of names in other scripts (UTF-8) need no quoting either.
      return static_cast<unsigned char>(c) >= 0x80;
  }
}

bool is_control(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

// U+0080..U+009F, as UTF-8: C2 80..C2 9F.
bool is_c1_control(const std::string& s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() &&
         static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(s[i + 1]) <= 0x9F;
}

bool has_control(const std::string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (is_control(static_cast<unsigned char>(s[i])) || is_c1_control(s, i)) return true;
  }
  return false;
}

std::string octal(unsigned char c) {
  char b[8];
  std::snprintf(b, sizeof b, "\\%03o", static_cast<unsigned>(c));
  return b;
}

}  // namespace

std::string unquotable(const std::string& name, Shell shell) {
  if (has_control(name)) return "its name holds a control character";
  if (shell == Shell::kCmd && name.find_first_of("%$`") != std::string::npos) {
    return "cmd or PowerShell would expand the % $ or ` in its name";
  }
  return "";
}

std::string shown_name(const std::string& name) {
  std::string s;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (is_c1_control(name, i)) {
      s += octal(c) + octal(static_cast<unsigned char>(name[++i]));
    } else if (is_control(c)) {
      s += octal(c);
#if !defined(_WIN32)
    } else if (c == '\\') {
      s += "\\\\";
#endif
    } else {
      s += name[i];
    }
  }
  return s;
}

std::string quote_for_shell(const std::string& name, Shell shell) {
  std::string s = name;
  if (!s.empty() && s[0] == '-') s = (shell == Shell::kCmd ? ".\\" : "./") + s;
  bool plain = !s.empty();
  for (char c : s) plain = plain && plain_character(c, shell);
  if (plain) return s;
  if (shell == Shell::kCmd) return "\"" + s + "\"";  // a Windows name holds no double quote
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace velkoran::platform
