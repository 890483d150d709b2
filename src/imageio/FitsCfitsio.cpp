// FITS images that the own reader does not read: tile-compressed images (Rice,
// GZIP_1, GZIP_2, HCOMPRESS, PLIO) and images in extensions behind an empty
// primary HDU, read through CFITSIO from the file on disk or from memory.
#include <fitsio.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "FitsSupport.h"
#include "ReaderSupport.h"

namespace obra::detail {

namespace {

// CFITSIO's text for a status, followed by the first message of its error
// stack; the stack is cleared.
std::string CfitsioText(int Status) {
  char Text[FLEN_STATUS] = {};
  fits_get_errstatus(Status, Text);
  std::string Out = Text;
  char Message[FLEN_ERRMSG] = {};
  if (fits_read_errmsg(Message) && Message[0] != '\0') (Out += ": ") += Message;
  fits_clear_errmsg();
  return Out;
}

// An open CFITSIO file, closed with the object. CFITSIO keeps the addresses of
// the memory pointer and size, so they live here beside the handle.
class OpenFits {
 public:
  OpenFits(const std::string& FileName, const std::vector<uint8_t>* File) {
    if (File) {
      Memory_ = const_cast<uint8_t*>(File->data());
      Size_ = File->size();
      fits_open_memfile(&F_, "inflated.fits", READONLY, &Memory_, &Size_, 0, nullptr, &Status);
    } else {
      fits_open_diskfile(&F_, FileName.c_str(), READONLY, &Status);
    }
    if (Status != 0) F_ = nullptr;
  }
  ~OpenFits() {
    int Closing = 0;
    if (F_) fits_close_file(F_, &Closing);
    fits_clear_errmsg();
  }
  OpenFits(const OpenFits&) = delete;
  OpenFits& operator=(const OpenFits&) = delete;
  fitsfile* operator*() const { return F_; }
  // The size of the file CFITSIO has open (disk or memory) when it opened it.
  int64_t Bytes() const { return F_ ? static_cast<int64_t>(F_->Fptr->filesize) : 0; }
  int Status = 0;

 private:
  fitsfile* F_ = nullptr;
  void* Memory_ = nullptr;
  size_t Size_ = 0;
};

// The geometry of one image HDU as CFITSIO presents it (decompressed).
struct ImageShape {
  int Bitpix = 0;
  int Naxis = 0;
  LONGLONG Axes[3] = {0, 0, 0};
  bool Usable() const { return Naxis == 2 || (Naxis == 3 && (Axes[2] == 1 || Axes[2] == 3)); }
};

// Moves to the first HDU holding a usable image; returns its number, or 0
// when no HDU does (Status then tells whether the file was readable).
int FindImageHdu(OpenFits& F, ImageShape& Shape) {
  for (int Hdu = 1;; ++Hdu) {
    int Type = 0;
    if (fits_movabs_hdu(*F, Hdu, &Type, &F.Status) != 0) {
      if (F.Status == END_OF_FILE) {
        F.Status = 0;
        fits_clear_errmsg();
      }
      return 0;
    }
    if (Type != IMAGE_HDU) continue;
    Shape = ImageShape();
    if (fits_get_img_paramll(*F, 3, &Shape.Bitpix, &Shape.Naxis, Shape.Axes, &F.Status) != 0)
      return 0;
    if (Shape.Usable()) return Hdu;
  }
}

// Offers every card of the current HDU to the keyword table; a compressed
// image's cards as the image they describe. With Store, they become the
// record's stored cards (the image HDU's header is the one a user reads).
bool ParseHduCards(OpenFits& F, FitsAxes& A, ImageRecord& R, bool Store) {
  char* Text = nullptr;
  int Keys = 0;
  if (fits_convert_hdr2str(*F, 0, nullptr, 0, &Text, &Keys, &F.Status) != 0) return false;
  const size_t Length = std::strlen(Text);
  if (Store) R.HeaderCards.clear();
  for (size_t I = 0; I + FitsCardBytes <= Length; I += FitsCardBytes) {
    const std::string_view Card(Text + I, FitsCardBytes);
    if (Store) StoreFitsCard(Card, R, Store);
    ParseFitsCard(Card, A, R);
  }
  fits_free_memory(Text, &F.Status);
  return F.Status == 0;
}

int CfitsioTypeOf(int Bitpix) {
  switch (Bitpix) {
    case 8:
      return TBYTE;
    case 16:
      return TSHORT;
    case 32:
      return TINT;
    case 64:
      return TLONGLONG;
    case -32:
      return TFLOAT;
    default:
      return TDOUBLE;
  }
}

// Native samples of Size bytes each become big-endian, as a file stores them.
void ToBigEndian(uint8_t* Bytes, size_t Count, size_t Size) {
  if constexpr (std::endian::native == std::endian::big) return;
  // Whole words through a copy, so the loops vectorise and no sample is read
  // through a misaligned pointer.
  auto Swap = [&]<typename Word>(Word (*Reverse)(Word)) {
    for (size_t I = 0; I < Count; ++I) {
      Word W;
      std::memcpy(&W, Bytes + I * sizeof(Word), sizeof(Word));
      W = Reverse(W);
      std::memcpy(Bytes + I * sizeof(Word), &W, sizeof(Word));
    }
  };
  if (Size == 2) Swap(+[](uint16_t W) -> uint16_t { return __builtin_bswap16(W); });
  if (Size == 4) Swap(+[](uint32_t W) -> uint32_t { return __builtin_bswap32(W); });
  if (Size == 8) Swap(+[](uint64_t W) -> uint64_t { return __builtin_bswap64(W); });
}

// Rows First..Last (0-based, inclusive) of a single-plane image into Target,
// through a handle of its own. Integer samples come as stored: BZERO is added
// by the conversion, as for a plain file.
int ReadRows(const std::string& FileName, const std::vector<uint8_t>* File, int Hdu, int Bitpix,
             LONGLONG Width, LONGLONG First, LONGLONG Last, uint8_t* Target) {
  OpenFits F(FileName, File);
  int Type = 0;
  if (*F) fits_movabs_hdu(*F, Hdu, &Type, &F.Status);
  if (F.Status == 0 && Bitpix > 0) fits_set_bscale(*F, 1.0, 0.0, &F.Status);
  long FirstPixel[3] = {1, static_cast<long>(First + 1), 1};
  long LastPixel[3] = {static_cast<long>(Width), static_cast<long>(Last + 1), 1};
  long Step[3] = {1, 1, 1};
  int AnyNull = 0;
  if (F.Status == 0)
    fits_read_subset(*F, CfitsioTypeOf(Bitpix), FirstPixel, LastPixel, Step, nullptr, Target,
                     &AnyNull, &F.Status);
  return F.Status;
}

// The rows of a tile-compressed image per tile, or 0 when the HDU is not one.
long CompressedTileRows(OpenFits& F) {
  int Status = 0;
  if (!fits_is_compressed_image(*F, &Status) || Status != 0) return 0;
  long Rows = 1;
  if (fits_read_key(*F, TLONG, "ZTILE2", &Rows, nullptr, &Status) != 0 || Rows < 1) Rows = 1;
  fits_clear_errmsg();
  return Rows;
}

// CFITSIO reads an HDU a whole record at a time as far as its header says,
// and reads a memory file without checking its end: an HDU ending more than a
// record past the end of the file is cut (a last record without its padding
// is allowed).
bool EndsPastFile(LONGLONG DataEnd, int64_t FileBytes) {
  return DataEnd - FitsBlockBytes >= FileBytes;
}

// A whole file as a memory file CFITSIO may read in whole records: padded
// with zeros to a record boundary, plus one zero record. Returns the size of
// the file, or -1 when it cannot be read.
int64_t ReadAsMemoryFile(const std::string& FileName, std::vector<uint8_t>& Bytes) {
  BinaryFile In(FileName);
  if (!In.IsOpen()) return -1;
  const size_t Size = static_cast<size_t>(In.Size());
  const size_t Block = static_cast<size_t>(FitsBlockBytes);
  try {
    Bytes.assign((Size + Block - 1) / Block * Block + Block, 0);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return In.ReadAt(0, Bytes.data(), Size) ? static_cast<int64_t>(Size) : -1;
}

// Whether a memory copy of a file, FileBytes long before its padding, holds
// the whole of HDU Hdu as its own headers give it.
bool HoldsHdu(const std::vector<uint8_t>& Memory, int64_t FileBytes, int Hdu) {
  OpenFits M({}, &Memory);
  int Type = 0;
  LONGLONG HeadStart = 0, DataStart = 0, DataEnd = 0;
  if (*M && fits_movabs_hdu(*M, Hdu, &Type, &M.Status) == 0)
    fits_get_hduaddrll(*M, &HeadStart, &DataStart, &DataEnd, &M.Status);
  return *M && M.Status == 0 && !EndsPastFile(DataEnd, FileBytes);
}

// Decompressing is the dear part of loading a tile-compressed image, and its
// tiles are independent: bands of whole tiles are decompressed side by side,
// each through its own memory-file handle (CFITSIO shares one handle's
// buffers between all opens of the same disk file, never of memory files).
// Returns false when the image is not worth splitting; Status then is untouched.
// A copy of the file that no longer holds the image sets END_OF_FILE.
bool ReadCompressedBands(const ImageRecord& R, OpenFits& F, int Bitpix, uint8_t* Target,
                         int& Status) {
  constexpr int64_t SplitFrom = int64_t{1} << 20;  // samples; below this a thread costs more
  const long TileRows = CompressedTileRows(F);
  const int64_t Samples = int64_t{R.Width} * R.Height;
  const unsigned Cores = std::max(1u, std::thread::hardware_concurrency());
  const int64_t Tiles = TileRows > 0 ? (R.Height + TileRows - 1) / TileRows : 0;
  const int Bands = static_cast<int>(std::min<int64_t>({Cores, 8, Tiles}));
  if (R.Channels != 1 || Samples < SplitFrom || Bands < 2) return false;
  std::vector<uint8_t> Disk;
  const std::vector<uint8_t>* Memory = R.InflatedFile.get();
  if (!Memory) {
    const int64_t FileBytes = ReadAsMemoryFile(R.FileName, Disk);
    if (FileBytes < 0) return false;
    // The file may have been cut or replaced since its header was read.
    if (!HoldsHdu(Disk, FileBytes, R.ImageHdu)) {
      Status = END_OF_FILE;
      return true;
    }
    Memory = &Disk;
  }
  const size_t RowBytes = static_cast<size_t>(R.Width) * static_cast<size_t>(std::abs(Bitpix) / 8);
  std::vector<int> Statuses(static_cast<size_t>(Bands), 0);
  std::vector<std::thread> Workers;
  for (int B = 0; B < Bands; ++B) {
    const int64_t First = Tiles * B / Bands * TileRows;
    const int64_t Last = std::min<int64_t>(Tiles * (B + 1) / Bands * TileRows, R.Height) - 1;
    Workers.emplace_back([&, B, First, Last] {
      Statuses[static_cast<size_t>(B)] =
          ReadRows(R.FileName, Memory, R.ImageHdu, Bitpix, R.Width, First, Last,
                   Target + static_cast<size_t>(First) * RowBytes);
    });
  }
  for (std::thread& W : Workers) W.join();
  for (int S : Statuses)
    if (S != 0) {
      Status = S;
      break;
    }
  return true;
}

}  // namespace

void ReadFitsExtensionHeader(const std::string& FileName,
                             std::shared_ptr<const std::vector<uint8_t>> File, ImageRecord& R,
                             bool ShowMessages, const MessageSink& Sink) {
  const std::string Name = BaseName(FileName);
  auto Fault = [&](const std::string& Text) {
    Refuse(R, "FITS file " + Name + Text, ShowMessages, Sink);
  };
  OpenFits F(FileName, File.get());
  ImageShape Shape;
  const int Hdu = *F ? FindImageHdu(F, Shape) : 0;
  if (F.Status != 0) return Fault(" is not a correct image file! " + CfitsioText(F.Status));
  if (Hdu == 0) return Fault(" is not a correct image file!");

  // The primary header first, then the image's: the later card wins.
  SetFitsDefaults(R);
  FitsAxes Axes;
  int Type = 0;
  LONGLONG HeadStart = 0, DataStart = 0, DataEnd = 0;
  if (fits_movabs_hdu(*F, 1, &Type, &F.Status) == 0 && ParseHduCards(F, Axes, R, false) &&
      fits_movabs_hdu(*F, Hdu, &Type, &F.Status) == 0 && ParseHduCards(F, Axes, R, true))
    fits_get_hduaddrll(*F, &HeadStart, &DataStart, &DataEnd, &F.Status);
  if (F.Status != 0) return Fault(" is not a correct image file! " + CfitsioText(F.Status));
  if (EndsPastFile(DataEnd, F.Bytes())) return Fault(" is truncated.");

  // The geometry as CFITSIO decodes it; a cube of one plane is a plain image.
  Axes.Naxis = Shape.Naxis == 3 && Shape.Axes[2] == 1 ? 2 : Shape.Naxis;
  Axes.Naxis3 = Shape.Naxis == 3 ? static_cast<int32_t>(Shape.Axes[2]) : 0;
  Axes.Bitpix = Shape.Bitpix;
  const bool Fits32 = Shape.Axes[0] <= INT32_MAX && Shape.Axes[1] <= INT32_MAX;
  R.Width = Fits32 ? static_cast<int32_t>(Shape.Axes[0]) : -1;
  R.Height = Fits32 ? static_cast<int32_t>(Shape.Axes[1]) : -1;
  CompleteFitsKeywords(FileName, Axes, R);
  if (!Fits32) {
    R.DataSize = R.HeaderSize = 0;
    return Fault(" is too large.");
  }
  const int64_t Cards = std::max<LONGLONG>(DataStart - HeadStart, 0) / FitsCardBytes;
  if (!SizeFitsImage(Axes, Cards, R, Fault)) return;
  R.ImageHdu = Hdu;
  R.InflatedFile = std::move(File);
}

bool ReadFitsExtensionPixels(const ImageRecord& R, uint8_t* Target, std::string& Error) {
  OpenFits F(R.FileName, R.InflatedFile.get());
  ImageShape Shape;
  int Type = 0;
  if (*F && fits_movabs_hdu(*F, R.ImageHdu, &Type, &F.Status) == 0)
    fits_get_img_paramll(*F, 3, &Shape.Bitpix, &Shape.Naxis, Shape.Axes, &F.Status);
  const int64_t Samples = int64_t{R.Width} * R.Height * R.Channels;
  const int Bytes = std::abs(Shape.Bitpix) / 8;
  // The file may have changed since its header was read.
  const bool Same = F.Status == 0 && Shape.Axes[0] == R.Width && Shape.Axes[1] == R.Height &&
                    Bytes == R.BytesPerPixel && Samples * Bytes == R.DataSize;
  if (F.Status == 0 && !Same) {
    Error = "the file has changed";
    return false;
  }
  int AnyNull = 0;
  const bool Banded = F.Status == 0 && ReadCompressedBands(R, F, Shape.Bitpix, Target, F.Status);
  // Integer samples as stored: BZERO is added by the conversion, as for a plain file.
  if (!Banded && F.Status == 0 && Shape.Bitpix > 0) fits_set_bscale(*F, 1.0, 0.0, &F.Status);
  if (!Banded && F.Status == 0)
    fits_read_img(*F, CfitsioTypeOf(Shape.Bitpix), 1, Samples, nullptr, Target, &AnyNull,
                  &F.Status);
  if (F.Status != 0) {
    Error = CfitsioText(F.Status);
    return false;
  }
  ToBigEndian(Target, static_cast<size_t>(Samples), static_cast<size_t>(Bytes));
  return true;
}

}  // namespace obra::detail
