#include "Cli.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "IOGraphics.h"

namespace obra::cli {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> R;
  return R;
}
}  // namespace

bool RegisterCommand(const Command& C) {
  Registry().push_back(C);
  return true;
}

const std::vector<Command>& Commands() { return Registry(); }

void PrintMessage(const std::string& Text) { std::fprintf(stderr, "%s\n", Text.c_str()); }

bool ReadHeaderOrSay(std::string_view Name, const std::string& File, ImageRecord& R) {
  ReadImageHeader(File, R, true, PrintMessage);
  if (!R.Valid)
    std::fprintf(stderr, "obra-cli %.*s: cannot read %s\n", static_cast<int>(Name.size()),
                 Name.data(), File.c_str());
  return R.Valid;
}

std::string ExecutableDir() {
  std::error_code Ec;
  auto P = std::filesystem::read_symlink("/proc/self/exe", Ec);
  return Ec ? std::string(".") : P.parent_path().string();
}

std::string JsonString(std::string_view S) {
  std::string Out = "\"";
  for (unsigned char C : S) {
    switch (C) {
      case '"':
        Out += "\\\"";
        break;
      case '\\':
        Out += "\\\\";
        break;
      case '\n':
        Out += "\\n";
        break;
      case '\r':
        Out += "\\r";
        break;
      case '\t':
        Out += "\\t";
        break;
      default:
        if (C < 0x20) {
          char Buf[8];
          std::snprintf(Buf, sizeof Buf, "\\u%04x", C);
          Out += Buf;
        } else {
          Out += static_cast<char>(C);
        }
    }
  }
  return Out + "\"";
}

std::string JsonFloat(float V) {
  if (!std::isfinite(V)) return "null";
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%.9g", static_cast<double>(V));
  return Buf;
}

void JsonObject::Add(std::string_view Key, std::string_view Text) { AddRaw(Key, JsonString(Text)); }
void JsonObject::Add(std::string_view Key, int64_t Value) { AddRaw(Key, std::to_string(Value)); }
void JsonObject::Add(std::string_view Key, bool Value) { AddRaw(Key, Value ? "true" : "false"); }

void JsonObject::Add(std::string_view Key, double Value) {
  if (!std::isfinite(Value)) return AddRaw(Key, "null");
  char Buf[64];
  auto [Ptr, Ec] = std::to_chars(Buf, Buf + sizeof Buf, Value);
  std::string T(Buf, Ptr);
  // Keep reals recognisable as reals.
  if (T.find_first_of(".en") == std::string::npos) T += ".0";
  AddRaw(Key, T);
}

void JsonObject::AddFloat(std::string_view Key, float Value) { AddRaw(Key, JsonFloat(Value)); }

void JsonObject::AddFloats(std::string_view Key, const std::vector<float>& Values) {
  std::string T = "[";
  for (size_t I = 0; I < Values.size(); ++I) {
    if (I) T += ',';
    T += JsonFloat(Values[I]);
  }
  AddRaw(Key, T + "]");
}

void JsonObject::AddRaw(std::string_view Key, std::string_view Json) {
  Members_.emplace_back(std::string(Key), std::string(Json));
}

std::string JsonObject::Text() const {
  std::string T = "{\n";
  for (size_t I = 0; I < Members_.size(); ++I)
    T += "  " + JsonString(Members_[I].first) + ": " + Members_[I].second +
         (I + 1 < Members_.size() ? ",\n" : "\n");
  return T + "}";
}

}  // namespace obra::cli
