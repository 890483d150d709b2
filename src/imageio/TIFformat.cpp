// Uncompressed TIFF input (first IFD only) and the 16-bit TIFF writer whose
// files are the activation data cache.
#include "TIFformat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "AtomicWrite.h"
#include "ReaderSupport.h"

namespace obra {

namespace {

// ---- Reader ----------------------------------------------------------------

// The walk of the IFD chain stops after this many IFDs or at an offset seen
// before, so a cyclic chain cannot hold the reader.
constexpr size_t MaxIfds = 255;

enum Slot {
  ImageWidth,
  ImageLength,
  BitsPerSample,
  Compression,
  Photometric,
  StripOffsets,
  SamplesPerPixel,
  RowsPerStrip,
  StripByteCounts,
  XResolution,
  YResolution,
  PlanarConfiguration,
  ResolutionUnit,
  ColorMap,
  SlotCount
};
constexpr std::array<uint16_t, SlotCount> SlotTags = {256, 257, 258, 259, 262, 273, 277,
                                                      278, 279, 282, 283, 284, 296, 320};

struct TagEntry {
  uint16_t Tag = 0;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint32_t Value = 0;
  std::array<uint8_t, 4> Field{};  // the value field as stored
};
using Ifd = std::array<TagEntry, SlotCount>;

constexpr uint16_t TypeShort = 3;

TagEntry DecodeEntry(const uint8_t* P, bool Swap) {
  TagEntry E;
  E.Tag = detail::Get16(P, Swap);
  E.Type = detail::Get16(P + 2, Swap);
  E.Count = detail::Get32(P + 4, Swap);
  std::memcpy(E.Field.data(), P + 8, 4);
  // In big-endian files a single SHORT sits in the first two bytes of the
  // field; little-endian files read the same whatever the type.
  E.Value = Swap && E.Type == TypeShort && E.Count == 1 ? detail::Get16(P + 8, true)
                                                        : detail::Get32(P + 8, Swap);
  return E;
}

// Reads the IFD at Offset into D; false when it runs past the end of the file.
bool ReadIfd(detail::BinaryFile& File, int64_t Offset, bool Swap, Ifd& D, uint32_t& Next) {
  uint8_t Two[2], Four[4];
  if (!File.ReadAt(Offset, Two, 2)) return false;
  const size_t Entries = detail::Get16(Two, Swap);
  std::vector<uint8_t> Block(Entries * 12);
  if (!File.ReadAt(Offset + 2, Block.data(), Block.size())) return false;
  for (size_t I = 0; I < Entries; ++I) {
    const TagEntry E = DecodeEntry(Block.data() + 12 * I, Swap);
    for (size_t S = 0; S < SlotCount; ++S)
      if (SlotTags[S] == E.Tag) D[S] = E;
  }
  if (!File.ReadAt(Offset + 2 + static_cast<int64_t>(Block.size()), Four, 4)) return false;
  Next = detail::Get32(Four, Swap);
  return true;
}

// The first entry of an array-valued tag: inline when the array fits the
// value field (up to two SHORTs), otherwise at the offset the field holds.
bool FirstArrayEntry(detail::BinaryFile& File, const TagEntry& E, bool Swap, uint32_t& Out) {
  if (E.Type == TypeShort) {
    if (E.Count <= 2) {
      Out = detail::Get16(E.Field.data(), Swap);
      return true;
    }
    uint8_t Two[2];
    if (!File.ReadAt(E.Value, Two, 2)) return false;
    Out = detail::Get16(Two, Swap);
    return true;
  }
  uint8_t Four[4];
  if (!File.ReadAt(E.Value, Four, 4)) return false;
  Out = detail::Get32(Four, Swap);
  return true;
}

// Reads the byte-order mark; Swap tells a big-endian file. The offset of
// the first IFD follows in Head. The fault text, or "" for a TIFF file.
std::string ReadTiffMark(detail::BinaryFile& File, const std::string& FileName,
                         const std::string& Name, uint8_t (&Head)[8], bool& Swap) {
  static constexpr uint8_t Intel[4] = {0x49, 0x49, 0x2A, 0x00};
  static constexpr uint8_t Motorola[4] = {0x4D, 0x4D, 0x00, 0x2A};
  const bool HasMark = File.Read(Head, 4);
  Swap = HasMark && std::memcmp(Head, Motorola, 4) == 0;
  // A file that is no TIFF at all must not stay Valid from an earlier image.
  if (!HasMark || (!Swap && std::memcmp(Head, Intel, 4) != 0))
    return FileName + " is not correct TIFF file.";
  if (!File.Read(Head + 4, 4)) return "File: " + Name + "  is truncated.";
  return {};
}

// Walks the IFD chain from Offset and keeps the first IFD in First (all
// entries empty when the chain is empty). The fault text, or "".
std::string ReadFirstIfd(detail::BinaryFile& File, uint32_t Offset, bool Swap,
                         const std::string& Name, Ifd& First) {
  std::vector<Ifd> Ifds;
  std::vector<uint32_t> Seen;
  while (Offset != 0 && Ifds.size() < MaxIfds) {
    if (std::find(Seen.begin(), Seen.end(), Offset) != Seen.end()) break;
    Seen.push_back(Offset);
    Ifd D{};
    uint32_t Next = 0;
    if (!ReadIfd(File, Offset, Swap, D, Next)) {
      // Only the first image is used; a damaged later IFD just ends the walk.
      if (Ifds.empty()) return "File: " + Name + "  is truncated.";
      break;
    }
    Ifds.push_back(D);
    Offset = Next;
  }
  First = Ifds.empty() ? Ifd{} : Ifds.front();
  return {};
}

// Channels from the photometric interpretation. The fault text, or "".
std::string SetTiffChannels(const Ifd& First, ImageRecord& R, const std::string& Name) {
  switch (First[Photometric].Value) {
    case 0:
    case 1:
    case 3:
      R.Channels = 1;
      break;
    case 2:
      R.Channels = static_cast<int32_t>(First[SamplesPerPixel].Value);
      break;
    default:
      return "File: " + Name + "  has unsupported data type.";
  }
  // SamplesPerPixel is a SHORT field; a larger value comes from a damaged
  // file and would overflow the bytes per pixel below.
  if (R.Channels < 1 || R.Channels > 0xFFFF)
    return "File: " + Name + "  has unsupported data type.";
  return {};
}

// Bits of one sample (one value for all three colour samples) and the offset
// of the first strip. The fault text, or "".
std::string ReadTiffSampleLayout(detail::BinaryFile& File, const Ifd& First, bool Swap,
                                 const std::string& Name, uint32_t& Bits, uint32_t& Strip) {
  Bits = First[BitsPerSample].Value;
  if (First[BitsPerSample].Count == 3) {
    uint8_t Three[6];
    if (!File.ReadAt(Bits, Three, 6)) return "File: " + Name + "  is truncated.";
    const uint16_t A = detail::Get16(Three, Swap), B = detail::Get16(Three + 2, Swap),
                   C = detail::Get16(Three + 4, Swap);
    if (A == B && B == C) Bits = A;
  }
  if (First[StripOffsets].Count > 1 && !FirstArrayEntry(File, First[StripOffsets], Swap, Strip))
    return "File: " + Name + "  is truncated.";
  return {};
}

// Sample type and bytes per pixel for 8 or 16 bits. The fault text, or "".
std::string SetTiffSampleType(uint32_t Bits, ImageRecord& R, const std::string& Name) {
  if (Bits == 8) {
    R.SetDataSample(SampleType::Byte);
    R.BytesPerPixel = R.Channels;
  } else if (Bits == 16) {
    R.SetDataSample(SampleType::Word);
    R.BytesPerPixel = 2 * R.Channels;
  } else {
    return "File: " + Name + "  has unsupported data format (" + std::to_string(Bits) + " bit).";
  }
  return {};
}

// The fields every TIFF image has alike; no pixels placed yet.
void SetTiffDefaults(ImageRecord& R, bool Swap) {
  R.ResultType = R.DataType;
  R.IsColorCube = false;
  R.FlipRows = false;
  R.SwapBytes = Swap;
  R.BZero = 0.0;
  R.BScale = 1.0;
  R.DataMin = 1.0;
  R.DataMax = -1.0;
  R.DecodedBitmap.reset();
  R.HeaderSize = 0;
  R.DataSize = 0;
}

// Places the pixels at the first strip once they fit the file and the
// record's 32-bit fields. The fault text, or "".
std::string PlaceTiffPixels(const detail::BinaryFile& File, const Ifd& First, uint32_t Strip,
                            ImageRecord& R, const std::string& Name) {
  const uint32_t Width = First[ImageWidth].Value, Height = First[ImageLength].Value;
  if (Width == 0 || Height == 0 || First[StripOffsets].Count == 0)
    return "File: " + Name + "  is not a correct image file.";
  const int64_t Bytes = detail::PixelByteCount(Width, Height, R.BytesPerPixel);
  if (Bytes < 0 || Width > uint32_t{std::numeric_limits<int32_t>::max()} ||
      Height > uint32_t{std::numeric_limits<int32_t>::max()})
    return "File: " + Name + "  is too large.";
  if (File.Size() - int64_t{Strip} < Bytes) return "File: " + Name + "  is truncated.";
  if (Strip > uint32_t{std::numeric_limits<int32_t>::max()})
    return "File: " + Name + "  is too large.";
  R.HeaderSize = static_cast<int32_t>(Strip);
  R.DataSize = static_cast<int32_t>(Bytes);
  return {};
}

// ---- Writer ----------------------------------------------------------------

constexpr uint16_t TypeLong = 4;
constexpr uint16_t TypeRational = 5;

void Put16(std::vector<uint8_t>& B, uint32_t V) {
  B.push_back(static_cast<uint8_t>(V));
  B.push_back(static_cast<uint8_t>(V >> 8));
}

void Put32(std::vector<uint8_t>& B, uint32_t V) {
  Put16(B, V & 0xFFFF);
  Put16(B, V >> 16);
}

// One IFD entry; a single SHORT takes the first two bytes of its field, any
// other value (an offset included) all four.
void PutEntry(std::vector<uint8_t>& B, uint16_t Tag, uint16_t Type, uint32_t Count,
              uint32_t Value) {
  Put16(B, Tag);
  Put16(B, Type);
  Put32(B, Count);
  if (Type == TypeShort && Count == 1) {
    Put16(B, Value);
    Put16(B, 0);
  } else {
    Put32(B, Value);
  }
}

bool WriteBytes(std::FILE* File, const std::vector<uint8_t>& B) {
  return std::fwrite(B.data(), 1, B.size(), File) == B.size();
}

// Position of the end of File and the strip byte count of one image, both of
// which must fit the 32-bit fields of the IFD.
bool HeaderLayout(std::FILE* File, int32_t Width, int32_t Height, uint32_t SampleBytes,
                  uint32_t HeaderBytes, uint32_t& Position, uint32_t& DataBytes) {
  if (!File || Width <= 0 || Height <= 0 || std::fseek(File, 0, SEEK_END) != 0) return false;
  const off_t End = ftello(File);
  const uint64_t Data = uint64_t(Width) * uint64_t(Height) * SampleBytes;
  constexpr uint64_t Limit = std::numeric_limits<uint32_t>::max();
  if (End < 0 || Data > Limit || uint64_t(End) + HeaderBytes + Data + 8 > Limit) return false;
  Position = static_cast<uint32_t>(End);
  DataBytes = static_cast<uint32_t>(Data);
  return true;
}

void PutFileHeader(std::vector<uint8_t>& B) {
  for (uint8_t V : {0x49, 0x49, 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00}) B.push_back(V);
}

bool WriteSamples(std::FILE* File, const uint16_t* Samples, size_t Count) {
  if constexpr (std::endian::native == std::endian::little) {
    return std::fwrite(Samples, sizeof(uint16_t), Count, File) == Count;
  } else {
    std::vector<uint8_t> B;
    B.reserve(Count * 2);
    for (size_t I = 0; I < Count; ++I) Put16(B, Samples[I]);
    return WriteBytes(File, B);
  }
}

}  // namespace

void ReadTiffHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                    const MessageSink& Sink) {
  const std::string Name = BaseName(FileName);
  auto Fail = [&](const std::string& Text) {
    R.ErrorText = Text;
    detail::Refuse(R, Text, ShowMessages, Sink);
  };
  if (!detail::IsRegularFile(FileName)) {
    R.Valid = false;
    R.ErrorText = "File: " + Name + "  not found.";
    return;
  }
  detail::BinaryFile File(FileName);
  if (!File.IsOpen()) return Fail("File: " + Name + "  cannot be opened.");

  uint8_t Head[8];
  bool Swap = false;
  Ifd First{};
  std::string Text = ReadTiffMark(File, FileName, Name, Head, Swap);
  if (Text.empty()) Text = ReadFirstIfd(File, detail::Get32(Head + 4, Swap), Swap, Name, First);
  if (!Text.empty()) return Fail(Text);

  R.Valid = true;
  R.ErrorText.clear();
  R.FileName = FileName;
  R.Width = static_cast<int32_t>(First[ImageWidth].Value);
  R.Height = static_cast<int32_t>(First[ImageLength].Value);
  uint32_t Strip = First[StripOffsets].Value;
  uint32_t Bits = 0;

  if (First[Compression].Value > 1)
    return Fail("File: " + Name + "  has compressed data type. Compression is not supported.");
  Text = SetTiffChannels(First, R, Name);
  if (Text.empty()) Text = ReadTiffSampleLayout(File, First, Swap, Name, Bits, Strip);
  if (Text.empty()) Text = SetTiffSampleType(Bits, R, Name);
  if (!Text.empty()) return Fail(Text);

  SetTiffDefaults(R, Swap);
  Text = PlaceTiffPixels(File, First, Strip, R, Name);
  if (!Text.empty()) return Fail(Text);
}

bool WriteTiffHeaderGray(std::FILE* File, int32_t Width, int32_t Height, int BitsPerSample,
                         bool LastImage) {
  const uint32_t Bits = BitsPerSample <= 8 ? 8 : 16;
  uint32_t P = 0, Data = 0;
  if (!HeaderLayout(File, Width, Height, Bits / 8, 174, P, Data)) return false;
  const uint32_t W = static_cast<uint32_t>(Width), H = static_cast<uint32_t>(Height);
  std::vector<uint8_t> B;
  PutFileHeader(B);
  Put16(B, 12);
  PutEntry(B, 256, TypeLong, 1, W);
  PutEntry(B, 257, TypeLong, 1, H);
  PutEntry(B, 258, TypeShort, 1, Bits);
  PutEntry(B, 259, TypeShort, 1, 1);
  PutEntry(B, 262, TypeShort, 1, 1);
  PutEntry(B, 278, TypeLong, 1, H);
  PutEntry(B, 277, TypeShort, 1, 1);
  PutEntry(B, 279, TypeLong, 1, Data);
  PutEntry(B, 282, TypeRational, 1, P + 158);
  PutEntry(B, 283, TypeRational, 1, P + 166);
  PutEntry(B, 296, TypeShort, 1, 1);
  PutEntry(B, 273, TypeLong, 1, P + 174);
  Put32(B, LastImage ? 0 : P + 174 + Data + 8);
  for (int I = 0; I < 4; ++I) Put32(B, 1);
  return WriteBytes(File, B);
}

bool WriteTiffHeaderRgb(std::FILE* File, int32_t Width, int32_t Height, int BitsPerSample,
                        bool LastImage) {
  const uint32_t Bits = BitsPerSample <= 8 ? 8 : 16;
  uint32_t P = 0, Data = 0;
  if (!HeaderLayout(File, Width, Height, 3 * Bits / 8, 192, P, Data)) return false;
  const uint32_t W = static_cast<uint32_t>(Width), H = static_cast<uint32_t>(Height);
  std::vector<uint8_t> B;
  PutFileHeader(B);
  Put16(B, 13);
  PutEntry(B, 256, TypeLong, 1, W);
  PutEntry(B, 257, TypeLong, 1, H);
  PutEntry(B, 258, TypeShort, 3, P + 170);
  PutEntry(B, 259, TypeShort, 1, 1);
  PutEntry(B, 262, TypeShort, 1, 2);
  PutEntry(B, 278, TypeLong, 1, H);
  PutEntry(B, 277, TypeShort, 1, 3);
  PutEntry(B, 279, TypeLong, 1, Data);
  PutEntry(B, 282, TypeRational, 1, P + 176);
  PutEntry(B, 283, TypeRational, 1, P + 184);
  PutEntry(B, 284, TypeShort, 1, 1);
  PutEntry(B, 296, TypeShort, 1, 1);
  PutEntry(B, 273, TypeLong, 1, P + 192);
  Put32(B, LastImage ? 0 : P + 192 + Data + 8);
  for (int I = 0; I < 3; ++I) Put16(B, Bits);
  for (int I = 0; I < 4; ++I) Put32(B, 1);
  return WriteBytes(File, B);
}

bool WriteTiff16(const uint16_t* Buffer, int32_t Width, int32_t Height, bool Grey,
                 const std::string& FileName, std::string* ErrorText) {
  if (!Buffer || Width <= 0 || Height <= 0) {
    if (ErrorText) *ErrorText = "No image to write to \"" + FileName + "\".";
    return false;
  }
  const size_t Count = static_cast<size_t>(Width) * static_cast<size_t>(Height) * (Grey ? 1u : 3u);
  // Written atomically: a cut-short write never leaves a file a later open
  // would take for activation data.
  const WriteOutcome Outcome = WriteFileAtomic(FileName, [&](std::FILE* File) {
    const bool Ok = Grey ? WriteTiffHeaderGray(File, Width, Height, 16, true)
                         : WriteTiffHeaderRgb(File, Width, Height, 16, true);
    return Ok && WriteSamples(File, Buffer, Count);
  });
  if (!Outcome && ErrorText) *ErrorText = Outcome.ErrorText;
  return Outcome.Success;
}

}  // namespace obra
