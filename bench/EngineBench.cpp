// Equalization engine benchmarks on the real TRACE image with the shipped
// OBRA.ini (KerSize 64): the reference against the production engine at the
// same thread count over the whole 1024 x 1024 frame, the wall time of a
// 4096 x 4096 frame (the TRACE image tiled 4 x 4, so its statistics are real),
// one thread of each instruction-set variant on a strip of columns, one
// against two threads, and the fixed split against the dealt one on the AIA
// sample (dark border). The ratio of reference to production time is printed
// at the end. --isa NAME (or OBRA_ISA=NAME) forces the production variant.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Activation.h"
#include "AdaptiveEQ.h"
#include "EngineDetail.h"
#include "IOGraphics.h"
#include "IniFile.h"

using namespace obra;

namespace {

struct Frame {
  bool Ok = false;
  int32_t Width = 0, Height = 0, MinValue = 0, MaxValue = 0;
  std::vector<uint16_t> Samples;
  Parameters P;
  KernelTableType Kernel;
  NoiseKernelType Noise;
};

Frame LoadFrame(const char* Name) {
  Frame T;
  ImageRecord R;
  LoadImageFile(std::string(OBRA_SHARED_DATA) + "/" + Name, R, T.Samples, 16, true, false, nullptr);
  const IniStatus S = ReadIniFile(std::string(OBRA_SOURCE_DIR) + "/dist/OBRA.ini", T.P);
  if (!R.Valid || S.Fatal || R.Channels != 1) return T;
  BuildKernels(T.P, T.Kernel, T.Noise);
  T.Width = R.Width;
  T.Height = R.Height;
  T.MinValue = R.MinValue;
  T.MaxValue = R.MaxValue;
  T.Ok = true;
  return T;
}

const Frame& Trace() {
  static const Frame F = LoadFrame("trace_171_1998-05-19T22-21-43.fits");
  return F;
}

const Frame& Aia() {
  static const Frame F = LoadFrame("aia_193_2013-06-24T17-31-30_1024.fits");
  return F;
}

// The TRACE image repeated Times x Times.
const Frame& Tiled(int32_t Times) {
  static std::map<int32_t, Frame> Cache;
  auto [It, New] = Cache.try_emplace(Times);
  Frame& F = It->second;
  if (!New) return F;
  const Frame& T = Trace();
  if (!T.Ok) return F;
  F = T;
  F.Width = T.Width * Times;
  F.Height = T.Height * Times;
  F.Samples.resize(static_cast<size_t>(F.Width) * F.Height);
  for (int32_t Y = 0; Y < F.Height; ++Y)
    for (int32_t X = 0; X < F.Width; ++X)
      F.Samples[static_cast<size_t>(Y) * F.Width + X] =
          T.Samples[static_cast<size_t>(Y % T.Height) * T.Width + X % T.Width];
  return F;
}

EqualizeJob JobFor(const Frame& F, std::vector<uint16_t>& Out) {
  Out.assign(F.Samples.size(), 0);
  const int32_t Roi[4] = {0, 0, F.Width, F.Height};
  return MakeJob(F.Samples.data(), Out.data(), F.Width, F.Height, F.MinValue, F.MaxValue, Roi, F.P,
                 F.Kernel, F.Noise);
}

// Runs whole activations of Job and reports pixels per second, the thread
// count and the largest scratch of one worker.
void RunActivations(benchmark::State& State, const EqualizeJob& Job, EngineKind Kind,
                    int32_t Threads = ProcessorCount()) {
  size_t Scratch = 0;
  for (auto _ : State) {
    Activation A;
    if (!A.StartWorkers(Job, Threads, Kind)) {
      State.SkipWithError("the workers could not be started");
      return;
    }
    A.Wait();
    for (int32_t I = 0; I < Threads; ++I) Scratch = std::max(Scratch, A.ScratchBytes(I));
  }
  const double Pixels = static_cast<double>(Job.RoiWidth) * Job.RoiHeight;
  State.counters["threads"] = Threads;
  State.counters["pixels/s"] =
      benchmark::Counter(Pixels * State.iterations(), benchmark::Counter::kIsRate);
  State.counters["scratch_MiB/worker"] = static_cast<double>(Scratch) / (1 << 20);
}

void BM_TraceFrame(benchmark::State& State, EngineKind Kind) {
  const Frame& F = Trace();
  if (!F.Ok) return State.SkipWithError("TRACE image or dist/OBRA.ini not readable");
  std::vector<uint16_t> Out;
  RunActivations(State, JobFor(F, Out), Kind);
}
BENCHMARK_CAPTURE(BM_TraceFrame, Reference, EngineKind::Reference)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_TraceFrame, Production, EngineKind::Production)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

void BM_Frame4096(benchmark::State& State) {
  const Frame& F = Tiled(4);
  if (!F.Ok) return State.SkipWithError("TRACE image or dist/OBRA.ini not readable");
  std::vector<uint16_t> Out;
  RunActivations(State, JobFor(F, Out), EngineKind::Production);
}
BENCHMARK(BM_Frame4096)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The production engine on the TRACE frame with 1 and with 2 threads.
void BM_TraceThreads(benchmark::State& State) {
  const Frame& F = Trace();
  if (!F.Ok) return State.SkipWithError("TRACE image or dist/OBRA.ini not readable");
  std::vector<uint16_t> Out;
  RunActivations(State, JobFor(F, Out), EngineKind::Production,
                 static_cast<int32_t>(State.range(0)));
}
BENCHMARK(BM_TraceThreads)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// The AIA sample at 2 threads: fixed equal bands (split 0) against the dealt
// bands of an activation (split 1), over the whole frame (centred disc, so
// the halves cost alike) and over its left 600 columns (the left half of
// that rectangle is mostly dark border, the right half disc).
void BM_AiaSplit(benchmark::State& State) {
  const Frame& F = Aia();
  if (!F.Ok) return State.SkipWithError("AIA sample or dist/OBRA.ini not readable");
  std::vector<uint16_t> Out;
  EqualizeJob Job = JobFor(F, Out);
  if (State.range(1) == 1) Job.RoiWidth = 600;
  if (State.range(0) == 1) return RunActivations(State, Job, EngineKind::Production, 2);
  const detail::EngineIsa Isa = detail::ChosenIsa(Job);
  for (auto _ : State) {
    std::atomic<int32_t> P0{0}, P1{0};
    std::thread T([&] { detail::EqualizeBandIsa(Job, 0, 2, P0, EngineKind::Production, Isa); });
    detail::EqualizeBandIsa(Job, 1, 2, P1, EngineKind::Production, Isa);
    T.join();
  }
}
BENCHMARK(BM_AiaSplit)
    ->ArgNames({"split", "left600"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// One worker of one variant over 64 columns of the frame's middle.
void BM_TraceStripIsa(benchmark::State& State) {
  const auto Isa = static_cast<detail::EngineIsa>(State.range(0));
  if (!detail::IsaSupported(Isa)) return State.SkipWithError("not supported here");
  const Frame& F = Trace();
  if (!F.Ok) return State.SkipWithError("TRACE image or dist/OBRA.ini not readable");
  std::vector<uint16_t> Out;
  EqualizeJob J = JobFor(F, Out);
  J.RoiLeft = (F.Width - 64) / 2;
  J.RoiWidth = 64;
  for (auto _ : State) {
    std::atomic<int32_t> Progress{0};
    detail::EqualizeBandIsa(J, 0, 1, Progress, EngineKind::Production, Isa);
  }
  State.counters["time/pixel"] =
      benchmark::Counter(static_cast<double>(J.RoiWidth) * J.RoiHeight * State.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  State.counters["lanes"] = detail::IsaLanes(Isa);
}
BENCHMARK(BM_TraceStripIsa)
    ->ArgName("isa")
    ->DenseRange(0, static_cast<int>(detail::AllIsas.size()) - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The console report, keeping the frame times for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
  std::map<std::string, double> Seconds;
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (!R.error_occurred && R.iterations > 0)
        Seconds[R.benchmark_name()] = R.real_accumulated_time / static_cast<double>(R.iterations);
    ConsoleReporter::ReportRuns(Runs);
  }
};

// Takes "--isa NAME" or "--isa=NAME" out of the arguments and forces that
// variant; false when it is unknown or not supported here.
bool TakeIsaOption(int& argc, char** argv) {
  int Out = 1;
  for (int I = 1; I < argc; ++I) {
    std::string A = argv[I];
    std::string Name;
    if (A == "--isa" && I + 1 < argc)
      Name = argv[++I];
    else if (A.rfind("--isa=", 0) == 0)
      Name = A.substr(6);
    else {
      argv[Out++] = argv[I];
      continue;
    }
    const std::optional<detail::EngineIsa> Isa = detail::ParseIsa(Name);
    if (!Isa || !detail::IsaSupported(*Isa)) {
      std::fprintf(stderr, "EngineBench: this processor does not run the variant %s\n",
                   Name.c_str());
      return false;
    }
    detail::ForceIsa(*Isa);
  }
  argc = Out;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!TakeIsaOption(argc, argv)) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (Trace().Ok) {
    std::vector<uint16_t> Out;
    const EqualizeJob Job = JobFor(Trace(), Out);
    const detail::VariantTimes Ns = detail::TimeVariants(Job);
    std::printf("Strip timing (ns/pixel):");
    for (detail::EngineIsa Isa : detail::AllIsas)
      if (Ns[static_cast<int>(Isa)] > 0)
        std::printf(" %s %.0f", detail::IsaName(Isa), Ns[static_cast<int>(Isa)]);
    std::printf("; production runs use %s\n", detail::IsaName(detail::ChosenIsa(Job)));
  }
  RatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  const auto Ref = Reporter.Seconds.find("BM_TraceFrame/Reference/iterations:1/real_time");
  const auto Prod = Reporter.Seconds.find("BM_TraceFrame/Production/iterations:5/real_time");
  if (Ref != Reporter.Seconds.end() && Prod != Reporter.Seconds.end() && Prod->second > 0)
    std::printf(
        "TRACE 1024 x 1024, KerSize %d, %d threads: production %.3f s, reference %.3f s, "
        "production %.1f x faster\n",
        Trace().P.KerSize, ProcessorCount(), Prod->second, Ref->second, Ref->second / Prod->second);
  benchmark::Shutdown();
  return 0;
}
