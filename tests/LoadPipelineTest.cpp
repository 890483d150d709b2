// The load pipeline: dispatch by extension, the record between loads, the
// ConvertToBits forms and the caller's buffer.
#include <gtest/gtest.h>

#include <tuple>

#include "TIFformat.h"
#include "TestSupport.h"

using namespace obra;
using namespace obra::test;

namespace {

// LoadImageFile into L's record and buffer (kept from an earlier load).
FullLoad Load(const std::string& File, int Bits = 16, bool Show = true, FullLoad L = {},
              bool Allocate = true) {
  Messages M;
  LoadImageFile(File, L.R, L.Buffer, Bits, Allocate, Show, M.Sink());
  L.Shown = M.List;
  return L;
}

std::vector<uint8_t> SmallFits(const std::vector<int16_t>& Samples, int W, int H,
                               const std::vector<std::string>& More = {}) {
  return FitsFile(ImageCards(16, W, H, More), BigEndian(Samples));
}

}  // namespace

TEST(LoadPipeline, ExtensionDecidesTheReader) {
  TempDir D;
  for (const char* Name : {"x.txt", "noext", "x.fi", "a.FiTs"})
    WriteBytes(D.File(Name), SmallFits({1, 2}, 2, 1));
  std::filesystem::create_directory(D.File("dir.fits"));
  // Unsupported extensions are shown even with messages off.
  FullLoad L = Load(D.File("x.txt"), 16, false);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"Files *.TXT are not supported."});
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.R.FileName, " -");
  EXPECT_EQ(Load(D.File("noext")).Shown, std::vector<std::string>{"Files * are not supported."});
  // ".FI" passes the substring test but has no reader; a missing file or a
  // directory named like an image is refused without a message.
  for (const char* Name : {"x.fi", "missing.fits", "dir.fits"}) {
    L = Load(D.File(Name));
    EXPECT_EQ(L.Shown.size(), 0u) << Name;
    EXPECT_FALSE(L.R.Valid) << Name;
  }
  EXPECT_EQ(L.R.FileName, " -");
  L = Load(D.File("a.FiTs"));
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{1, 2}));
  // A bad ConvertToBits is always shown.
  L = Load(D.File("a.FiTs"), 12, false);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"Inavalid parameter ConvertToBits in "
                                              "procedure LoadAndTransformImage"});
}

TEST(LoadPipeline, HeaderReadKeepsTheRecordAndComputesNoStatistics) {
  TempDir D;
  WriteBytes(D.File("x.xyz"), {0});
  ImageRecord R;
  R.Width = 17, R.Valid = true, R.HasBZero = true, R.ValueOffset = 100, R.Wavelength = 171;
  // An unknown extension clears only HasBZero and ValueOffset; a missing file nothing.
  ReadImageHeader(D.File("x.xyz"), R, true, {});
  EXPECT_EQ(R.Width, 17);
  EXPECT_TRUE(R.Valid);
  EXPECT_FALSE(R.HasBZero);
  EXPECT_EQ(R.ValueOffset, 0);
  EXPECT_EQ(R.Wavelength, 171);
  R.HasBZero = true;
  ReadImageHeader(D.File("none.fits"), R, true, {});
  EXPECT_TRUE(R.HasBZero);
  WriteBytes(D.File("a.fits"), SmallFits({5, 6}, 2, 1));
  R.MaxValue = 1234;
  ReadImageHeader(D.File("a.fits"), R, false, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(R.MaxValue, 1234);
  FullLoad L = Load(D.File("a.fits"));
  EXPECT_EQ(L.R.MinValue, 5);
  EXPECT_EQ(L.R.MaxValue, 6);
  // LoadAndTransformImage on the record of a header read: the buffer is resized.
  std::vector<uint16_t> B = {1, 2, 3, 4, 5};
  LoadAndTransformImage(R, B, 16, true, {});
  EXPECT_TRUE(R.Valid);
  EXPECT_EQ(B, (std::vector<uint16_t>{5, 6}));
  // A file cut short after its header was read is a fault, not a partial image.
  std::vector<uint8_t> Bytes = SmallFits({7, 8}, 2, 1);
  Bytes.resize(2881);
  WriteBytes(D.File("a.fits"), Bytes);
  Messages M;
  LoadAndTransformImage(R, B, 16, true, M.Sink());
  EXPECT_FALSE(R.Valid);
  EXPECT_EQ(M.List, std::vector<std::string>{"File a.fits is truncated."});
}

// Readers other than FITS leave the FITS fields alone; a reused record gets
// them reset so that a TIFF never shows the telescope of the FITS before.
TEST(LoadPipeline, NonFitsLoadResetsFitsFields) {
  TempDir D;
  WriteBytes(D.File("a.fits"),
             SmallFits({1, 2}, 2, 1,
                       {Card("WAVELNTH", "171"), Card("DATE-OBS", "'2010-05-13T12:34:56'"),
                        Card("TELESCOP", "'ZEL'"), Card("INSTRUME", "'EUV'"), Card("CRPIX1", "5"),
                        Card("CRPIX2", "6"), Card("R_SUN", "7"), Card("CROTA2", "8"),
                        Card("CDELT1", "9"), Card("CDELT2", "10")}));
  const std::vector<uint16_t> Pixels = {10, 20, 30, 40};
  ASSERT_TRUE(WriteTiff16(Pixels.data(), 2, 2, true, D.File("b.tif")));
  FullLoad L = Load(D.File("a.fits"));
  ASSERT_TRUE(L.R.Valid);
  ASSERT_EQ(L.R.ValueOffset, 100);
  L = Load(D.File("b.tif"), 16, true, L);
  ASSERT_TRUE(L.R.Valid);
  ASSERT_EQ(L.Buffer, Pixels);
  const ImageRecord& R = L.R;
  EXPECT_EQ(R.ValueOffset, 0);
  EXPECT_FALSE(R.HasBZero);
  EXPECT_EQ(R.Wavelength, 0);
  EXPECT_EQ(R.DateObs, "");
  EXPECT_EQ(R.Telescope, "");
  EXPECT_EQ(R.Instrument, "");
  EXPECT_EQ(R.CrPix1, -1.0);
  EXPECT_EQ(R.CrPix2, -1.0);
  EXPECT_EQ(R.RSun, -1.0);
  EXPECT_EQ(R.CRota2, 0.0);
  EXPECT_EQ(R.CDelt1, 0.0);
  EXPECT_EQ(R.CDelt2, 0.0);
}

TEST(LoadPipeline, ConvertToBitsZeroAndEight) {
  TempDir D;
  // 0: swapped and row-reversed, but no offset; statistics only for BYTE and WORD.
  WriteBytes(D.File("a.fits"), SmallFits({-1, 2, 3, 4}, 2, 2));
  FullLoad L = Load(D.File("a.fits"), 0, false);
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.ResultType, "SMALLINT");
  EXPECT_EQ(L.R.MaxValue, 0);
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{3, 4, 0xFFFF, 2}));
  // 8: the high byte of the 16-bit form.
  WriteBytes(D.File("b.fits"), SmallFits({-32768, -32768 + 255, -32768 + 256, 32767}, 4, 1,
                                         {Card("BZERO", "32768")}));
  L = Load(D.File("b.fits"), 8, false);
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.ResultType, "BYTE");
  EXPECT_EQ(L.R.BytesPerPixel, 1);
  EXPECT_EQ(L.R.MaxValue, 255);
  EXPECT_EQ(L.Buffer.size(), 2u);
  const auto* Bytes = reinterpret_cast<const uint8_t*>(L.Buffer.data());
  EXPECT_EQ(std::vector<uint8_t>(Bytes, Bytes + 4), (std::vector<uint8_t>{0, 0, 1, 255}));
}

TEST(LoadPipeline, BufferWithoutAllocation) {
  TempDir D;
  const std::vector<uint16_t> Pixels = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(WriteTiff16(Pixels.data(), 3, 2, true, D.File("a.act")));
  FullLoad L;
  L.Buffer.assign(6, 9);
  L = Load(D.File("a.act"), 0, false, L, false);
  EXPECT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.HeaderSize, 174);
  EXPECT_EQ(L.Buffer, Pixels);
  // A buffer smaller than the image is refused instead of overrun.
  L.Buffer.assign(5, 9);
  L = Load(D.File("a.act"), 0, true, L, false);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Buffer, std::vector<uint16_t>(5, 9));
  EXPECT_EQ(L.Shown,
            std::vector<std::string>{"File a.act does not fit the buffer it is loaded into."});
}
