// Entry point of velkoran: the process around one conversion.
#include <cstdio>

#include "platform/process.hpp"
#include "velkoran/run.hpp"

namespace {

int convert(const std::vector<std::string>& args) {
  velkoran::front::Console console(stdout);
  return velkoran::front::run(args, console);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  return velkoran::platform::run_process(argc, argv, convert);
}
#else
int main(int argc, char** argv) {
  return velkoran::platform::run_process(argc, argv, convert);
}
#endif
