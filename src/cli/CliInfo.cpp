// obra-cli info FILE [--header-only] [--dump-raw PATH]: the image record as the
// window's open loads it, and a fingerprint of its working buffer.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "AtomicWrite.h"
#include "Cli.h"
#include "IOGraphics.h"
#include "ZEL_param.h"

namespace obra::cli {
namespace {

// FNV-1a, 64 bits, over the samples as little-endian bytes.
std::string SamplesFnv1a64(const std::vector<uint16_t>& Samples) {
  uint64_t H = 0xcbf29ce484222325ULL;
  for (uint16_t S : Samples)
    for (uint8_t Byte : {static_cast<uint8_t>(S), static_cast<uint8_t>(S >> 8)}) {
      H ^= Byte;
      H *= 0x100000001b3ULL;
    }
  char Text[17];
  std::snprintf(Text, sizeof Text, "%016llx", static_cast<unsigned long long>(H));
  return Text;
}

bool DumpRaw(const std::vector<uint16_t>& Samples, const std::string& Path) {
  std::vector<uint8_t> Bytes;
  Bytes.reserve(Samples.size() * 2);
  for (uint16_t S : Samples) {
    Bytes.push_back(static_cast<uint8_t>(S));
    Bytes.push_back(static_cast<uint8_t>(S >> 8));
  }
  return WriteFileAtomic(Path, Bytes).Success;
}

JsonObject RecordJson(const ImageRecord& R, const std::vector<uint16_t>& Samples) {
  JsonObject J;
  J.Add("FileName", R.FileName);
  J.Add("Width", R.Width);
  J.Add("Height", R.Height);
  J.Add("Channels", R.Channels);
  J.Add("ResultType", R.ResultType);
  J.Add("Valid", R.Valid);
  J.Add("ErrorText", R.ErrorText);
  const std::pair<const char*, int32_t> Stats[] = {
      {"MinValue", R.MinValue},  {"Low20", R.Low20},       {"Low10", R.Low10},
      {"Low1", R.Low1},          {"LowP1", R.LowP1},       {"LowP01", R.LowP01},
      {"LowP001", R.LowP001},    {"LowP0001", R.LowP0001}, {"MaxValue", R.MaxValue},
      {"High20", R.High20},      {"High10", R.High10},     {"High1", R.High1},
      {"HighP1", R.HighP1},      {"HighP01", R.HighP01},   {"HighP001", R.HighP001},
      {"HighP0001", R.HighP0001}};
  for (const auto& [Name, Value] : Stats) J.Add(Name, Value);
  J.Add("ValueOffset", R.ValueOffset);
  J.Add("DataSize", R.DataSize);
  J.Add("HeaderSize", R.HeaderSize);
  J.Add("IsColorCube", R.IsColorCube);
  J.Add("BytesPerPixel", R.BytesPerPixel);
  J.Add("DataType", R.DataType);
  J.Add("SwapBytes", R.SwapBytes);
  J.Add("FlipRows", R.FlipRows);
  J.Add("HasBZero", R.HasBZero);
  J.Add("BZero", R.BZero);
  J.Add("BScale", R.BScale);
  J.Add("DataMin", R.DataMin);
  J.Add("DataMax", R.DataMax);
  J.Add("CrPix1", R.CrPix1);
  J.Add("CrPix2", R.CrPix2);
  J.Add("CRota2", R.CRota2);
  J.Add("CDelt1", R.CDelt1);
  J.Add("CDelt2", R.CDelt2);
  J.Add("Wavelength", R.Wavelength);
  J.Add("DateObs", R.DateObs);
  J.Add("Telescope", R.Telescope);
  J.Add("Instrument", R.Instrument);
  J.Add("RSun", R.RSun);
  J.Add("WavelengthLabel", WavelengthLabel(R.Wavelength));
  J.Add("FormatObsTime", FormatObsTime(R.DateObs));
  J.Add("ObsTimeForFileName", ObsTimeForFileName(R.DateObs));
  J.Add("SamplesFnv1a64", SamplesFnv1a64(Samples));
  return J;
}

int Usage() {
  std::fprintf(stderr, "usage: obra-cli info FILE [--header-only] [--dump-raw PATH]\n");
  return 2;
}

int RunInfo(const std::vector<std::string>& Args) {
  std::string File, Dump;
  bool HeaderOnly = false, HasDump = false;
  for (size_t I = 0; I < Args.size(); ++I) {
    if (Args[I] == "--header-only") {
      HeaderOnly = true;
    } else if (Args[I] == "--dump-raw") {
      if (++I == Args.size()) return Usage();
      Dump = Args[I];
      HasDump = true;
    } else if (Args[I].starts_with("--") || !File.empty()) {
      return Usage();
    } else {
      File = Args[I];
    }
  }
  if (File.empty()) return Usage();

  std::error_code Ec;
  if (!std::filesystem::is_regular_file(File, Ec))
    std::fprintf(stderr, "obra-cli info: %s is not a file\n", File.c_str());
  const MessageSink Sink = PrintMessage;
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  if (HeaderOnly)
    ReadImageHeader(File, R, true, Sink);
  else
    LoadImageFile(File, R, Buffer, 16, true, true, Sink);
  std::printf("%s\n", RecordJson(R, Buffer).Text().c_str());
  if (HasDump && !DumpRaw(Buffer, Dump)) {
    std::fprintf(stderr, "obra-cli info: cannot write %s\n", Dump.c_str());
    return 1;
  }
  return R.Valid ? 0 : 1;
}

const bool Registered =
    RegisterCommand({"info", "info FILE [--header-only] [--dump-raw PATH]", RunInfo});

}  // namespace
}  // namespace obra::cli
