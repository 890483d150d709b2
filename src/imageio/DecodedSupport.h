// What the header readers of the decoded formats (PNG, BMP, JPEG) share. Their
// pixels are decoded, never read raw, and arrive unsigned, unscaled and top
// row first. Not part of the public interface of the module.
#pragma once

#include <string>

#include "IOGraphics.h"
#include "ReaderSupport.h"

namespace obra::detail {

// Clears Valid, keeps Text as the record's fault and passes it on when asked to.
inline void RefuseDecoded(ImageRecord& R, std::string Text, bool ShowMessages,
                          const MessageSink& Sink) {
  R.Valid = false;
  R.ErrorText = std::move(Text);
  if (ShowMessages) Show(Sink, R.ErrorText);
}

// Sets the fields that describe every decoded picture alike.
inline void SetDecodedLayout(ImageRecord& R) {
  R.HeaderSize = -1;
  R.IsColorCube = false;
  R.SwapBytes = false;
  R.FlipRows = false;
  R.BZero = 0.0;
  R.BScale = 1.0;
  R.DataMin = 1.0;
  R.DataMax = -1.0;
}

}  // namespace obra::detail
