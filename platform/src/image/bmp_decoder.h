// The BMP decoder behind SHLoadDIBitmap and the imaging service, on bytes in memory (tests and
// fuzzers call it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "image/picture_budget.h"

namespace plat::gdi {
class Bitmap;
}

namespace plat::image {

// A 32-bit top-down bitmap of the file's picture (0x00RRGGBB), or null with the reason in `why`.
std::shared_ptr<gdi::Bitmap> decodeBmp(const uint8_t* data, size_t size, std::string& why);

// The declared size of a BMP file; false when its header does not add up.
bool bmpSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why);

// The picture with its alpha where the file has one (bit fields with an alpha mask, or
// 32-bit pixels whose fourth byte is used); opaque otherwise. The pixels are taken from `budget`.
bool decodeBmpRaster(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why);

}  // namespace plat::image
