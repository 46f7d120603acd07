// Entry point: hands the arguments, as UTF-8, to the run sequence and turns
// its result into the process exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "app/run.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const int status = velkoran::app::run(args, stdout);
  std::fflush(stdout);
  return status;
}
