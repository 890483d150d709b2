// The bitmap readers: the header read decodes a BMP or JPEG file into the
// record's DecodedBitmap, the pixel read turns that picture into the working
// buffer (R, G, B for colour) and releases it.
#include "BMP_JPEGformat.h"

#include <cstring>

#include "DecodedSupport.h"
#include "ReaderSupport.h"

namespace obra {
namespace {

std::string StatusText(DecodeStatus Status, const std::string& Name, const std::string& Ext) {
  switch (Status) {
    case DecodeStatus::Ok:
      return {};
    case DecodeStatus::CannotOpen:
      return "File " + Name + " cannot be read.";
    case DecodeStatus::Corrupt:
      return "File " + Name + " is not a correct " + (Ext == ".BMP" ? "BMP" : "JPEG") + " file.";
    case DecodeStatus::TooLarge:
      return "File " + Name + " is too large.";
    case DecodeStatus::Unsupported:
      break;
  }
  return "File " + Name + " has unsupported BMP pixel format.";
}

int ChannelsOf(const DecodedPicture& P) {
  return P.BitsPerPixel == 8 ? 1 : (P.BitsPerPixel == 24 || P.BitsPerPixel == 32) ? 3 : 0;
}

}  // namespace

void ReadBitmapHeader(const std::string& FileName, ImageRecord& R, bool ShowMessages,
                      const MessageSink& Sink) {
  R.Valid = true;
  R.ErrorText.clear();
  R.DecodedBitmap.reset();
  if (!detail::IsRegularFile(FileName)) {
    R.Valid = false;
    R.ErrorText = "File not found.";
    return;
  }

  auto Picture = std::make_shared<DecodedPicture>();
  const std::string Ext = UpperExtension(FileName);
  DecodeStatus Status = DecodeStatus::Unsupported;
  if (Ext == ".BMP") Status = DecodeBmpFile(FileName, *Picture);
  if (Ext == ".JPG" || Ext == ".JPEG") Status = DecodeJpegFile(FileName, *Picture);

  R.FileName = FileName;
  R.Width = Picture->Width;
  R.Height = Picture->Height;
  R.SetDataSample(SampleType::Byte);
  if (Status == DecodeStatus::Ok) {
    R.Channels = ChannelsOf(*Picture);
    R.DecodedBitmap = std::move(Picture);
  } else {
    // A refused picture describes no pixels, so nothing stale can be read later.
    R.Channels = 0;
    detail::RefuseDecoded(R, StatusText(Status, BaseName(FileName), Ext), ShowMessages, Sink);
  }
  R.BytesPerPixel = R.Channels;
  R.DataSize = static_cast<int32_t>(int64_t{R.Width} * R.Height * R.BytesPerPixel);
  detail::SetDecodedLayout(R);
}

bool ReadBitmapPixels(ImageRecord& R, std::vector<uint16_t>& Buffer) {
  R.Valid = false;
  // Taken out of the record first: the picture is released however this ends.
  const std::shared_ptr<DecodedPicture> Picture = std::move(R.DecodedBitmap);
  R.DecodedBitmap.reset();
  if (!Picture) return false;

  const DecodedPicture& P = *Picture;
  const int Channels = ChannelsOf(P);
  const size_t Width = static_cast<size_t>(P.Width);
  const size_t Height = static_cast<size_t>(P.Height);
  const size_t OutRow = Width * Channels;
  const size_t InPixel = static_cast<size_t>(P.BitsPerPixel / 8);
  const bool Consistent = Channels != 0 && P.Width > 0 && P.Height > 0 && P.Width == R.Width &&
                          P.Height == R.Height && Channels == R.Channels &&
                          P.RowBytes >= Width * InPixel && P.Rows.size() >= P.RowBytes * Height &&
                          OutRow * Height <= Buffer.size() * sizeof(uint16_t);
  if (!Consistent) return false;

  auto* Out = reinterpret_cast<uint8_t*>(Buffer.data());
  for (size_t Y = 0; Y < Height; ++Y) {
    const uint8_t* In = P.Rows.data() + P.RowBytes * Y;
    uint8_t* Dst = Out + OutRow * Y;
    if (InPixel == 1) {
      std::memcpy(Dst, In, OutRow);
      continue;
    }
    for (size_t X = 0; X < Width; ++X, In += InPixel, Dst += 3) {
      Dst[0] = In[2];
      Dst[1] = In[1];
      Dst[2] = In[0];
    }
  }
  R.Valid = true;
  return true;
}

}  // namespace obra
