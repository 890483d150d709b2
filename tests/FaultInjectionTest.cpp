// Every file the program writes, under each way a disk fails: the failure is
// reported, nothing partial is left beside the target, and a file that was
// there before stays as it was. Faults are injected at each step of the
// atomic writer, and made real where the machine allows it (a full tmpfs, a
// read-only mount).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "AdaptiveEQ.h"
#include "AtomicWrite.h"
#include "Global.h"
#include "IniFile.h"
#include "PngWriter.h"
#include "TIFformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;
namespace fs = std::filesystem;

namespace {

// The names in Dir, sorted.
std::vector<std::string> Listing(const fs::path& Dir) {
  std::vector<std::string> Names;
  for (const auto& E : fs::directory_iterator(Dir)) Names.push_back(E.path().filename().string());
  std::sort(Names.begin(), Names.end());
  return Names;
}

// A 16-bit FITS image of W x H samples 100..999, channel 193.
void WriteFitsImage(const std::string& File, int W, int H) {
  WriteFitsSamples(File, W, H, [](int X, int Y) { return 100 + (X * 7 + Y * 13) % 900; }, 32768,
                   {Card("WAVELNTH", "193"), Card("DATE-OBS", "'2013-06-24T17:31:30.84'")});
}

// A writer under test: writes its file into Dir and returns the outcome.
struct Writer {
  const char* Name;
  const char* Target;  // file name inside Dir
  std::function<WriteOutcome(const std::string& Path)> Write;
};

Picture24 SmallPicture() {
  Picture24 P;
  P.Width = 40;
  P.Height = 30;
  P.Pixels.resize(size_t(40) * 30 * 3);
  for (size_t I = 0; I < P.Pixels.size(); ++I) P.Pixels[I] = uint8_t(I * 37);
  return P;
}

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> List = {
      {"PNG", "view.png",
       [](const std::string& Path) {
         const PngResult R = WritePng(SmallPicture(), Path);
         return WriteOutcome{R.Success, R.ErrorText};
       }},
      {"activation file", "x.act",
       [](const std::string& Path) {
         const std::vector<uint16_t> S(64 * 48, 321);
         std::string Error;
         const bool Ok = WriteTiff16(S.data(), 64, 48, true, Path, &Error);
         return WriteOutcome{Ok, Error};
       }},
      {"text file", "ReadMe.txt",
       [](const std::string& Path) { return WriteTextFileAtomic(Path, "new text\n"); }},
  };
  return List;
}

struct Fault {
  const char* Name;
  const char* Step;
  int Error;
};

const Fault Faults[] = {{"full disk", "write", ENOSPC},
                        {"read-only directory", "create", EROFS},
                        {"failed fsync", "fsync", EIO},
                        {"failed rename", "rename", EXDEV}};

class InjectedFault : public ::testing::TestWithParam<Fault> {
 protected:
  void TearDown() override { SetWriteFaultHook(nullptr); }
  void Inject() {
    const Fault F = GetParam();
    SetWriteFaultHook(
        [F](std::string_view Step, const std::string&) { return Step == F.Step ? F.Error : 0; });
  }
};

TEST_P(InjectedFault, EveryWriterReportsAndKeepsTheOldFile) {
  for (const Writer& W : Writers()) {
    SCOPED_TRACE(W.Name);
    TempDir Dir;
    const std::string Path = Dir.File(W.Target);
    WriteText(Path, "old content");
    Inject();
    const WriteOutcome Outcome = W.Write(Path);
    SetWriteFaultHook(nullptr);
    EXPECT_FALSE(Outcome.Success);
    EXPECT_NE(Outcome.ErrorText.find(std::strerror(GetParam().Error)), std::string::npos)
        << Outcome.ErrorText;
    EXPECT_NE(Outcome.ErrorText.find(Path), std::string::npos) << Outcome.ErrorText;
    EXPECT_EQ(ReadText(Path), "old content");
    EXPECT_EQ(Listing(Dir.Path()), std::vector<std::string>{W.Target});
  }
}

INSTANTIATE_TEST_SUITE_P(Disk, InjectedFault, ::testing::ValuesIn(Faults), [](const auto& Info) {
  std::string N = Info.param.Name;
  std::replace(N.begin(), N.end(), ' ', '_');
  std::replace(N.begin(), N.end(), '-', '_');
  return N;
});

// The workflow's writes: the activation cache and its read-me.
class WorkflowWrites : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PrepareWorkflow("KerSize 2\nNRSigma 2\nKerS_10  1\n", S, Msg));
    WriteFitsImage(Image, 48, 40);
  }
  void TearDown() override { SetWriteFaultHook(nullptr); }

  // Runs a whole-frame activation to its end, polling as the window's timer
  // does, for at most 20 s.
  bool ActivateAndWait() {
    return StartActivation(S) && AwaitActivation(S, std::chrono::seconds(20));
  }

  TempDir Dir;
  Messages Msg;
  SharedState S;
  const std::string Image = Dir.File("x.fits");
};

TEST_F(WorkflowWrites, ReadMeThatCannotBeWrittenMarksTheCacheUnwritable) {
  SetWriteFaultHook([](std::string_view Step, const std::string& Path) {
    return Step == "write" && Path.ends_with("ReadMe.txt") ? ENOSPC : 0;
  });
  S.OpenDialogFileName = Image;
  ASSERT_TRUE(OpenImage(S));
  EXPECT_TRUE(S.CacheUnwritable);
  ASSERT_EQ(Msg.List.size(), 1u);
  EXPECT_NE(Msg.List[0].find("ReadMe.txt"), std::string::npos) << Msg.List[0];
  EXPECT_TRUE(Listing(Dir.File("Activation_Data")).empty());
}

TEST_F(WorkflowWrites, ActivationCacheThatCannotBeWrittenIsReportedAndNotLeftPartial) {
  S.OpenDialogFileName = Image;
  ASSERT_TRUE(OpenImage(S));
  ASSERT_TRUE(S.CheckBoxAutoSaveActivated.Down);
  SetWriteFaultHook([](std::string_view Step, const std::string& Path) {
    return Step == "fsync" && Path.ends_with(".act") ? EIO : 0;
  });
  ASSERT_TRUE(ActivateAndWait());
  EXPECT_TRUE(S.ActivationStoreFailed);
  ASSERT_EQ(Msg.List.size(), 1u);
  EXPECT_NE(Msg.List[0].find("could not be saved"), std::string::npos) << Msg.List[0];
  EXPECT_EQ(Listing(Dir.File("Activation_Data")), std::vector<std::string>{"ReadMe.txt"});
}

// The header was read, then the file went away or was cut short before the
// pixel read: the read fails with a message and leaves the record invalid.
TEST(VanishingFile, PixelReadAfterTheFileChangedFailsCleanly) {
  const std::vector<std::pair<const char*, void (*)(const std::string&)>> Damages = {
      {"removed", [](const std::string& F) { fs::remove(F); }},
      {"cut after the header", [](const std::string& F) { fs::resize_file(F, 2880 + 100); }}};
  for (const auto& [Name, Damage] : Damages) {
    SCOPED_TRACE(Name);
    TempDir Dir;
    const std::string File = Dir.File("gone.fits");
    WriteFitsImage(File, 32, 16);
    Messages Msg;
    ImageRecord R;
    ReadImageHeader(File, R, true, Msg.Sink());
    ASSERT_TRUE(R.Valid);
    Damage(File);
    std::vector<uint16_t> Buffer;
    LoadAndTransformImage(R, Buffer, 16, true, Msg.Sink());
    EXPECT_FALSE(R.Valid);
    EXPECT_FALSE(Msg.List.empty());
  }
}

// A small tmpfs mounted for one test, and unmounted with the object. The
// tests run as root in CI; elsewhere mounting fails and the test says why.
class SmallMount {
 public:
  explicit SmallMount(const std::string& Options) {
    if (mount("tmpfs", Dir_.Path().c_str(), "tmpfs", 0, Options.c_str()) == 0)
      Mounted_ = true;
    else
      Error_ = std::strerror(errno);
  }
  ~SmallMount() {
    if (Mounted_) umount2(Dir_.Path().c_str(), MNT_DETACH);
  }
  bool ReadOnly() {
    return mount(nullptr, Dir_.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  bool Mounted() const { return Mounted_; }
  const std::string& Error() const { return Error_; }
  std::string File(const std::string& Name) const { return Dir_.File(Name); }
  const fs::path& Path() const { return Dir_.Path(); }

 private:
  TempDir Dir_;
  bool Mounted_ = false;
  std::string Error_;
};

TEST(RealDisk, FullTmpfsFailsEveryWriterWithoutAPartialFile) {
  SmallMount Disk("size=16k");
  ASSERT_TRUE(Disk.Mounted()) << "a tmpfs could not be mounted: " << Disk.Error();
  // 64 x 48 samples and the PNG of a noisy picture do not fit in 16 KiB
  // beside the old file.
  WriteText(Disk.File("ballast"), std::string(12 * 1024, 'b'));
  const std::vector<uint16_t> S(64 * 48, 321);
  std::string Error;
  EXPECT_FALSE(WriteTiff16(S.data(), 64, 48, true, Disk.File("x.act"), &Error));
  EXPECT_NE(Error.find(std::strerror(ENOSPC)), std::string::npos) << Error;
  EXPECT_EQ(Listing(Disk.Path()), std::vector<std::string>{"ballast"});
}

TEST(RealDisk, ReadOnlyMountRefusesTheCliWithAnExitStatus) {
  TempDir Work;
  WriteFitsImage(Work.File("x.fits"), 48, 40);
  SmallMount Disk("size=1m");
  ASSERT_TRUE(Disk.Mounted()) << "a tmpfs could not be mounted: " << Disk.Error();
  ASSERT_TRUE(Disk.ReadOnly()) << std::strerror(errno);
  const CliRun Process =
      RunCli("process " + Work.File("x.fits") + " -o " + Disk.File("out.png"), Work);
  EXPECT_NE(Process.Status, 0);
  EXPECT_NE(Process.Err.find(std::strerror(EROFS)), std::string::npos) << Process.Err;
  EXPECT_TRUE(Listing(Disk.Path()).empty());
}

TEST(Concurrency, TwoProcessesActivatingOneImageLeaveOneValidActivationFile) {
  TempDir Work;
  const std::string Image = Work.File("x.fits");
  WriteFitsImage(Image, 96, 80);
  int Status[2] = {-1, -1};
  std::thread Runs[2];
  for (int I = 0; I < 2; ++I)
    Runs[I] = std::thread([&, I] {
      const std::string Line = CliPath() + " process " + Image + " -o " +
                               Work.File(I == 0 ? "a.png" : "b.png") +
                               " --activate --threads 1 2>/dev/null";
      const int Raw = std::system(Line.c_str());
      Status[I] = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
    });
  for (std::thread& T : Runs) T.join();
  EXPECT_EQ(Status[0], 0);
  EXPECT_EQ(Status[1], 0);
  EXPECT_EQ(Listing(Work.File("Activation_Data")),
            (std::vector<std::string>{"ReadMe.txt", "x.act"}));
  const FullLoad Act = LoadWholeFile(Work.File("Activation_Data/x.act"));
  EXPECT_TRUE(Act.R.Valid);
  EXPECT_EQ(Act.R.Width, 96);
}

}  // namespace
