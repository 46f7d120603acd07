// Loaded ahead of a program (LD_PRELOAD), flips the lowest bit of the byte at
// offset FLIP_AT of every file the program writes through stdio, other than
// its standard streams: a memory or bus fault between a program and its
// disk, which only reading the file back can see.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

extern "C" size_t fwrite(const void* p, size_t size, size_t n, FILE* f) {
  using Write = size_t (*)(const void*, size_t, size_t, FILE*);
  static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "fwrite"));
  const char* at_text = getenv("FLIP_AT");
  const size_t bytes = size * n;
  const off_t from = at_text != nullptr && fileno(f) > 2 && bytes != 0 ? ftello(f) : -1;
  const off_t at = at_text != nullptr ? static_cast<off_t>(atoll(at_text)) : -1;
  if (from < 0 || at < from || at - from >= static_cast<off_t>(bytes)) return real(p, size, n, f);
  std::vector<unsigned char> flipped(static_cast<const unsigned char*>(p),
                                     static_cast<const unsigned char*>(p) + bytes);
  flipped[static_cast<size_t>(at - from)] ^= 1;
  return real(flipped.data(), 1, bytes, f) / size;
}
