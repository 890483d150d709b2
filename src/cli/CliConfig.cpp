// obra-cli config [--kernel]: the configuration as start-up reads it.
#include <cstdio>

#include "AdaptiveEQ.h"
#include "Cli.h"
#include "IniFile.h"

namespace obra::cli {
namespace {

int RunConfig(const std::vector<std::string>& Args) {
  bool Kernel = false;
  for (const auto& A : Args) {
    if (A == "--kernel") {
      Kernel = true;
    } else {
      std::fprintf(stderr, "obra-cli config: unknown option %s\n", A.c_str());
      return 2;
    }
  }
  ProgramDir = ExecutableDir();
  const IniStatus S = GetIniFile();
  if (S.Fatal) {
    std::fprintf(stderr, "%s\n", S.Message.c_str());
    return 2;
  }
  JsonObject J;
  for (const IniKey& K : IniKeys) {
    if (K.Int)
      J.Add(K.Name, Params.*K.Int);
    else
      J.AddFloat(K.Name, Params.*K.Real);
  }
  J.Add("NoiseHalfLength", Params.NoiseHalfLength);
  if (Kernel) {
    std::vector<float> Row, Noise;
    for (int Dx = -KernelRadius; Dx <= KernelRadius; ++Dx) Row.push_back(KernelTable.At(Dx, 0));
    for (int K = -Params.NoiseHalfLength; K <= Params.NoiseHalfLength; ++K)
      Noise.push_back(NoiseKernel[K]);
    J.AddFloats("KernelTableRow0", Row);
    J.AddFloats("NoiseKernel", Noise);
  }
  std::printf("%s\n", J.Text().c_str());
  return 0;
}

const bool Registered = RegisterCommand({"config", "config [--kernel]", RunConfig});

}  // namespace
}  // namespace obra::cli
