// The decoders behind the imaging service, one per file format, on bytes in memory. Each one
// reads the declared size first and takes its pixels and working memory from a LoadBudget, so
// a file that declares a huge picture is refused before the memory is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/picture_budget.h"

namespace plat::image {

enum class PictureFormat { Unknown, Bmp, Png, Jpeg, Gif };

// By the file's signature.
PictureFormat sniffPicture(const uint8_t* data, size_t size);

// The size the file declares; false (with the reason) when its header cannot be read.
bool pictureSize(PictureFormat format, const uint8_t* data, size_t size, int& width, int& height, std::string& why);

// The whole picture. A JPEG is decoded at the smallest scale n/8 whose size still covers
// coverWidth x coverHeight (0 x 0: full size), so thumbnails of large photos stay cheap; the
// other formats always decode at full size.
bool decodePicture(PictureFormat format, const uint8_t* data, size_t size, int coverWidth, int coverHeight,
                   LoadBudget& budget, Raster& out, std::string& why);

// The first frame of a GIF composed on its logical screen: pixels the frame does not cover, or
// covers with its transparent index, are transparent; a frame reaching past the screen is cut.
bool decodeGif(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why);
bool gifSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why);

bool decodePng(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why);
bool pngSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why);

bool decodeJpeg(const uint8_t* data, size_t size, int coverWidth, int coverHeight, LoadBudget& budget, Raster& out,
                std::string& why);
bool jpegSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why);
// The thumbnail a camera keeps in a JPEG's Exif block (itself a JPEG), if the file has one.
bool jpegExifThumbnail(const uint8_t* data, size_t size, const uint8_t*& thumb, size_t& thumbSize);
// The smallest size a JPEG of width x height decodes to (scale 1/8).
int jpegSmallestSide(int side);

}  // namespace plat::image
