// OBRA.ini: keys as keyword lines, the two fatal checks, and the files we ship.
#include <gtest/gtest.h>

#include <sstream>

#include "AdaptiveEQ.h"
#include "IniFile.h"
#include "TestSupport.h"

using namespace obra;

namespace {
const std::string Valid = "NRSigma 5\nKerSize 10\n";
IniStatus Read(const std::string& Text, Parameters& P) {
  std::istringstream In(Text);
  return ReadIniStream(In, P);
}
}  // namespace

TEST(IniFile, KeysFollowTheKeywordLineRules) {
  Parameters P;
  EXPECT_FALSE(Read(Valid + "kersize 20\n", P).Fatal);
  EXPECT_EQ(P.KerSize, 20);
  Read(Valid + "KerSize=30\nKerSize\t31\n KerSize 32\n", P);
  EXPECT_EQ(P.KerSize, 10);
  // The narrow kernel components need two blanks after their key.
  Read(Valid + "KerS_80 0.5\nKerS_10 0.25\n", P);
  EXPECT_EQ(P.KerS_80, 0.0f);
  EXPECT_EQ(P.KerS_10, 0.0f);
  Read(Valid + "KerS_80  0.5\nKerS_10  0.25\nKerS_480 2\n", P);
  EXPECT_EQ(P.KerS_80, 0.5f);
  EXPECT_EQ(P.KerS_10, 0.25f);
  EXPECT_EQ(P.KerS_480, 2.0f);
  // The last line wins; a re-read without a key keeps its value; nothing of
  // an empty or comment-only file is taken.
  Read(Valid + "LocalW 0.25\nLocalW 0.75\nGamma94 30\n", P);
  Read(Valid, P);
  EXPECT_EQ(P.LocalW, 0.75f);
  EXPECT_EQ(P.Gamma94, 30);
  P.NRSigma = 3;
  P.GlobalB = 0.5f;
  EXPECT_FALSE(Read("", P).Fatal);
  EXPECT_FALSE(Read("// nothing\n\n[section]\nfree text\n", P).Fatal);
  EXPECT_EQ(P.GlobalB, 0.5f);
  EXPECT_EQ(P.NoiseHalfLength, 6);
}

TEST(IniFile, EveryKeyIsRecognised) {
  std::string Text = Valid;
  int I = 1;
  for (const IniKey& K : IniKeys)
    if (K.Name != "NRSigma" && K.Name != "KerSize")
      Text += std::string(K.Text) + " " + std::to_string(I++) + "\n";
  Parameters P;
  ASSERT_FALSE(Read(Text, P).Fatal);
  I = 1;
  for (const IniKey& K : IniKeys) {
    if (K.Name == "NRSigma" || K.Name == "KerSize") continue;
    EXPECT_EQ(K.Int ? float(P.*K.Int) : P.*K.Real, float(I++)) << K.Name;
  }
}

TEST(IniFile, FatalFaults) {
  Parameters P;
  EXPECT_FALSE(Read("NRSigma 150\n", P).Fatal);
  EXPECT_EQ(P.NoiseHalfLength, 300);
  IniStatus S = Read("NRSigma 151\n", P);
  EXPECT_TRUE(S.Fatal);
  EXPECT_EQ(S.Message,
            "Incorect value of NRSigma in OBRA.ini file. NRSigma<150 Impossible to continue.");
  for (const char* Bad : {"NRSigma 2000000000\n", "NRSigma 0\n", "NRSigma -3\n",
                          "NRSigma 1\nKerSize 65\n", "NRSigma 1\nKerSize -1\n"})
    EXPECT_TRUE(Read(Bad, P).Fatal) << Bad;
  EXPECT_NE(Read("NRSigma 1\nKerSize 65\n", P).Message.find("KerSize"), std::string::npos);
  EXPECT_FALSE(Read("NRSigma 1\nKerSize 0\n", P).Fatal);
  EXPECT_FALSE(Read("NRSigma 1\nKerSize 64\n", P).Fatal);
  test::TempDir D;
  S = ReadIniFile(D.File("OBRA.ini"), P);
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
  EXPECT_FLOAT_EQ(KernelTable.At(0, 0), float(1.0 / (2.0 * 3.14159265358979)));
  EXPECT_GT(NoiseKernel[0], 0.0f);
  for (const char* Name : {"OBRA.ini", "Default.ini"}) {
    Parameters P;
    const IniStatus S = ReadIniFile(std::string(OBRA_SOURCE_DIR) + "/dist/" + Name, P);
    EXPECT_FALSE(S.Fatal) << Name << ": " << S.Message;
    EXPECT_GE(P.KerSize, 1) << Name;
    EXPECT_GE(P.Gamma193, 10) << Name;
  }
}
