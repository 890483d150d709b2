// obra-cli: the program's operations without the window.
#include <cstdio>
#include <string>
#include <vector>

#include "Cli.h"

int main(int argc, char** argv) {
  using obra::cli::Commands;
  std::vector<std::string> Args(argv + 1, argv + argc);
  if (!Args.empty()) {
    for (const auto& C : Commands())
      if (C.Name == Args[0]) return C.Run({Args.begin() + 1, Args.end()});
  }
  std::fprintf(stderr, "usage:\n");
  for (const auto& C : Commands())
    std::fprintf(stderr, "  obra-cli %.*s\n", static_cast<int>(C.Usage.size()), C.Usage.data());
  return 2;
}
