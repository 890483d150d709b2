// Display pipeline timings on a 4096 x 4096 frame: recomposition and rendering
// after a slider change, and the PNG save of the full-resolution view.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "Composition.h"
#include "Display.h"
#include "PngWriter.h"

namespace obra {
namespace {

constexpr int32_t Side = 4096;

// The 8-bit 4096 x 4096 solar frame times 64 (its 16-bit form), or, without the
// shared data, a synthetic disc with limb darkening and noise.
std::vector<uint16_t> LoadFrame() {
  std::vector<uint16_t> Frame(size_t(Side) * Side);
  const std::string Path = std::string(OBRA_SHARED_DATA) + "/aia_193_2013-06-24T17-31-30_4096.png";
  if (FILE* F = std::fopen(Path.c_str(), "rb")) {
    png_structp Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop Info = png_create_info_struct(Png);
    std::vector<uint8_t> Rows(size_t(Side) * Side);
    std::vector<png_bytep> Pointers(Side);
    volatile bool Ok = false;
    if (!setjmp(png_jmpbuf(Png))) {
      png_init_io(Png, F);
      png_read_info(Png, Info);
      if (png_get_image_width(Png, Info) == Side && png_get_image_height(Png, Info) == Side &&
          png_get_color_type(Png, Info) == PNG_COLOR_TYPE_GRAY &&
          png_get_bit_depth(Png, Info) == 8) {
        for (int32_t Y = 0; Y < Side; ++Y) Pointers[Y] = Rows.data() + size_t(Y) * Side;
        png_read_image(Png, Pointers.data());
        Ok = true;
      }
    }
    png_destroy_read_struct(&Png, &Info, nullptr);
    std::fclose(F);
    if (Ok) {
      for (size_t I = 0; I < Frame.size(); ++I) Frame[I] = uint16_t(Rows[I] * 64);
      return Frame;
    }
  }
  std::mt19937 Rng(7);
  std::normal_distribution<float> Noise(0.0f, 40.0f);
  for (int32_t Y = 0; Y < Side; ++Y)
    for (int32_t X = 0; X < Side; ++X) {
      const float R = std::hypot(float(X - Side / 2), float(Y - Side / 2)) / (0.4f * Side);
      const float Disc = R < 1.0f ? 6000.0f * std::sqrt(1.0f - R * R) + 800.0f : 300.0f / (R * R);
      Frame[size_t(Y) * Side + X] = uint16_t(std::clamp(Disc + Noise(Rng), 1.0f, 16320.0f));
    }
  return Frame;
}

struct Scene {
  ImageRecord Record;
  std::vector<uint16_t> Input, Activation, Gamma, Result;
  std::unique_ptr<GammaLutType> GammaTable = std::make_unique<GammaLutType>();
  std::unique_ptr<DisplayLutType> DisplayTable = std::make_unique<DisplayLutType>();

  Scene() : Input(LoadFrame()) {
    Record.Width = Record.Height = Side;
    Record.Channels = 1;
    Record.Valid = true;
    Record.ResultType = "WORD";
    // An equalized-looking activation image: the rank of each value.
    std::vector<uint32_t> Counts(65536, 0);
    for (uint16_t V : Input) ++Counts[V];
    std::vector<uint16_t> Rank(65536);
    uint64_t Below = 0;
    for (int V = 0; V < 65536; ++V) {
      Rank[V] = uint16_t(Below * 65535 / Input.size());
      Below += Counts[V];
    }
    Activation.resize(Input.size());
    for (size_t I = 0; I < Input.size(); ++I) Activation[I] = Rank[Input[I]];
    Gamma.resize(Input.size());
    Result.resize(Input.size());
  }
};

Scene& TheScene() {
  static Scene S;
  return S;
}

// (a) A slider change: gamma table, gamma image and blend, whole-image
// statistics of the result with the automatic output levels, display table,
// rendering at 1:4.
void BM_RecomposeAndRenderScale4(benchmark::State& State) {
  Scene& S = TheScene();
  Picture24 View;
  int32_t Gamma = 22;
  for (auto _ : State) {
    Gamma = Gamma == 22 ? 23 : 22;
    FillGammaLut(*S.GammaTable, 200, 15000, Gamma);
    MakeBlendedResult(S.Input, S.Activation, *S.GammaTable, 15, S.Gamma, S.Result);
    ImageRecord G = S.Record;
    ComputeStatistics(G, S.Result.data());
    const OutputLevels Levels = AutoOutputLevels(G, G, 1.0f, 0.0f, 1.0f, 0.0f);
    FillDisplayLut(*S.DisplayTable, Levels.Black, Levels.White, LinearSelector);
    RenderImage(View, S.Record, S.Result, 4, *S.DisplayTable, nullptr);
    benchmark::DoNotOptimize(View.Pixels.data());
  }
}
BENCHMARK(BM_RecomposeAndRenderScale4)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_ComputeStatistics(benchmark::State& State) {
  Scene& S = TheScene();
  for (auto _ : State) {
    ImageRecord G = S.Record;
    ComputeStatistics(G, S.Input.data());
    benchmark::DoNotOptimize(G.High1);
  }
}
BENCHMARK(BM_ComputeStatistics)->Unit(benchmark::kMillisecond);

// Renders the input at 1:1 (with Overlay when given) and saves it repeatedly.
void SaveFullFrame(benchmark::State& State, const TimeOverlay* Overlay) {
  Scene& S = TheScene();
  FillDisplayLut(*S.DisplayTable, 0, 16320, LinearSelector);
  Picture24 View;
  RenderImage(View, S.Record, S.Input, 1, *S.DisplayTable, Overlay);
  const std::string Path =
      (std::filesystem::temp_directory_path() / "obra-bench-view.png").string();
  for (auto _ : State) {
    const PngResult R = WritePng(View, Path);
    if (!R.Success) State.SkipWithError(R.ErrorText.c_str());
  }
  State.counters["bytes"] = double(std::filesystem::file_size(Path));
  std::filesystem::remove(Path);
}

// (b) Saving the full-resolution grey view.
void BM_SavePngFullFrame(benchmark::State& State) { SaveFullFrame(State, nullptr); }
BENCHMARK(BM_SavePngFullFrame)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The same view with the yellow time text: its antialiased colours push the
// picture past 256 colours, so it is written as truecolour.
void BM_SavePngFullFrameWithTime(benchmark::State& State) {
  if (!EnsureTextRendering()) return State.SkipWithError("no text rendering");
  TimeOverlay Overlay;
  Overlay.Text = "2013-06-24 17:31:30";
  Overlay.RoiHeight = Side;
  FillTimeFontTable(Overlay.FontTable, 14);
  SaveFullFrame(State, &Overlay);
}
BENCHMARK(BM_SavePngFullFrameWithTime)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_FillGammaLut(benchmark::State& State) {
  auto Lut = std::make_unique<GammaLutType>();
  const int32_t Selector = int32_t(State.range(0));
  for (auto _ : State) {
    FillGammaLut(*Lut, 0, 65535, Selector);
    benchmark::DoNotOptimize(Lut->data());
  }
}
BENCHMARK(BM_FillGammaLut)
    ->Arg(22)
    ->Arg(LinearSelector)
    ->Arg(SrgbSelector)
    ->Unit(benchmark::kMicrosecond);

void BM_FillDisplayLut(benchmark::State& State) {
  auto Lut = std::make_unique<DisplayLutType>();
  for (auto _ : State) {
    FillDisplayLut(*Lut, 3000, 60000, LinearSelector);
    benchmark::DoNotOptimize(Lut->data());
  }
}
BENCHMARK(BM_FillDisplayLut)->Unit(benchmark::kMicrosecond);

void BM_MakeGammaImage(benchmark::State& State) {
  Scene& S = TheScene();
  FillGammaLut(*S.GammaTable, 200, 15000, 22);
  for (auto _ : State) MakeGammaImage(S.Input, S.Gamma, *S.GammaTable);
}
BENCHMARK(BM_MakeGammaImage)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_BlendResultImage(benchmark::State& State) {
  Scene& S = TheScene();
  for (auto _ : State) BlendResultImage(S.Gamma, S.Activation, 15, S.Result);
}
BENCHMARK(BM_BlendResultImage)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_RenderImage(benchmark::State& State) {
  Scene& S = TheScene();
  FillDisplayLut(*S.DisplayTable, 3000, 60000, LinearSelector);
  Picture24 View;
  for (auto _ : State)
    RenderImage(View, S.Record, S.Result, int32_t(State.range(0)), *S.DisplayTable, nullptr);
}
BENCHMARK(BM_RenderImage)
    ->Arg(1)
    ->Arg(4)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace
}  // namespace obra

BENCHMARK_MAIN();
