// Entry point of velkoran-prep: the process around one re-laying.
#include <cstdio>

#include "platform/process.hpp"
#include "prep/run.hpp"

namespace {

int prepare(const std::vector<std::string>& args) {
  velkoran::prep::Console console(stdout);
  return velkoran::prep::run(args, console);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  return velkoran::platform::run_process(argc, argv, prepare,
                                         velkoran::platform::StopSignals::kAllThatEnd);
}
#else
int main(int argc, char** argv) {
  return velkoran::platform::run_process(argc, argv, prepare,
                                         velkoran::platform::StopSignals::kAllThatEnd);
}
#endif
