#include "app/quote.hpp"

namespace velkoran::app {
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

}  // namespace

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

}  // namespace velkoran::app
