#include "platform/text.hpp"

#include <cstring>

namespace velkoran::platform {

std::string fill_in(const char* text,
                    const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string s;
  for (const char* p = text; *p != '\0';) {
    bool replaced = false;
    for (const auto& [field, value] : fields) {
      if (std::strncmp(p, field.c_str(), field.size()) == 0) {
        s += value;
        p += field.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) s += *p++;
  }
  return s;
}

}  // namespace velkoran::platform
