#include <gtest/gtest.h>

#include <sstream>

#include "AdaptiveEQ.h"
#include "IniFile.h"
#include "TestSupport.h"

using namespace obra;

namespace {
IniStatus Read(const std::string& Text, Parameters& P) {
  std::istringstream In(Text);
  return ReadIniStream(In, P);
}
const std::string Valid = "NRSigma 5\nKerSize 10\n";
}  // namespace

TEST(IniFile, KeysFollowTheKeywordLineRules) {
  Parameters P;
  EXPECT_FALSE(Read(Valid + "kersize 20\n", P).Fatal);
  EXPECT_EQ(P.KerSize, 20);
  Read(Valid + "KerSize=30\nKerSize\t31\n KerSize 32\n", P);
  EXPECT_EQ(P.KerSize, 10);
  Read(Valid + "KerSize 20 // comment\n", P);
  EXPECT_EQ(P.KerSize, 20);
}

TEST(IniFile, NarrowComponentsNeedTwoBlanks) {
  Parameters P;
  Read(Valid + "KerS_80 0.5\nKerS_10 0.25\n", P);
  EXPECT_EQ(P.KerS_80, 0.0f);
  EXPECT_EQ(P.KerS_10, 0.0f);
  Read(Valid + "KerS_80  0.5\nKerS_10  0.25\nKerS_480 2\n", P);
  EXPECT_EQ(P.KerS_80, 0.5f);
  EXPECT_EQ(P.KerS_10, 0.25f);
  EXPECT_EQ(P.KerS_480, 2.0f);
}

TEST(IniFile, LastLineWinsAndMissingKeysKeepTheirValue) {
  Parameters P;
  Read(Valid + "LocalW 0.25\nLocalW 0.75\nGamma94 30\n", P);
  EXPECT_EQ(P.LocalW, 0.75f);
  EXPECT_EQ(P.Gamma94, 30);
  Read(Valid, P);  // a re-read without the lines keeps them
  EXPECT_EQ(P.LocalW, 0.75f);
  EXPECT_EQ(P.Gamma94, 30);
  Parameters Fresh;
  Read(Valid, Fresh);
  EXPECT_EQ(Fresh.Gamma94, 0);
}

TEST(IniFile, EveryKeyIsRecognised) {
  std::string Text = Valid;
  int I = 1;
  for (const IniKey& K : IniKeys) {
    if (K.Name == "NRSigma" || K.Name == "KerSize") continue;
    Text += std::string(K.Text) + " " + std::to_string(I++) + "\n";
  }
  Parameters P;
  ASSERT_FALSE(Read(Text, P).Fatal);
  I = 1;
  for (const IniKey& K : IniKeys) {
    if (K.Name == "NRSigma" || K.Name == "KerSize") continue;
    if (K.Int)
      EXPECT_EQ(P.*K.Int, I) << K.Name;
    else
      EXPECT_EQ(P.*K.Real, static_cast<float>(I)) << K.Name;
    ++I;
  }
}

TEST(IniFile, NoiseSigmaBounds) {
  Parameters P;
  IniStatus S = Read("NRSigma 150\n", P);
  EXPECT_FALSE(S.Fatal);
  EXPECT_EQ(P.NoiseHalfLength, 300);
  S = Read("NRSigma 151\n", P);
  EXPECT_TRUE(S.Fatal);
  EXPECT_EQ(S.Message,
            "Incorect value of NRSigma in OBRA.ini file. NRSigma<150 Impossible to continue.");
  EXPECT_TRUE(Read("NRSigma 2000000000\n", P).Fatal);
  EXPECT_TRUE(Read("NRSigma 0\n", P).Fatal);
  EXPECT_TRUE(Read("NRSigma -3\n", P).Fatal);
}

TEST(IniFile, KernelSizeBounds) {
  Parameters P;
  EXPECT_FALSE(Read("NRSigma 1\nKerSize 0\n", P).Fatal);
  EXPECT_FALSE(Read("NRSigma 1\nKerSize 64\n", P).Fatal);
  IniStatus S = Read("NRSigma 1\nKerSize 65\n", P);
  EXPECT_TRUE(S.Fatal);
  EXPECT_NE(S.Message.find("KerSize"), std::string::npos);
  EXPECT_TRUE(Read("NRSigma 1\nKerSize -1\n", P).Fatal);
}

TEST(IniFile, EmptyOrCommentOnlyFileSetsNothing) {
  Parameters P;
  P.NRSigma = 3;
  P.GlobalB = 0.5f;
  EXPECT_FALSE(Read("", P).Fatal);
  EXPECT_FALSE(Read("// nothing\n\n[section]\nfree text\n", P).Fatal);
  EXPECT_EQ(P.GlobalB, 0.5f);
  EXPECT_EQ(P.NoiseHalfLength, 6);
}

TEST(IniFile, MissingFileIsFatal) {
  test::TempDir D;
  Parameters P;
  IniStatus S = ReadIniFile(D.File("OBRA.ini"), P);
  EXPECT_TRUE(S.Fatal);
  EXPECT_EQ(S.Message, "Fatal error: File OBRA.ini not found. Impossible to continue.");
}

TEST(IniFile, GetIniFileFindsTheFileWhateverItsCaseAndBuildsKernels) {
  test::TempDir D;
  test::WriteText(D.File("Obra.ini"), "NRSigma 1\r\nKerSize 3\r\nKerS_10  1\r\n");
  ProgramDir = D.Path();
  ASSERT_FALSE(GetIniFile().Fatal);
  EXPECT_EQ(Params.KerSize, 3);
  EXPECT_EQ(Params.NoiseHalfLength, 2);
  EXPECT_FLOAT_EQ(KernelTable.At(0, 0), static_cast<float>(1.0 / (2.0 * 3.14159265358979)));
  EXPECT_GT(NoiseKernel[0], 0.0f);
}

TEST(IniFile, DistributedFilesAreValid) {
  for (const char* Name : {"OBRA.ini", "Default.ini"}) {
    Parameters P;
    IniStatus S = ReadIniFile(std::string(OBRA_SOURCE_DIR) + "/dist/" + Name, P);
    EXPECT_FALSE(S.Fatal) << Name << ": " << S.Message;
    EXPECT_GE(P.KerSize, 1) << Name;
    EXPECT_GE(P.Gamma193, 10) << Name;
  }
}
