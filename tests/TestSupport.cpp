#include "TestSupport.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include <unistd.h>

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

void WriteBytes(const std::string& File, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(File, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + File);
}

std::vector<uint8_t> ReadBytes(const std::string& File) {
  std::ifstream In(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

void WriteText(const std::string& File, const std::string& Text) {
  WriteBytes(File, std::vector<uint8_t>(Text.begin(), Text.end()));
}

std::string SharedData(const std::string& Name) {
  std::filesystem::path P = std::filesystem::path(OBRA_SHARED_DATA) / Name;
  std::error_code Ec;
  return std::filesystem::exists(P, Ec) ? P.string() : std::string();
}

}  // namespace obra::test
