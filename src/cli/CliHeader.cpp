// obra-cli header FILE: the header cards the image record stores, one per
// line, as the window's "Header" window lists them.
#include <cstdio>

#include "Cli.h"
#include "FitsHeader.h"
#include "IOGraphics.h"

namespace obra::cli {
namespace {

int RunHeader(const std::vector<std::string>& Args) {
  if (Args.size() != 1) {
    std::fprintf(stderr, "usage: obra-cli header FILE\n");
    return 2;
  }
  ImageRecord R;
  if (!ReadHeaderOrSay("header", Args[0], R)) return 1;
  for (const std::string& Line : HeaderLines(R.HeaderCards)) std::printf("%s\n", Line.c_str());
  return 0;
}

const bool Registered = RegisterCommand({"header", "header FILE", RunHeader});

}  // namespace
}  // namespace obra::cli
