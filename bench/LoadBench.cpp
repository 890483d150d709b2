// Load timings of a 4096 x 4096 16-bit FITS frame in the forms archives serve:
// plain, Rice tile-compressed (fpack's default) and gzip-compressed. The full
// load is measured: header, decompression, conversion and statistics.
#include <benchmark/benchmark.h>
#include <fitsio.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "IOGraphics.h"

namespace obra {
namespace {

constexpr long Side = 4096;

// The TRACE frame tiled 4 x 4 when the shared data are there (real noise and
// structure), else a synthetic disc with noise.
std::vector<uint16_t> Frame() {
  std::vector<uint16_t> Out(size_t(Side) * Side);
  ImageRecord R;
  std::vector<uint16_t> Trace;
  LoadImageFile(std::string(OBRA_SHARED_DATA) + "/trace_171_1998-05-19T22-21-43.fits", R, Trace, 16,
                true, false, {});
  if (R.Valid && R.Width == 1024 && R.Height == 1024) {
    for (long Y = 0; Y < Side; ++Y)
      for (long X = 0; X < Side; ++X)
        Out[size_t(Y * Side + X)] = Trace[size_t((Y % 1024) * 1024 + X % 1024)];
    return Out;
  }
  std::mt19937 Rng(7);
  std::normal_distribution<float> Noise(0.0f, 40.0f);
  for (long Y = 0; Y < Side; ++Y)
    for (long X = 0; X < Side; ++X) {
      const float D = std::hypot(float(X - Side / 2), float(Y - Side / 2)) / (0.4f * Side);
      const float V = D < 1.0f ? 6000.0f * std::sqrt(1.0f - D * D) + 800.0f : 300.0f;
      Out[size_t(Y * Side + X)] = uint16_t(std::clamp(V + Noise(Rng), 1.0f, 16320.0f));
    }
  return Out;
}

// Writes Samples through CFITSIO, Rice-compressed when Rice is set.
void WriteFits(const std::string& Path, const std::vector<uint16_t>& Samples, bool Rice) {
  fitsfile* F = nullptr;
  int Status = 0;
  long Axes[2] = {Side, Side};
  std::filesystem::remove(Path);
  fits_create_diskfile(&F, Path.c_str(), &Status);
  if (Rice) fits_set_compression_type(F, RICE_1, &Status);
  fits_create_img(F, USHORT_IMG, 2, Axes, &Status);
  int Wave = 171;
  fits_update_key(F, TINT, "WAVELNTH", &Wave, nullptr, &Status);
  fits_write_img(F, TUSHORT, 1, Side * Side, const_cast<uint16_t*>(Samples.data()), &Status);
  fits_close_file(F, &Status);
}

void WriteGzip(const std::string& From, const std::string& To) {
  std::ifstream In(From, std::ios::binary);
  const std::vector<char> Bytes((std::istreambuf_iterator<char>(In)), {});
  gzFile Out = gzopen(To.c_str(), "wb6");
  gzwrite(Out, Bytes.data(), unsigned(Bytes.size()));
  gzclose(Out);
}

// The three files, written once into a directory removed at exit.
struct Files {
  std::filesystem::path Dir = std::filesystem::temp_directory_path() / "obra-load-bench";
  std::string Plain = (Dir / "frame.fits").string();
  std::string Rice = (Dir / "frame.fits.fz").string();
  std::string Gzip = (Dir / "frame.fits.gz").string();
  Files() {
    std::filesystem::create_directories(Dir);
    const std::vector<uint16_t> S = Frame();
    WriteFits(Plain, S, false);
    WriteFits(Rice, S, true);
    WriteGzip(Plain, Gzip);
  }
  ~Files() { std::filesystem::remove_all(Dir); }
};

const Files& TheFiles() {
  static const Files F;
  return F;
}

void Load(benchmark::State& State, const std::string& Path) {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  for (auto _ : State) {
    LoadImageFile(Path, R, Buffer, 16, true, false, {});
    if (!R.Valid) State.SkipWithError("the frame did not load");
    benchmark::DoNotOptimize(Buffer.data());
  }
  State.counters["MB_file"] = double(std::filesystem::file_size(Path)) / 1e6;
}

void BM_LoadPlain(benchmark::State& S) { Load(S, TheFiles().Plain); }
void BM_LoadRice(benchmark::State& S) { Load(S, TheFiles().Rice); }
void BM_LoadGzip(benchmark::State& S) { Load(S, TheFiles().Gzip); }

BENCHMARK(BM_LoadPlain)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadRice)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadGzip)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace obra

BENCHMARK_MAIN();
