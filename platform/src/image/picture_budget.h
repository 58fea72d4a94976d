// What one picture load may take, whatever sizes the file declares: the file's bytes, the
// decoded pixels and the decoder's own working memory together stay within kPictureBudgetBytes,
// and decoding stops after pictureBudgetTime(). A picture that does not fit is refused (or, for
// a thumbnail, decoded at a reduced scale that fits) before any of its memory is taken. The
// device has no such limit: docs/deviations.md, Pictures.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::image {

constexpr size_t kPictureBudgetBytes = 64u << 20;
// One second, unless HU_PICTURE_SECONDS (1 to 60) gives a slow unit more: read once, a value out
// of range is named on the console and left aside.
std::chrono::milliseconds pictureBudgetTime();

// A decoded picture: 0xAARRGGBB pixels, rows top-down.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

class LoadBudget {
 public:
  explicit LoadBudget(size_t bytes = kPictureBudgetBytes, std::chrono::milliseconds time = pictureBudgetTime())
      : left_(bytes), deadline_(std::chrono::steady_clock::now() + time) {}

  // Takes `bytes` from what is left; false (and nothing taken) when they do not fit.
  bool take(size_t bytes) {
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }
  // Pixels of 4 bytes; false for sizes that overflow or do not fit.
  bool takePixels(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > (int64_t(1) << 30) / height) return false;
    return take(static_cast<size_t>(width * height) * 4);
  }
  void give(size_t bytes) { left_ += bytes; }
  size_t left() const { return left_; }
  bool expired() const { return std::chrono::steady_clock::now() >= deadline_; }
  std::chrono::steady_clock::time_point deadline() const { return deadline_; }

 private:
  size_t left_;
  std::chrono::steady_clock::time_point deadline_;
};

// Reads a whole picture file (host path) into `bytes`; a file larger than the budget is refused
// before it is read. `why` is kCannotOpen when the file cannot be opened.
inline constexpr const char* kCannotOpen = "cannot open";
bool readPictureFile(const std::string& hostPath, std::vector<uint8_t>& bytes, std::string& why);

}  // namespace plat::image
