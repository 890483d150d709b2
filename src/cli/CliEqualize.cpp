// obra-cli equalize FILE -o OUT.act [--roi L,T,W,H] [--threads N]
// [--engine reference|production] [--isa VARIANT]: the
// activation of the window without it; --isa forces the production variant
// (else the fastest one measured, or the one OBRA_ISA names).
// The image is loaded as the window opens it, the configuration is read from
// beside the executable, and the equalized frame (0 outside the rectangle) is
// written as a 16-bit grey TIFF.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Activation.h"
#include "AdaptiveEQ.h"
#include "Cli.h"
#include "EngineDetail.h"
#include "Global.h"
#include "IOGraphics.h"
#include "IniFile.h"
#include "TIFformat.h"

namespace obra::cli {
namespace {

constexpr const char* Usage =
    "equalize FILE -o OUT.act [--roi LEFT,TOP,WIDTH,HEIGHT] [--threads N] "
    "[--engine reference|production] [--isa VARIANT]";

bool ParseInt(std::string_view Text, int32_t& Value) {
  const char* End = Text.data() + Text.size();
  auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
  return Ec == std::errc() && Ptr == End;
}

bool ParseRoi(const std::string& Text, int32_t (&Roi)[4]) {
  size_t Start = 0;
  for (int I = 0; I < 4; ++I) {
    const size_t Comma = I < 3 ? Text.find(',', Start) : Text.size();
    if (Comma == std::string::npos) return false;
    if (!ParseInt(std::string_view(Text).substr(Start, Comma - Start), Roi[I])) return false;
    Start = Comma + 1;
  }
  return true;
}

int Fail(const std::string& Message, int Code = 1) {
  std::fprintf(stderr, "obra-cli equalize: %s\n", Message.c_str());
  return Code;
}

// Shows the progress and the estimated time left until every column is
// done: a bar on a terminal, else one "Processing" line per change of the
// percentage. False when a stop signal came first.
bool ShowProgress(const Activation& A, int32_t RoiWidth) {
  const bool Terminal = isatty(STDERR_FILENO) == 1;
  int32_t Shown = -1;
  // Like the window, start from 0 % even when the first columns are already done.
  if (!Terminal) {
    std::fprintf(stderr, "Processing     0 %%  ETA --:--\n");
    Shown = 0;
  }
  for (;;) {
    const int32_t Done = A.WorkerProgress();
    const int32_t Percent = ProgressPercent(Done, RoiWidth);
    if (Percent != Shown) {
      Shown = Percent;
      const std::string Eta = EtaText(A.SecondsLeft());
      if (Terminal) {
        const int Filled = Percent / 2;
        std::fprintf(stderr, "\r[%.*s%*s] %3d %%  %s ", Filled,
                     "##################################################", 50 - Filled, "", Percent,
                     Eta.c_str());
      } else {
        std::fprintf(stderr, "Processing     %d %%  %s\n", Percent, Eta.c_str());
      }
      std::fflush(stderr);
    }
    if (Done == RoiWidth) break;
    if (!SleepUnlessStopped(std::chrono::milliseconds(100))) {
      if (Terminal) std::fprintf(stderr, "\n");
      return false;
    }
  }
  if (Terminal) std::fprintf(stderr, "\n");
  return true;
}

int Interrupted() {
  std::fprintf(stderr, "obra-cli equalize: interrupted\n");
  return StopExitStatus();
}

int RunEqualize(const std::vector<std::string>& Args) {
  InstallStopSignals();
  std::string File, Out;
  int32_t Roi[4] = {0, 0, -1, -1};
  bool HasRoi = false;
  int32_t Threads = ProcessorCount();
  EngineKind Kind = EngineKind::Production;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    const bool HasValue = I + 1 < Args.size();
    if (A == "-o" && HasValue) {
      Out = Args[++I];
    } else if (A == "--roi" && HasValue) {
      if (!ParseRoi(Args[++I], Roi)) return Fail("bad --roi " + Args[I], 2);
      HasRoi = true;
    } else if (A == "--threads" && HasValue) {
      if (!ParseInt(Args[++I], Threads) || Threads < 1 || Threads > MaxThreads)
        return Fail("--threads must be 1.." + std::to_string(MaxThreads), 2);
    } else if (A == "--engine" && HasValue) {
      const std::string& E = Args[++I];
      if (E == "reference")
        Kind = EngineKind::Reference;
      else if (E == "production")
        Kind = EngineKind::Production;
      else
        return Fail("unknown engine " + E, 2);
    } else if (A == "--isa" && HasValue) {
      const std::optional<detail::EngineIsa> Isa = detail::ParseIsa(Args[++I]);
      if (!Isa) {
        std::string Names;
        for (detail::EngineIsa Known : detail::AllIsas)
          Names += std::string(Names.empty() ? "" : ", ") + detail::IsaName(Known);
        return Fail("unknown variant " + Args[I] + " (the variants: " + Names + ")", 2);
      }
      if (!detail::IsaSupported(*Isa))
        return Fail("this processor does not run the " + Args[I] + " variant", 2);
      detail::ForceIsa(*Isa);
    } else if (!A.empty() && A[0] != '-' && File.empty()) {
      File = A;
    } else {
      return Fail("unexpected argument " + A + "\nusage: obra-cli " + Usage, 2);
    }
  }
  if (File.empty() || Out.empty()) return Fail(std::string("usage: obra-cli ") + Usage, 2);

  ProgramDir = ExecutableDir();
  const IniStatus Ini = GetIniFile();
  if (Ini.Fatal) return Fail(Ini.Message);

  ImageRecord R;
  std::vector<uint16_t> Input;
  bool Told = false;
  const MessageSink Sink = [&Told](const std::string& M) {
    std::fprintf(stderr, "%s\n", M.c_str());
    Told = true;
  };
  LoadImageFile(File, R, Input, 16, true, true, Sink);
  if (!R.Valid) return Told ? 1 : Fail("cannot load " + File);
  if (R.Channels != 1) return Fail("Color images are not supported.");

  if (!HasRoi) {
    Roi[2] = R.Width;
    Roi[3] = R.Height;
  }
  if (Roi[0] < 0 || Roi[1] < 0 || Roi[2] < 1 || Roi[3] < 1 || int64_t{Roi[0]} + Roi[2] > R.Width ||
      int64_t{Roi[1]} + Roi[3] > R.Height)
    return Fail("the rectangle does not lie inside the " + std::to_string(R.Width) + " x " +
                    std::to_string(R.Height) + " image",
                2);

  std::vector<uint16_t> Output(Input.size(), 0);
  const EqualizeJob Job = MakeJob(Input.data(), Output.data(), R.Width, R.Height, R.MinValue,
                                  R.MaxValue, Roi, Params, KernelTable, NoiseKernel);
  if (StopSignal() != 0) return Interrupted();
  {
    Activation A;
    if (!A.StartWorkers(Job, Threads, Kind))
      return Fail("the equalization workers could not be started");
    // A stop leaves the block: the workers are stopped and joined there.
    if (!ShowProgress(A, Job.RoiWidth)) return Interrupted();
    A.Wait();
  }
  if (StopSignal() != 0) return Interrupted();
  const bool Written = WriteTiff16(Output.data(), R.Width, R.Height, true, Out);
  // A signal during the write lets it finish whole; the file is then taken back.
  if (StopSignal() != 0) {
    std::error_code Ec;
    if (Written) std::filesystem::remove(Out, Ec);
    return Interrupted();
  }
  if (!Written) return Fail("cannot write " + Out);
  return 0;
}

const bool Registered = RegisterCommand({"equalize", Usage, RunEqualize});

}  // namespace
}  // namespace obra::cli
