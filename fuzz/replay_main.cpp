// Replays saved fuzz inputs through the fuzz target's checks, for compilers
// and platforms without libFuzzer. Each argument is a file or a folder of
// files. An input that breaks an invariant aborts with its message; one whose
// name starts with "converts-" or "writes-" must also succeed (status 0), one
// whose name starts with "widens-" velkoran-drop's conversion of it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "check.hpp"

namespace fs = std::filesystem;

namespace {

void replay(const fs::path& p, int& count, int& refused) {
  std::ifstream f(p, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(f)),
                                std::istreambuf_iterator<char>());
  const int status =
      velkoran::fuzz::check_one(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  const std::string name = p.filename().string();
  const bool wide = (status & velkoran::fuzz::kWideFailed) != 0;
  if (((status & 1) != 0 && (name.rfind("converts-", 0) == 0 || name.rfind("writes-", 0) == 0)) ||
      (wide && name.rfind("widens-", 0) == 0)) {
    std::printf("refused, but must succeed: %s\n", p.string().c_str());
    ++refused;
  }
  ++count;
}

}  // namespace

int main(int argc, char** argv) {
  int count = 0;
  int refused = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    if (fs::is_directory(arg)) {
      for (const auto& e : fs::recursive_directory_iterator(arg)) {
        if (e.is_regular_file()) replay(e.path(), count, refused);
      }
    } else {
      replay(arg, count, refused);
    }
  }
  std::printf("replayed %d inputs\n", count);
  return count > 0 && refused == 0 ? 0 : 1;
}
