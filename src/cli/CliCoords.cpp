// obra-cli coords FILE X Y: the helioprojective position of the sample the
// window's readout calls (X, Y), as the status bar shows it.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Cli.h"
#include "FitsHeader.h"
#include "IOGraphics.h"

namespace obra::cli {
namespace {

int Usage() {
  std::fprintf(stderr, "usage: obra-cli coords FILE X Y\n");
  return 2;
}

bool ParseCoordinate(const std::string& T, double& V) {
  char* End = nullptr;
  V = std::strtod(T.c_str(), &End);
  return !T.empty() && End == T.c_str() + T.size() && std::isfinite(V);
}

int RunCoords(const std::vector<std::string>& Args) {
  double X = 0, Y = 0;
  if (Args.size() != 3 || !ParseCoordinate(Args[1], X) || !ParseCoordinate(Args[2], Y))
    return Usage();
  ImageRecord R;
  if (!ReadHeaderOrSay("coords", Args[0], R)) return 1;
  const auto Wcs = ReadSolarWcs(R.HeaderCards);
  JsonObject J;
  J.Add("X", X);
  J.Add("Y", Y);
  if (Wcs) {
    const SkyPosition P = ReadoutToSky(*Wcs, R.Height, X, Y);
    J.Add("Tx", P.Tx);
    J.Add("Ty", P.Ty);
    if (P.R)
      J.Add("R", *P.R);
    else
      J.AddRaw("R", "null");
  } else {
    for (const char* Key : {"Tx", "Ty", "R"}) J.AddRaw(Key, "null");
  }
  std::printf("%s\n", J.Text().c_str());
  if (!Wcs) std::fprintf(stderr, "obra-cli coords: %s has no solar coordinates\n", Args[0].c_str());
  return Wcs ? 0 : 1;
}

const bool Registered = RegisterCommand({"coords", "coords FILE X Y", RunCoords});

}  // namespace
}  // namespace obra::cli
