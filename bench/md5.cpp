// Prints the MD5 of each file named, as md5sum does, through the project's
// own MD5, reading a MiB at a time: bench/md5.sh times it against md5sum.
#include <cstdio>
#include <vector>

#include "wave/md5.hpp"

int main(int argc, char** argv) {
  std::vector<unsigned char> buffer(1 << 20);
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::FILE* f = std::fopen(argv[i], "rb");
    if (f == nullptr) {
      std::perror(argv[i]);
      status = 1;
      continue;
    }
    velkoran::wave::Md5 md5;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f)) != 0;) {
      md5.update(buffer.data(), n);
    }
    std::fclose(f);
    for (unsigned char b : md5.finish()) std::printf("%02x", b);
    std::printf("  %s\n", argv[i]);
  }
  return status;
}
