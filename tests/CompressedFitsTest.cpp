// FITS files in the forms archives serve them: gzip-compressed, tile-
// compressed (fpack, astropy), images behind an empty primary HDU, 64-bit
// samples; the time and channel fallbacks; refusals of hostile files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "FitsSupport.h"
#include "IOGraphics.h"
#include "TestSupport.h"
#include "ZEL_param.h"

using namespace obra;
using namespace obra::test;

namespace {

// Runs a shell command with its output dropped; true when it exited with 0.
bool Shell(const std::string& Command) {
  return std::system((Command + " >/dev/null 2>&1").c_str()) == 0;
}
bool HaveTool(const std::string& Tool) { return Shell("command -v " + Tool); }

// gzip's own form of File, written as Gz.
bool Gzip(const std::string& File, const std::string& Gz) {
  return std::system(("gzip -c " + File + " > " + Gz + " 2>/dev/null").c_str()) == 0;
}

// A gzip stream of Bytes made in code.
std::vector<uint8_t> GzipBytes(const std::vector<uint8_t>& Bytes) {
  z_stream Z{};
  deflateInit2(&Z, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> Out(deflateBound(&Z, Bytes.size()));
  Z.next_in = const_cast<uint8_t*>(Bytes.data());
  Z.avail_in = static_cast<uInt>(Bytes.size());
  Z.next_out = Out.data();
  Z.avail_out = static_cast<uInt>(Out.size());
  deflate(&Z, Z_FINISH);
  Out.resize(Z.total_out);
  deflateEnd(&Z);
  return Out;
}

// Every field of two records of the same image, apart from the file name and
// the header and data sizes, which depend on the file's form.
void ExpectSameRecord(const ImageRecord& A, const ImageRecord& B) {
  EXPECT_EQ(A.Valid, B.Valid);
  EXPECT_EQ(A.Width, B.Width);
  EXPECT_EQ(A.Height, B.Height);
  EXPECT_EQ(A.Channels, B.Channels);
  EXPECT_EQ(A.ResultType, B.ResultType);
  EXPECT_EQ(A.DataType, B.DataType);
  EXPECT_EQ(A.BytesPerPixel, B.BytesPerPixel);
  EXPECT_EQ(A.IsColorCube, B.IsColorCube);
  EXPECT_EQ(A.SwapBytes, B.SwapBytes);
  EXPECT_EQ(A.FlipRows, B.FlipRows);
  EXPECT_EQ(A.HasBZero, B.HasBZero);
  EXPECT_EQ(A.BZero, B.BZero);
  EXPECT_EQ(A.BScale, B.BScale);
  EXPECT_EQ(A.ValueOffset, B.ValueOffset);
  EXPECT_EQ(A.DataMin, B.DataMin);
  EXPECT_EQ(A.DataMax, B.DataMax);
  EXPECT_EQ(A.CrPix1, B.CrPix1);
  EXPECT_EQ(A.CrPix2, B.CrPix2);
  EXPECT_EQ(A.CRota2, B.CRota2);
  EXPECT_EQ(A.CDelt1, B.CDelt1);
  EXPECT_EQ(A.CDelt2, B.CDelt2);
  EXPECT_EQ(A.RSun, B.RSun);
  EXPECT_EQ(A.Wavelength, B.Wavelength);
  EXPECT_EQ(A.DateObs, B.DateObs);
  EXPECT_EQ(A.Telescope, B.Telescope);
  EXPECT_EQ(A.Instrument, B.Instrument);
  EXPECT_EQ(A.MinValue, B.MinValue);
  EXPECT_EQ(A.MaxValue, B.MaxValue);
  EXPECT_EQ(A.LowP1, B.LowP1);
  EXPECT_EQ(A.HighP1, B.HighP1);
}

// Loads Plain and Other as the window does and expects the same image.
void ExpectSameImage(const std::string& Plain, const std::string& Other) {
  SCOPED_TRACE(Other);
  const FullLoad A = LoadWholeFile(Plain), B = LoadWholeFile(Other);
  ASSERT_TRUE(A.R.Valid);
  EXPECT_TRUE(B.Shown.empty()) << (B.Shown.empty() ? "" : B.Shown[0]);
  ExpectSameRecord(A.R, B.R);
  EXPECT_EQ(B.R.FileName, Other);
  EXPECT_TRUE(A.Buffer == B.Buffer);
}

// A 16-bit image of a few telescopes' kinds, made in code.
std::vector<uint8_t> SampleFits(int W, int H, const std::vector<std::string>& More) {
  std::vector<int16_t> S;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) S.push_back(static_cast<int16_t>((X * 37 + Y * 101) % 4000 - 300));
  return FitsFile(ImageCards(16, W, H, More), BigEndian(S));
}

const std::vector<std::string> AiaCards = {Card("BZERO", "32768"),
                                           Card("TELESCOP", "'SDO/AIA'"),
                                           Card("INSTRUME", "'AIA_4'"),
                                           Card("WAVELNTH", "193"),
                                           Card("DATE-OBS", "'2013-06-24T17:31:30.84'"),
                                           Card("CRPIX1", "40.5"),
                                           Card("R_SUN", "30.25"),
                                           Card("CDELT1", "0.6")};

}  // namespace

TEST(CompressedFits, CompoundExtensionsAndStems) {
  EXPECT_EQ(CompoundExtension("/d/x.fits.gz"), ".FITS.GZ");
  EXPECT_EQ(CompoundExtension("x.Fts.Gz"), ".FTS.GZ");
  EXPECT_EQ(CompoundExtension("x.fit.gz"), ".FIT.GZ");
  EXPECT_EQ(CompoundExtension("x.fits.fz"), ".FITS.FZ");
  EXPECT_EQ(CompoundExtension("x.fz"), ".FZ");
  EXPECT_EQ(CompoundExtension("x.tar.gz"), ".GZ");
  EXPECT_EQ(CompoundExtension("/a.fits/x.gz"), ".GZ");
  EXPECT_EQ(CompoundExtension("x.fits"), ".FITS");
  EXPECT_EQ(CompoundExtension("x"), "");
  EXPECT_EQ(ImageStem("/d/x.fits.gz"), "x");
  EXPECT_EQ(ImageStem("/d/x.y.fits.fz"), "x.y");
  EXPECT_EQ(ImageStem("x.fz"), "x");
  EXPECT_EQ(ImageStem("x.tar.gz"), "x.tar");
  EXPECT_EQ(ImageStem("/d/x.fits"), "x");
  EXPECT_EQ(ImageStem("x"), "x");
  EXPECT_TRUE(IsFitsExtension(".FITS.GZ"));
  EXPECT_TRUE(IsFitsExtension(".FZ"));
  EXPECT_FALSE(IsFitsExtension(".GZ"));
  EXPECT_FALSE(IsFitsExtension(".TIF"));
}

TEST(CompressedFits, OtherGzipFilesKeepTheirMessage) {
  TempDir D;
  WriteBytes(D.File("x.tar.gz"), GzipBytes(SampleFits(4, 3, {})));
  const FullLoad L = LoadWholeFile(D.File("x.tar.gz"));
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"Files *.GZ are not supported."});
}

TEST(CompressedFits, GzipLoadsExactlyAsThePlainFile) {
  TempDir D;
  const std::vector<std::pair<std::string, std::vector<uint8_t>>> Files = {
      {"aia", SampleFits(80, 61, AiaCards)},
      {"zel", SampleFits(33, 20, {Card("TELESCOP", "'ZEL/AIA'"), Card("BZERO", "32768")})},
      {"float",
       FitsFile(ImageCards(-32, 3, 2), BigEndian<float>({2.5f, 3.5f, -1.f, 7e4f, 9.f, 1.f}))},
      {"byte", FitsFile(ImageCards(8, 5, 2), std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 255})},
      // Keywords out of the standard order: a header CFITSIO refuses.
      {"odd", FitsFile({Card("NAXIS", "2"), Card("SIMPLE", "T"), Card("NAXIS1", "2"),
                        Card("BITPIX", "16"), Card("NAXIS2", "2"), Card("WAVELNTH", "304")},
                       BigEndian<int16_t>({1, 2, 3, 4}))},
  };
  for (const auto& [Name, Bytes] : Files) {
    const std::string Plain = D.File(Name + ".fits");
    WriteBytes(Plain, Bytes);
    WriteBytes(D.File(Name + ".fits.gz"), GzipBytes(Bytes));
    ExpectSameImage(Plain, D.File(Name + ".fits.gz"));
    const FullLoad G = LoadWholeFile(D.File(Name + ".fits.gz"));
    const FullLoad P = LoadWholeFile(Plain);
    EXPECT_EQ(G.R.HeaderSize, P.R.HeaderSize) << Name;
    EXPECT_EQ(G.R.DataSize, P.R.DataSize) << Name;
  }
  // gzip's own files, under the three names.
  if (!HaveTool("gzip")) GTEST_SKIP() << "gzip absent";
  for (const char* Ext : {".fits.gz", ".fts.gz", ".fit.gz"}) {
    ASSERT_TRUE(Gzip(D.File("aia.fits"), D.File(std::string("g") + Ext)));
    ExpectSameImage(D.File("aia.fits"), D.File(std::string("g") + Ext));
  }
}

TEST(CompressedFits, FpackFormsLoadAsThePlainFile) {
  if (!HaveTool("fpack")) GTEST_SKIP() << "fpack absent";
  TempDir D;
  const std::string Plain = D.File("aia.fits");
  WriteBytes(Plain, SampleFits(80, 61, AiaCards));
  // PLIO takes only positive samples: an unsigned-looking image for it.
  const std::string Positive = D.File("pos.fits");
  std::vector<int16_t> P;
  for (int I = 0; I < 40 * 30; ++I) P.push_back(static_cast<int16_t>(I % 3000));
  WriteBytes(Positive, FitsFile(ImageCards(16, 40, 30, {Card("WAVELNTH", "171")}), BigEndian(P)));
  const std::pair<const char*, std::string> Forms[] = {
      {"-r", Plain}, {"-g", Plain}, {"-g2", Plain}, {"-h", Plain}, {"-p", Positive}};
  for (const auto& [Flag, Source] : Forms) {
    const std::string Out = D.File(std::string("f") + (Flag + 1) + ".fits.fz");
    ASSERT_TRUE(Shell(std::string("fpack ") + Flag + " -O " + Out + " " + Source)) << Flag;
    ExpectSameImage(Source, Out);
  }
  // The short name, and the gzip form of an fpack file.
  ASSERT_TRUE(Shell("fpack -O " + D.File("short.fz") + " " + Plain));
  ExpectSameImage(Plain, D.File("short.fz"));
  if (!HaveTool("gzip")) return;
  ASSERT_TRUE(Gzip(D.File("fr.fits.fz"), D.File("twice.fits.gz")));
  ExpectSameImage(Plain, D.File("twice.fits.gz"));
}

// Images of a million samples and more are decompressed in bands of whole
// tiles side by side; tiles of several rows, a last tile cut short and a
// memory file (the gzip form) must give the same image as the plain file.
TEST(CompressedFits, LargeImagesDecompressInBandsAsThePlainFile) {
  if (!HaveTool("fpack")) GTEST_SKIP() << "fpack absent";
  TempDir D;
  const std::string Plain = D.File("large.fits");
  WriteBytes(Plain, SampleFits(1100, 1000, AiaCards));
  const std::pair<const char*, const char*> Forms[] = {
      {"1100,1", "rows.fits.fz"}, {"1100,7", "seven.fits.fz"}, {"100,100", "square.fits.fz"}};
  for (const auto& [Tiles, Name] : Forms) {
    const std::string Out = D.File(Name);
    ASSERT_TRUE(Shell(std::string("fpack -r -t ") + Tiles + " -O " + Out + " " + Plain)) << Tiles;
    ExpectSameImage(Plain, Out);
  }
  if (HaveTool("gzip")) {
    ASSERT_TRUE(Gzip(D.File("rows.fits.fz"), D.File("large.fits.gz")));
    ExpectSameImage(Plain, D.File("large.fits.gz"));
  }
  // Cut inside the second half of the tiles: that band fails, and so does the load.
  const std::vector<uint8_t> Fz = ReadBytes(D.File("seven.fits.fz"));
  const FullLoad Cut =
      WriteAndLoad(D.File("cut.fits.fz"), std::vector<uint8_t>(Fz.begin(), Fz.end() - 40000));
  EXPECT_FALSE(Cut.R.Valid);
  EXPECT_EQ(Cut.Shown.size(), 1u);
}

// A file cut between the reading of its header and of its pixels, large
// enough for bands (which decompress a copy of the file) or read through one
// handle: the pixel read fails with a fault text and reads nothing past the
// end of the file or of the copy.
TEST(CompressedFits, FileCutAfterItsHeaderWasReadIsRefused) {
  if (!HaveTool("fpack")) GTEST_SKIP() << "fpack absent";
  TempDir D;
  for (const auto& [Width, Height] : {std::pair{1100, 1000}, std::pair{300, 260}}) {
    SCOPED_TRACE(Width);
    const std::string Plain = D.File("cut" + std::to_string(Width) + ".fits"), Fz = Plain + ".fz";
    WriteBytes(Plain, SampleFits(Width, Height, AiaCards));
    ASSERT_TRUE(Shell("fpack -r -t " + std::to_string(Width) + ",7 -O " + Fz + " " + Plain));
    ImageRecord R;
    Messages M;
    ReadFitsHeader(Fz, R, true, M.Sink());
    ASSERT_TRUE(R.Valid);
    const std::vector<uint8_t> Whole = ReadBytes(Fz);
    WriteBytes(Fz, std::vector<uint8_t>(Whole.begin(), Whole.begin() + Whole.size() / 2));
    std::vector<uint8_t> Target(static_cast<size_t>(R.DataSize));
    std::string Error;
    EXPECT_FALSE(detail::ReadFitsExtensionPixels(R, Target.data(), Error));
    EXPECT_FALSE(Error.empty());
  }
}

TEST(CompressedFits, AstropyFormsMatchTheOracle) {
  if (AstropyPython().empty()) GTEST_SKIP() << "astropy absent";
  TempDir D;
  for (const char* Kind :
       {"comp-rice", "comp-gzip2", "ext-image", "ext-cube1", "float64", "int64", "comp-float64"}) {
    SCOPED_TRACE(Kind);
    const std::string File = D.File(std::string(Kind) + ".fits");
    ASSERT_TRUE(RunOracle(std::string("write ") + Kind + " " + File));
    ASSERT_TRUE(RunOracle("read " + File + " " + D.File("o.raw")));
    const FullLoad L = LoadWholeFile(File);
    ASSERT_TRUE(L.R.Valid) << (L.Shown.empty() ? "" : L.Shown[0]);
    EXPECT_EQ(L.R.ResultType, "WORD");
    EXPECT_EQ(L.R.Wavelength, 211);
    EXPECT_EQ(L.R.DateObs, "2011-03-07T18:05:09.34");
    EXPECT_EQ(L.R.Telescope, "SDO");
    EXPECT_EQ(L.R.CrPix1, 3.5);
    EXPECT_TRUE(L.Buffer == Samples16(ReadBytes(D.File("o.raw"))));
    // The same file gzipped gives the same image.
    WriteBytes(File + ".gz", GzipBytes(ReadBytes(File)));
    ExpectSameImage(File, File + ".gz");
  }
}

TEST(CompressedFits, SixtyFourBitSamplesAreRoundedAndClipped) {
  TempDir D;
  const double Nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> Doubles = {2.5, 3.5, -1.0, 70000.0, Nan, 65534.6, 0.4, 1e300};
  FullLoad L = WriteAndLoad(D.File("d.fits"), FitsFile(ImageCards(-64, 4, 2), BigEndian(Doubles)));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "DOUBLE");
  EXPECT_EQ(L.R.ResultType, "WORD");
  EXPECT_EQ(L.R.BytesPerPixel, 2);
  // Rows reversed: the second row of the file comes first.
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{0, 65535, 0, 65535, 2, 4, 0, 65535}));
  const std::vector<int64_t> Comps = {-5, 0, 40000, int64_t{1} << 40, -40000, 7};
  L = WriteAndLoad(D.File("c.fits"),
                   FitsFile(ImageCards(64, 3, 2, {Card("BZERO", "32768")}), BigEndian(Comps)));
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.DataType, "COMP");
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{65535, 0, 32775, 32763, 32768, 65535}));
}

TEST(CompressedFits, EmptyPrimaryWithImageExtension) {
  TempDir D;
  // Cards of an empty primary HDU, then an IMAGE extension, built by hand.
  std::vector<std::string> Primary = {
      Card("SIMPLE", "T"), Card("BITPIX", "8"),           Card("NAXIS", "0"),
      Card("EXTEND", "T"), Card("TELESCOP", "'SDO/AIA'"), Card("WAVELNTH", "94")};
  std::vector<uint8_t> File = FitsFile(Primary, {});
  std::vector<std::string> Ext = {Card("XTENSION", "'IMAGE   '"),
                                  Card("BITPIX", "16"),
                                  Card("NAXIS", "2"),
                                  Card("NAXIS1", "3"),
                                  Card("NAXIS2", "2"),
                                  Card("PCOUNT", "0"),
                                  Card("GCOUNT", "1"),
                                  Card("BZERO", "32768"),
                                  Card("WAVELNTH", "131")};
  const std::vector<uint8_t> Image = FitsFile(Ext, BigEndian<int16_t>({-32768, 0, 5, 6, 7, 8}));
  File.insert(File.end(), Image.begin(), Image.end());
  const FullLoad L = WriteAndLoad(D.File("e.fits"), File);
  ASSERT_TRUE(L.R.Valid);
  EXPECT_EQ(L.R.Telescope, "SDO");
  EXPECT_EQ(L.R.Wavelength, 131);  // the image's header wins
  EXPECT_EQ(L.R.Width, 3);
  EXPECT_EQ(L.R.DataType, "SMALLINT");
  EXPECT_EQ(L.Buffer, (std::vector<uint16_t>{32774, 32775, 32776, 0, 32768, 32773}));
  // No image anywhere: the plain reader's message.
  const FullLoad E = WriteAndLoad(D.File("none.fits"), FitsFile(Primary, {}));
  EXPECT_FALSE(E.R.Valid);
  EXPECT_EQ(E.Shown, std::vector<std::string>{"FITS file none.fits is not a correct image file!"});
}

TEST(CompressedFits, TimeAndChannelFallbacks) {
  EXPECT_EQ(NormaliseObsDate("11-DEC-96"), "1996-12-11");
  EXPECT_EQ(NormaliseObsDate("1-jan-2003"), "2003-01-01");
  EXPECT_EQ(NormaliseObsDate("05-Mar-12"), "2012-03-05");
  EXPECT_EQ(NormaliseObsDate("1996/12/11"), "1996-12-11");
  EXPECT_EQ(NormaliseObsDate("1996-12-11"), "1996-12-11");
  EXPECT_EQ(NormaliseObsDate("11-XYZ-96"), "11-XYZ-96");
  EXPECT_EQ(FallbackObsTime("11-DEC-96", "", "19:00:14"), "1996-12-11T19:00:14");
  EXPECT_EQ(FallbackObsTime("", "1998-05-19T22:21:43.000", "x"), "1998-05-19T22:21:43.000");
  EXPECT_EQ(FallbackObsTime("", "", "19:00:14"), "");

  TempDir D;
  auto Read = [&](const std::vector<std::string>& More) {
    WriteBytes(D.File("t.fits"), FitsFile(ImageCards(16, 2, 1, More), std::vector<uint8_t>(4)));
    ImageRecord R;
    ReadImageHeader(D.File("t.fits"), R, true, {});
    return R;
  };
  ImageRecord R = Read({Card("DATE-OBS", "'11-DEC-96'"), Card("TIME-OBS", "'19:00:14'")});
  EXPECT_EQ(R.DateObs, "1996-12-11T19:00:14");
  EXPECT_EQ(FormatObsTime(R.DateObs), "11. 12. 1996    19:00:14");
  R = Read({Card("DATE-OBS", "'1996/12/11'"), Card("TIME_OBS", "'01:02:03'")});
  EXPECT_EQ(R.DateObs, "1996-12-11T01:02:03");
  R = Read({Card("DATE_OBS", "'2006-12-01T10:00:00.5'"), Card("WAVE_LEN", "'171     '")});
  EXPECT_EQ(R.DateObs, "2006-12-01T10:00:00.5");
  EXPECT_EQ(R.Wavelength, 171);
  // The standard keywords win.
  R = Read({Card("DATE-OBS", "'2010-01-01T00:00:01'"), Card("DATE_OBS", "'1999-01-01T00:00:00'"),
            Card("WAVELNTH", "304"), Card("WAVE_LEN", "'171'")});
  EXPECT_EQ(R.DateObs, "2010-01-01T00:00:01");
  EXPECT_EQ(R.Wavelength, 304);
}

TEST(CompressedFits, SharedSolarImagesInEveryForm) {
  const std::string Trace = SharedData("trace_171_1998-05-19T22-21-43.fits");
  const std::string Aia = SharedData("aia_193_2013-06-24T17-31-30_1024.fits");
  if (Trace.empty() || Aia.empty()) GTEST_SKIP() << "shared solar images absent";
  const FullLoad T = LoadWholeFile(Trace);
  EXPECT_EQ(T.R.Wavelength, 171);
  EXPECT_EQ(T.R.DateObs, "1998-05-19T22:21:43.000");
  EXPECT_EQ(FormatObsTime(T.R.DateObs), "19. 05. 1998    22:21:43");
  TempDir D;
  for (const auto& [Source, Name] : {std::pair{Trace, "trace"}, std::pair{Aia, "aia"}}) {
    const std::string Base = D.File(Name);
    WriteBytes(Base + ".fits.gz", GzipBytes(ReadBytes(Source)));
    ExpectSameImage(Source, Base + ".fits.gz");
    // fpack, like CFITSIO, refuses the TRACE header (keywords out of order).
    if (!HaveTool("fpack") || Source == Trace) continue;
    ASSERT_TRUE(Shell("fpack -O " + Base + ".fits.fz " + Source));
    ExpectSameImage(Source, Base + ".fits.fz");
  }
}

// The inflated buffer grows with the stream, not with the header: a file of
// a few hundred bytes that declares an image of 1.8 GB holds only its own bytes
// and is refused for its size.
TEST(CompressedFits, ShortStreamHoldsOnlyWhatItInflates) {
  TempDir D;
  std::vector<uint8_t> Short = FitsFile(ImageCards(16, 30000, 30000), {});
  Short.resize(Short.size() + 100000);
  const std::string File = D.File("short.fits.gz");
  WriteBytes(File, GzipBytes(Short));
  detail::GzipStream Z(File);
  ASSERT_TRUE(Z.IsOpen());
  EXPECT_FALSE(Z.Fill(size_t{1800000000} + 2880));
  EXPECT_EQ(Z.Bytes().size(), Short.size());
  EXPECT_LT(Z.Bytes().capacity(), size_t{64} << 20);
  const FullLoad L = LoadWholeFile(File);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"FITS file short.fits.gz has incorrect file size!"});
}

TEST(CompressedFits, HostileCompressedFilesAreRefused) {
  TempDir D;
  // A gzip bomb: a 40000 x 40000 header and megabytes of zeros in a few kilobytes.
  std::vector<uint8_t> Bomb = FitsFile(ImageCards(16, 40000, 40000), {});
  Bomb.resize(Bomb.size() + (8 << 20));
  const std::vector<uint8_t> Small = GzipBytes(Bomb);
  EXPECT_LT(Small.size(), 20000u);
  FullLoad L = WriteAndLoad(D.File("bomb.fits.gz"), Small);
  EXPECT_FALSE(L.R.Valid);
  EXPECT_EQ(L.Shown, std::vector<std::string>{"FITS file bomb.fits.gz is too large."});

  // Every cut of a gzip file is refused, also a cut in its trailer.
  const std::vector<uint8_t> Gz = GzipBytes(SampleFits(40, 30, AiaCards));
  for (size_t Size = 0; Size<Gz.size(); Size += Size + 16> Gz.size() ? 1 : 7) {
    L = WriteAndLoad(D.File("cut.fits.gz"), std::vector<uint8_t>(Gz.begin(), Gz.begin() + Size));
    EXPECT_FALSE(L.R.Valid) << Size;
    EXPECT_EQ(L.Shown.size(), 1u) << Size;
  }
  // A changed byte in the compressed data breaks the stream or its check sum.
  for (size_t At = 20; At + 9 < Gz.size(); At += 13) {
    std::vector<uint8_t> Bad = Gz;
    Bad[At] ^= 0x55;
    L = WriteAndLoad(D.File("bad.fits.gz"), Bad);
    EXPECT_FALSE(L.R.Valid) << At;
  }
  if (!HaveTool("fpack")) GTEST_SKIP() << "fpack absent";
  WriteBytes(D.File("src.fits"), SampleFits(40, 30, AiaCards));
  ASSERT_TRUE(Shell("fpack -O " + D.File("src.fits.fz") + " " + D.File("src.fits")));
  const std::vector<uint8_t> Fz = ReadBytes(D.File("src.fits.fz"));
  // Cuts before the last block: the padding there holds no data.
  for (size_t Size = 0; Size + 2880 < Fz.size(); Size += 97) {
    L = WriteAndLoad(D.File("cut.fits.fz"), std::vector<uint8_t>(Fz.begin(), Fz.begin() + Size));
    EXPECT_FALSE(L.R.Valid) << Size;
    EXPECT_GE(L.Shown.size(), 1u) << Size;
  }
}

TEST(CompressedFits, CommandLineTakesEveryForm) {
  if (!HaveTool("fpack")) GTEST_SKIP() << "fpack absent";
  TempDir D;
  const std::string Plain = D.File("src.fits");
  WriteBytes(Plain, SampleFits(300, 260, AiaCards));
  const std::string Fz = D.File("x.fits.fz"), Gz = D.File("y.fits.gz");
  ASSERT_TRUE(Shell("fpack -O " + Fz + " " + Plain));
  WriteBytes(Gz, GzipBytes(ReadBytes(Plain)));

  CliRun Info = RunCli("info " + Fz, D);
  EXPECT_EQ(Info.Status, 0) << Info.Err;
  EXPECT_NE(Info.Out.find(R"("Wavelength": 193)"), std::string::npos);
  const CliRun PlainInfo = RunCli("info " + Plain, D);
  const auto Fingerprint = [](const std::string& Out) {
    return Out.substr(Out.rfind("\"Samples"));
  };
  ASSERT_NE(PlainInfo.Out.rfind("\"Samples"), std::string::npos) << PlainInfo.Out;
  EXPECT_EQ(Fingerprint(Info.Out), Fingerprint(PlainInfo.Out));

  // The activation file of x.fits.fz is x.act, and a second run reuses it.
  CliRun R = RunCli("process " + Fz + " -o " + D.File("a.png") + " --activate --scale 2", D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_TRUE(std::filesystem::exists(D.File("Activation_Data/x.act")));
  R = RunCli("process " + Fz + " -o " + D.File("b.png") + " --activate --scale 2", D);
  ASSERT_EQ(R.Status, 0) << R.Err;
  EXPECT_EQ(R.Err.find("Processing"), std::string::npos);
  EXPECT_EQ(ReadBytes(D.File("a.png")), ReadBytes(D.File("b.png")));

  R = RunCli("equalize " + Gz + " -o " + D.File("y.act"), D);
  EXPECT_EQ(R.Status, 0) << R.Err;
  R = RunCli("equalize " + Plain + " -o " + D.File("p.act"), D);
  EXPECT_EQ(ReadBytes(D.File("y.act")), ReadBytes(D.File("p.act")));
}
