// The BMP decoder behind SHLoadDIBitmap, on bytes in memory (tests and fuzzers call it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat::gdi {
class Bitmap;
}

namespace plat::image {

// A 32-bit top-down bitmap of the file's picture, or null with the reason in `why`.
std::shared_ptr<gdi::Bitmap> decodeBmp(const uint8_t* data, size_t size, std::string& why);

}  // namespace plat::image
