// Bitmap files from outside (a skin's images): any bytes must be refused or decoded without a
// read or write outside the file and the picture.
#include <cstdint>
#include <string>

#include "image/bmp_decoder.h"
#include "windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string why;
  auto bitmap = plat::image::decodeBmp(data, size, why);
  (void)bitmap;
  return 0;
}
