// FITS files, plain and in their compressed forms. A quarter of the inputs
// (first byte 3 modulo 4) is gzip-compressed here and read as ".fits.gz", so
// that the mutations reach the FITS content behind the gzip layer: the
// inflation as far as the headers say and CFITSIO's memory files.
#include <zlib.h>

#include "FuzzReader.h"

namespace {

std::vector<uint8_t> Gzip(const uint8_t* Data, size_t Size) {
  z_stream S{};
  if (deflateInit2(&S, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::vector<uint8_t> Out(deflateBound(&S, static_cast<uLong>(Size)));
  S.next_in = const_cast<Bytef*>(Data);
  S.avail_in = static_cast<uInt>(Size);
  S.next_out = Out.data();
  S.avail_out = static_cast<uInt>(Out.size());
  if (deflate(&S, Z_FINISH) != Z_STREAM_END) std::abort();
  Out.resize(S.total_out);
  deflateEnd(&S);
  return Out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size == 0) return 0;
  if (Data[0] % 4 != 3) {
    obra::fuzz::LoadAs({".fits", ".fts", ".fit"}, Data, Size);
    return 0;
  }
  const std::vector<uint8_t> Gz = Gzip(Data + 1, Size - 1);
  obra::fuzz::Load(obra::fuzz::WriteInput(".fits.gz", Gz.data(), Gz.size()));
  return 0;
}
