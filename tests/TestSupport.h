// Helpers shared by the test binaries: temporary directories, file bytes and
// the location of the real solar images.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace obra::test {

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return Path_; }
  std::string File(const std::string& Name) const { return (Path_ / Name).string(); }

 private:
  std::filesystem::path Path_;
};

void WriteBytes(const std::string& File, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadBytes(const std::string& File);
void WriteText(const std::string& File, const std::string& Text);

// Path of a file in the shared data directory, or empty when it is absent.
std::string SharedData(const std::string& Name);

// Collects the messages a reader shows.
struct Messages {
  std::vector<std::string> List;
  auto Sink() {
    return [this](const std::string& M) { List.push_back(M); };
  }
};

}  // namespace obra::test
