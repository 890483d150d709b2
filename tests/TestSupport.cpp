#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#include "AdaptiveEQ.h"
#include "Global.h"
#include "IniFile.h"

namespace obra::test {

TempDir::TempDir() {
  static std::atomic<int> Counter{0};
  std::random_device Rd;
  Path_ = std::filesystem::temp_directory_path() /
          ("obra-test-" + std::to_string(getpid()) + "-" + std::to_string(Counter++) + "-" +
           std::to_string(Rd()));
  std::filesystem::create_directories(Path_);
}

TempDir::~TempDir() {
  std::error_code Ec;
  std::filesystem::permissions(Path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, Ec);
  std::filesystem::remove_all(Path_, Ec);
}

namespace {

// With OBRA_FUZZ_SEEDS set, every small fixture a test writes is also kept
// there (named by its extension and a running number): the fuzz targets'
// seed corpora are made from the fixtures (scripts/fuzz.sh seeds).
void KeepFuzzSeed(const std::string& File, const std::vector<uint8_t>& Bytes) {
  const char* Dir = std::getenv("OBRA_FUZZ_SEEDS");
  if (!Dir || !*Dir || Bytes.size() > 65536) return;
  static int Counter = 0;
  std::string Ext = std::filesystem::path(File).extension().string();
  for (char& C : Ext) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  std::ofstream Out(
      std::string(Dir) + "/" + std::to_string(getpid()) + "-" + std::to_string(Counter++) + Ext,
      std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Bytes.data()),
            static_cast<std::streamsize>(Bytes.size()));
}

}  // namespace

void WriteBytes(const std::string& File, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(File, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()),
            static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + File);
  KeepFuzzSeed(File, Bytes);
}

std::vector<uint8_t> ReadBytes(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& File, const std::string& Text) {
  WriteBytes(File, std::vector<uint8_t>(Text.begin(), Text.end()));
}

std::string ReadText(const std::string& File) {
  const std::vector<uint8_t> B = ReadBytes(File);
  return {B.begin(), B.end()};
}

std::string SharedData(const std::string& Name) {
  std::filesystem::path P = std::filesystem::path(OBRA_SHARED_DATA) / Name;
  std::error_code Ec;
  return std::filesystem::exists(P, Ec) ? P.string() : std::string();
}

void Append(std::vector<uint8_t>& B, uint32_t V, int Bytes, bool Big) {
  B.resize(B.size() + Bytes);
  Store(B, B.size() - Bytes, V, Bytes, Big);
}

void Store(std::vector<uint8_t>& B, size_t At, uint32_t V, int Bytes, bool Big) {
  for (int I = 0; I < Bytes; ++I)
    B[At + I] = static_cast<uint8_t>(V >> 8 * (Big ? Bytes - 1 - I : I));
}

uint32_t Fetch(const uint8_t* P, int Bytes, bool Big) {
  uint32_t V = 0;
  for (int I = 0; I < Bytes; ++I) V |= uint32_t(P[I]) << 8 * (Big ? Bytes - 1 - I : I);
  return V;
}

std::vector<uint16_t> Samples16(const std::vector<uint8_t>& LittleEndianBytes) {
  std::vector<uint16_t> S(LittleEndianBytes.size() / 2);
  for (size_t I = 0; I < S.size(); ++I) S[I] = uint16_t(Fetch(&LittleEndianBytes[2 * I], 2, false));
  return S;
}

std::string RawCard(std::string_view Text) {
  std::string C(Text.substr(0, 80));
  C.resize(80, ' ');
  return C;
}

std::string Card(std::string_view Key, std::string_view Value, std::string_view Comment) {
  std::string C(Key);
  C.resize(8, ' ');
  C += "= ";
  C += Value;
  if (!Comment.empty()) C += std::string(" / ") + std::string(Comment);
  return RawCard(C);
}

std::vector<std::string> ImageCards(int Bitpix, int Width, int Height,
                                    const std::vector<std::string>& More) {
  std::vector<std::string> C = {Card("SIMPLE", "T"), Card("BITPIX", std::to_string(Bitpix)),
                                Card("NAXIS", "2"), Card("NAXIS1", std::to_string(Width)),
                                Card("NAXIS2", std::to_string(Height))};
  C.insert(C.end(), More.begin(), More.end());
  return C;
}

std::vector<uint8_t> FitsFile(const std::vector<std::string>& Cards,
                              const std::vector<uint8_t>& Data, bool End, bool PadData) {
  std::string H;
  for (const auto& C : Cards) H += C;
  if (End) H += RawCard("END");
  H.resize((H.size() + 2879) / 2880 * 2880, ' ');
  std::vector<uint8_t> F(H.begin(), H.end());
  F.insert(F.end(), Data.begin(), Data.end());
  if (PadData) F.resize(H.size() + (Data.size() + 2879) / 2880 * 2880, 0);
  return F;
}

void WriteFitsSamples(const std::string& File, int Width, int Height,
                      const std::function<int(int X, int Y)>& Value, int Subtract,
                      const std::vector<std::string>& More) {
  std::vector<int16_t> S;
  S.reserve(size_t(std::max(Width, 0)) * size_t(std::max(Height, 0)));
  for (int Y = Height - 1; Y >= 0; --Y)
    for (int X = 0; X < Width; ++X) S.push_back(static_cast<int16_t>(Value(X, Y) - Subtract));
  std::vector<std::string> Cards = {Card("BZERO", "32768")};
  Cards.insert(Cards.end(), More.begin(), More.end());
  WriteBytes(File, FitsFile(ImageCards(16, Width, Height, Cards), BigEndian(S)));
}

std::string AstropyPython() {
  static const std::string Python = [] {
    const std::string P = "/usr/bin/python3";
    const std::string Probe = P + " -c 'import astropy.io.fits, numpy' >/dev/null 2>&1";
    return std::system(Probe.c_str()) == 0 ? P : std::string();
  }();
  return Python;
}

namespace {
// Command run by the shell under a time limit: a child that hangs is stopped
// (SIGTERM, then SIGKILL 10 s later) and ends with status 124.
constexpr int ChildLimitSeconds = 600;
std::string Bounded(const std::string& Command) {
  return "timeout -k 10 " + std::to_string(ChildLimitSeconds) + " " + Command;
}
}  // namespace

bool RunOracle(const std::string& Args) {
  const std::string Cmd =
      Bounded(AstropyPython() + " " + OBRA_SOURCE_DIR "/tests/tools/fits_oracle.py " + Args +
              " >/dev/null");
  return std::system(Cmd.c_str()) == 0;
}

FullLoad LoadWholeFile(const std::string& File) {
  FullLoad L;
  Messages M;
  LoadImageFile(File, L.R, L.Buffer, 16, true, true, M.Sink());
  L.Shown = M.List;
  return L;
}

FullLoad WriteAndLoad(const std::string& File, const std::vector<uint8_t>& Bytes) {
  WriteBytes(File, Bytes);
  return LoadWholeFile(File);
}

std::vector<uint8_t> DecodedLoad::Bytes() const {
  const auto* P = reinterpret_cast<const uint8_t*>(Buffer.data());
  return {P, P + R.DataSize};
}

std::vector<uint16_t> DecodedLoad::Samples() const {
  return {Buffer.begin(), Buffer.begin() + R.DataSize / 2};
}

DecodedLoad LoadDecoded(HeaderReader Header, PixelReader Pixels, const std::string& File,
                        bool ShowMessages) {
  DecodedLoad L;
  Messages M;
  Header(File, L.R, ShowMessages, M.Sink());
  L.HadPicture = L.R.DecodedBitmap != nullptr;
  if (L.R.Valid) {
    L.Buffer.assign((static_cast<size_t>(L.R.DataSize) + 1) / 2, 0);
    L.Pixels = Pixels(L.R, L.Buffer);
  }
  L.Shown = M.List;
  return L;
}

void ExpectGoodDecodedRecord(const DecodedLoad& L, const std::string& File, int32_t Width,
                             int32_t Height, int32_t Channels) {
  const ImageRecord& R = L.R;
  EXPECT_TRUE(R.Valid);
  EXPECT_TRUE(L.Pixels);
  EXPECT_TRUE(L.Shown.empty());
  EXPECT_TRUE(R.ErrorText.empty());
  EXPECT_EQ(R.FileName, File);
  EXPECT_EQ(R.DataType, "BYTE");
  EXPECT_EQ(R.Width, Width);
  EXPECT_EQ(R.Height, Height);
  EXPECT_EQ(R.Channels, Channels);
  EXPECT_EQ(R.BytesPerPixel, Channels);
  EXPECT_EQ(R.DataSize, Width * Height * Channels);
  EXPECT_EQ(R.HeaderSize, -1);
  EXPECT_FALSE(R.FlipRows);
  EXPECT_FALSE(R.SwapBytes);
  EXPECT_FALSE(R.IsColorCube);
  EXPECT_EQ(R.BZero, 0.0);
  EXPECT_EQ(R.BScale, 1.0);
  EXPECT_EQ(R.DataMin, 1.0);
  EXPECT_EQ(R.DataMax, -1.0);
  EXPECT_EQ(R.DecodedBitmap, nullptr);
}

void ExpectPngSize(const std::string& File, uint32_t Width, uint32_t Height) {
  const std::vector<uint8_t> B = ReadBytes(File);
  ASSERT_GE(B.size(), 24u) << File;
  EXPECT_EQ(Fetch(&B[16], 4, true), Width) << File;
  EXPECT_EQ(Fetch(&B[20], 4, true), Height) << File;
}

std::string SmallEngineIni(int Channel) {
  const std::string C = std::to_string(Channel);
  return "KerSize 3\nNRSigma 2\nGlobalB 1\nLocalB 0\nGlobalW 1\nLocalW 0\nGamma" + C + " 30\nObra" +
         C + " 10\nKerS_20  1\nKerS_10  0.5\n";
}

bool PrepareWorkflow(const std::string& Ini, SharedState& S, Messages& Msg) {
  std::istringstream In(Ini);
  Params = Parameters{};
  if (ReadIniStream(In, Params).Fatal) return false;
  BuildKernels();
  InitializeState(S);
  S.ThreadCount = 2;
  S.ShowMessage = Msg.Sink();
  return true;
}

bool AwaitActivation(SharedState& S, std::chrono::milliseconds Limit) {
  return WaitUntil([&] { return Timer1Timer(S); }, Limit);
}

std::string CliPath() { return std::string(OBRA_BIN_DIR) + "/obra-cli"; }

CliRun RunCli(const std::string& Args, const TempDir& Scratch) {
  const std::string Out = Scratch.File("cli-stdout"), Err = Scratch.File("cli-stderr");
  const int Raw = std::system(Bounded(CliPath() + " " + Args + " >" + Out + " 2>" + Err).c_str());
  CliRun R{WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, ReadText(Out), ReadText(Err)};
  if (R.Status == 124)
    R.Err += "obra-cli did not finish within " + std::to_string(ChildLimitSeconds) + " s\n";
  return R;
}

}  // namespace obra::test
