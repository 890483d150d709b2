// obra-cli batch spread over several processes: the GNU parallel recipe of the
// README and the Slurm job-array script, each against one unsharded run.
//
// The Slurm test brings up a one-node cluster of its own (munged, slurmctld,
// slurmd, run as root with a configuration under a temporary directory) and
// stops the daemons by their process ids. A cluster that cannot start fails
// the test with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "../TestSupport.h"

using namespace obra::test;
namespace fs = std::filesystem;

extern char** environ;

namespace {

constexpr int ImageCount = 7;

// A 160 x 120 image of one of three channels; Seed varies pattern and time.
void WriteImage(const std::string& File, int Seed) {
  const int W = 160, H = 120;
  const std::vector<std::string> Cards = ImageCards(
      16, W, H,
      {Card("BZERO", "32768"), Card("WAVELNTH", std::to_string(Seed % 3 == 0 ? 171 : 193)),
       Card("DATE-OBS", "'2013-06-24T17:3" + std::to_string(Seed) + ":30.84'")});
  std::vector<int16_t> S;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X)
      S.push_back(static_cast<int16_t>(100 + (X * (5 + Seed) + Y * (11 + Seed)) % 1200 - 32768));
  WriteBytes(File, FitsFile(Cards, BigEndian(S)));
}

void WriteImages(const fs::path& Dir) {
  for (int I = 0; I < ImageCount; ++I)
    WriteImage((Dir / ("img" + std::to_string(I) + ".fits")).string(), I);
}

// Every file under Dir (relative path -> bytes), the runner's own output aside.
std::map<std::string, std::vector<uint8_t>> Tree(const fs::path& Dir) {
  std::map<std::string, std::vector<uint8_t>> T;
  for (const auto& E : fs::recursive_directory_iterator(Dir)) {
    const std::string Name = E.path().filename().string();
    if (!E.is_regular_file() || Name == "cli-stdout" || Name == "cli-stderr") continue;
    T[fs::relative(E.path(), Dir).string()] = ReadBytes(E.path().string());
  }
  return T;
}

// The names of a tree, for readable failure output.
std::vector<std::string> Names(const std::map<std::string, std::vector<uint8_t>>& T) {
  std::vector<std::string> N;
  for (const auto& [Name, Bytes] : T) N.push_back(Name);
  return N;
}

int Shell(const std::string& Command) {
  const int Raw = std::system(Command.c_str());
  return WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
}

// The reference: one unsharded run over the images, "Number" naming.
class Cluster : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Single = new TempDir;
    WriteImages(Single->Path());
    SingleRun = RunCli("batch " + Single->Path().string() + " --naming number", *Single);
  }
  static void TearDownTestSuite() {
    delete Single;
    Single = nullptr;
  }
  void ExpectSameAsSingleRun(const fs::path& Dir) {
    ASSERT_EQ(SingleRun.Status, 0) << SingleRun.Err;
    const auto Expected = Tree(Single->Path()), Got = Tree(Dir);
    ASSERT_EQ(Names(Got), Names(Expected));
    for (const auto& [Name, Bytes] : Expected) EXPECT_EQ(Got.at(Name), Bytes) << Name;
  }

  static TempDir* Single;
  static CliRun SingleRun;
};

TempDir* Cluster::Single = nullptr;
CliRun Cluster::SingleRun;

TEST_F(Cluster, GnuParallelShardsEqualOneRun) {
  TempDir D, Logs;
  WriteImages(D.Path());
  const int Status = Shell("timeout 300 parallel --will-cite " + CliPath() + " batch " +
                           D.Path().string() + " --naming number --shard {}/3 ::: 1 2 3 >" +
                           Logs.File("out") + " 2>" + Logs.File("err"));
  ASSERT_EQ(Status, 0) << ReadText(Logs.File("err"));
  ExpectSameAsSingleRun(D.Path());
}

// A free TCP port of the loopback interface.
int FreePort() {
  const int S = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in A{};
  A.sin_family = AF_INET;
  A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t L = sizeof A;
  const bool Ok = S >= 0 && bind(S, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
                  getsockname(S, reinterpret_cast<sockaddr*>(&A), &L) == 0;
  if (S >= 0) close(S);
  return Ok ? ntohs(A.sin_port) : 0;
}

// The first line a command prints, or empty.
std::string FirstLine(const std::string& Command, const TempDir& Scratch) {
  if (Shell(Command + " >" + Scratch.File("line") + " 2>/dev/null") != 0) return {};
  const std::string T = ReadText(Scratch.File("line"));
  return T.substr(0, T.find('\n'));
}

// The last lines of a log, for a failure message.
std::string Tail(const std::string& File) {
  const std::string T = ReadText(File);
  return T.size() > 1500 ? T.substr(T.size() - 1500) : T;
}

// A one-node Slurm cluster with its own munge daemon, all under one
// temporary directory; the daemons are stopped by their ids on destruction.
class SlurmCluster {
 public:
  ~SlurmCluster() {
    for (auto It = Pids_.rbegin(); It != Pids_.rend(); ++It) Stop(*It);
  }

  // Starts the daemons and waits until the node is idle; false with Reason.
  bool Start(std::string& Reason) {
    if (geteuid() != 0) return Reason = "the Slurm daemons must be started as root", false;
    for (const char* Tool : {"munged", "mungekey", "slurmctld", "slurmd", "sbatch", "sinfo"})
      if (Shell(std::string("command -v ") + Tool + " >/dev/null") != 0)
        return Reason = std::string(Tool) + " is not installed (packages munge, slurm-wlm)", false;
    const std::string Key = T_.File("munge.key"), Socket = T_.File("munge.sock");
    if (Shell("mungekey --create --keyfile=" + Key + " >" + T_.File("mungekey.log") + " 2>&1") != 0)
      return Reason = "mungekey failed: " + Tail(T_.File("mungekey.log")), false;
    if (!Spawn({"munged", "-F", "-f", "--key-file=" + Key, "--socket=" + Socket,
                "--pid-file=" + T_.File("munged.pid"), "--log-file=" + T_.File("munged.log"),
                "--seed-file=" + T_.File("munged.seed")},
               "munged.out", Reason))
      return false;
    if (!WaitFor([&] { return fs::exists(Socket); }, 20))
      return Reason = "munged did not create its socket: " + Tail(T_.File("munged.out")), false;
    if (!WriteConfiguration(Socket, Reason)) return false;
    setenv("SLURM_CONF", Conf().c_str(), 1);
    if (!Spawn({"slurmctld", "-D", "-c", "-f", Conf()}, "slurmctld.out", Reason) ||
        !Spawn({"slurmd", "-D", "-N", Node_, "-f", Conf()}, "slurmd.out", Reason))
      return false;
    const bool Idle =
        WaitFor([&] { return FirstLine("sinfo -h -o %T", T_).rfind("idle", 0) == 0; }, 90);
    if (!Idle)
      return Reason = "the node did not become idle within 90 s. slurmctld: " +
                      Tail(T_.File("slurmctld.out")) + " slurmd: " + Tail(T_.File("slurmd.out")),
             false;
    return true;
  }
  std::string Conf() const { return T_.File("slurm.conf"); }
  const TempDir& Dir() const { return T_; }

 private:
  bool WriteConfiguration(const std::string& Socket, std::string& Reason) {
    // The node as slurmd finds it, so that it is not drained for a mismatch.
    std::string Node = FirstLine("slurmd -C", T_);
    char Host[256] = {};
    gethostname(Host, sizeof Host - 1);
    Node_ = Host;
    const int CtlPort = FreePort(), DPort = FreePort();
    if (Node.rfind("NodeName=", 0) != 0 || Node_.empty() || CtlPort == 0 || DPort == 0)
      return Reason = "cannot describe the node (slurmd -C, host name, free ports)", false;
    const std::string D = T_.Path().string();
    fs::create_directories(T_.Path() / "state");
    fs::create_directories(T_.Path() / "spool");
    WriteText(Conf(), "ClusterName=obratest\nSlurmctldHost=" + Node_ +
                          "(127.0.0.1)\nSlurmUser=root\nSlurmdUser=root\n"
                          "AuthType=auth/munge\nAuthInfo=socket=" +
                          Socket + "\nCredType=cred/munge\nSlurmctldPort=" +
                          std::to_string(CtlPort) + "\nSlurmdPort=" + std::to_string(DPort) +
                          "\nStateSaveLocation=" + D + "/state\nSlurmdSpoolDir=" + D +
                          "/spool\nSlurmctldPidFile=" + D + "/slurmctld.pid\nSlurmdPidFile=" + D +
                          "/slurmd.pid\n"
                          "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\n"
                          "JobAcctGatherType=jobacct_gather/none\n"
                          "AccountingStorageType=accounting_storage/none\n"
                          "JobCompType=jobcomp/none\nSelectType=select/cons_tres\n"
                          "SelectTypeParameters=CR_Core\nMpiDefault=none\nReturnToService=2\n"
                          "SchedulerType=sched/builtin\n" +
                          Node +
                          " NodeAddr=127.0.0.1 State=UNKNOWN\n"
                          "PartitionName=obra Nodes=ALL Default=YES MaxTime=INFINITE State=UP\n");
    return true;
  }

  bool Spawn(const std::vector<std::string>& Args, const std::string& Log, std::string& Reason) {
    std::vector<char*> Argv;
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    posix_spawn_file_actions_t Files;
    posix_spawn_file_actions_init(&Files);
    const std::string Out = T_.File(Log);
    posix_spawn_file_actions_addopen(&Files, 1, Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&Files, 1, 2);
    pid_t Pid = 0;
    const int Error = posix_spawnp(&Pid, Argv[0], &Files, nullptr, Argv.data(), environ);
    posix_spawn_file_actions_destroy(&Files);
    if (Error != 0) return Reason = "cannot start " + Args[0] + ": " + std::strerror(Error), false;
    Pids_.push_back(Pid);
    return true;
  }

  template <typename F>
  static bool WaitFor(F Ready, int Seconds) {
    return WaitUntil(Ready, std::chrono::seconds(Seconds), std::chrono::milliseconds(250));
  }

  // SIGTERM, up to 15 s to end, then SIGKILL.
  static void Stop(pid_t Pid) {
    kill(Pid, SIGTERM);
    int Status = 0;
    if (WaitFor([&] { return waitpid(Pid, &Status, WNOHANG) == Pid; }, 15)) return;
    kill(Pid, SIGKILL);
    waitpid(Pid, &Status, 0);
  }

  TempDir T_;
  std::string Node_;
  std::vector<pid_t> Pids_;
};

TEST_F(Cluster, SlurmJobArrayEqualsOneRun) {
  SlurmCluster C;
  std::string Reason;
  ASSERT_TRUE(C.Start(Reason)) << "the Slurm cluster cannot start: " << Reason;
  TempDir D;
  WriteImages(D.Path());
  const std::string Script = std::string(OBRA_SOURCE_DIR) + "/scripts/obra-slurm.sh";
  const std::string Logs = C.Dir().File("task-%a.log");
  const int Status =
      Shell("OBRA_CLI=" + CliPath() + " timeout 300 sbatch --wait --array=1-3 --output=" + Logs +
            " " + Script + " " + D.Path().string() + " --naming number >" +
            C.Dir().File("sbatch.log") + " 2>&1");
  ASSERT_EQ(Status, 0) << ReadText(C.Dir().File("sbatch.log"))
                       << ReadText(C.Dir().File("task-1.log"));
  for (int Task = 1; Task <= 3; ++Task)
    EXPECT_NE(ReadText(C.Dir().File("task-" + std::to_string(Task) + ".log"))
                  .find("processed, 0 skipped, 0 failed"),
              std::string::npos)
        << Task;
  ExpectSameAsSingleRun(D.Path());
}

}  // namespace
