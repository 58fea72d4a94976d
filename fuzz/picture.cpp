// Pictures from outside (thumbnails of the user's photos): any bytes, in any of the formats the
// imaging service reads (JPEG, PNG, BMP, GIF), are refused or decoded within the memory and time
// budget, and a decoded picture can be scaled and drawn without a read or write outside it.
#include <cstdint>
#include <memory>

#include "plat_image.h"
#include "windows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    plat::console::setEcho(false);  // a refusal line per input would drown the run
    return true;
  }();
  (void)quiet;
  auto picture = plat::image::Image::fromMemory(data, size);
  if (!picture) return 0;
  // Whatever the header declared, what came out must be what the sizes say. Pixels are decoded
  // on first use, so damaged data after a sound header gives no pixels at all: that is a refusal.
  if (picture->width() <= 0 || picture->height() <= 0) __builtin_trap();
  const size_t count = picture->pixels().size();
  if (count != 0 && count != static_cast<size_t>(picture->width()) * static_cast<size_t>(picture->height()))
    __builtin_trap();
  // The thumbnail path the file list takes: shrink into a small box, odd sizes included.
  auto small = picture->thumbnail(1 + (size % 97), 1 + (size % 61));
  if (small && small->pixels().size() != static_cast<size_t>(small->width()) * static_cast<size_t>(small->height()))
    __builtin_trap();
  return 0;
}
