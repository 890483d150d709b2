// Reading a PNG, BMP or JPEG file the way the load pipeline does: the header
// read, then, when that succeeded, the pixel read into a buffer of DataSize
// bytes. Shared by the reader tests of the decoded formats.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "IOGraphics.h"
#include "TestSupport.h"

namespace obra::test {

struct DecodedLoad {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  std::vector<std::string> Shown;
  bool HadPicture = false;  // a decoded picture was held between the two reads
  bool Pixels = false;

  // The first DataSize bytes of the buffer, as the pixel read left them.
  std::vector<uint8_t> Bytes() const {
    const auto* P = reinterpret_cast<const uint8_t*>(Buffer.data());
    return {P, P + R.DataSize};
  }
  std::vector<uint16_t> Samples() const {
    return {Buffer.begin(), Buffer.begin() + R.DataSize / 2};
  }
};

using HeaderReader = void (*)(const std::string&, ImageRecord&, bool, const MessageSink&);
using PixelReader = bool (*)(ImageRecord&, std::vector<uint16_t>&);

inline DecodedLoad LoadDecoded(HeaderReader Header, PixelReader Pixels, const std::string& File,
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

// A good read of an 8-bit picture of this size: no fault, the file's path, and
// the layout of every decoded picture.
inline void ExpectGoodDecodedRecord(const DecodedLoad& L, const std::string& File, int32_t Width,
                                    int32_t Height, int32_t Channels) {
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Width, Width);
  EXPECT_EQ(L.R.Height, Height);
  EXPECT_EQ(L.R.Channels, Channels);
  EXPECT_EQ(L.R.BytesPerPixel, Channels);
  EXPECT_TRUE(L.Pixels);
  EXPECT_TRUE(L.Shown.empty());
  EXPECT_EQ(L.R.ErrorText, "");
  EXPECT_EQ(L.R.FileName, File);
  EXPECT_EQ(L.R.DataType, "BYTE");
  EXPECT_EQ(L.R.DataSize, Width * Height * Channels);
  EXPECT_EQ(L.R.HeaderSize, -1);
  EXPECT_FALSE(L.R.FlipRows);
  EXPECT_FALSE(L.R.SwapBytes);
  EXPECT_FALSE(L.R.IsColorCube);
  EXPECT_EQ(L.R.BZero, 0.0);
  EXPECT_EQ(L.R.BScale, 1.0);
  EXPECT_EQ(L.R.DataMin, 1.0);
  EXPECT_EQ(L.R.DataMax, -1.0);
  EXPECT_EQ(L.R.DecodedBitmap, nullptr);
}

// The window's full load: LoadImageFile with ConvertToBits 16, allocate and messages on.
struct FullLoad {
  ImageRecord R;
  std::vector<uint16_t> Buffer;
  std::vector<std::string> Shown;
};

inline FullLoad LoadWholeFile(const std::string& File) {
  FullLoad L;
  Messages M;
  LoadImageFile(File, L.R, L.Buffer, 16, true, true, M.Sink());
  L.Shown = M.List;
  return L;
}

}  // namespace obra::test
