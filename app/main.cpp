// Entry point of velkoran: the process around one conversion.
#include <cstdio>

#include "app/process.hpp"
#include "app/run.hpp"

namespace {

int convert(const std::vector<std::string>& args) {
  velkoran::app::Console console(stdout);
  return velkoran::app::run(args, console);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  return velkoran::app::run_process(argc, argv, convert);
}
#else
int main(int argc, char** argv) {
  return velkoran::app::run_process(argc, argv, convert);
}
#endif
