#include "golden_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#include <stb/stb_image.h>

namespace test_support {

void expectGolden(const std::string& name, const uint32_t* pixels, int width, int height, int tolerance,
                  const char* requiredFont) {
  const std::string golden = std::string(HU_SOURCE_DIR) + "/tests/golden/" + name + ".png";
  if (requiredFont) {
    std::FILE* font = std::fopen(requiredFont, "rb");
    if (!font) {
      std::printf("golden %s not compared: %s is missing (scripts/install-deps.sh)\n", name.c_str(), requiredFont);
      return;
    }
    std::fclose(font);
  }
  std::vector<unsigned char> actual(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    actual[i * 3] = static_cast<unsigned char>(pixels[i] >> 16);
    actual[i * 3 + 1] = static_cast<unsigned char>(pixels[i] >> 8);
    actual[i * 3 + 2] = static_cast<unsigned char>(pixels[i]);
  }
  if (const char* up = std::getenv("HU_UPDATE_GOLDEN"); up && *up == '1') {
    ASSERT_TRUE(stbi_write_png(golden.c_str(), width, height, 3, actual.data(), width * 3)) << golden;
    return;
  }
  int gw = 0, gh = 0, gn = 0;
  unsigned char* want = stbi_load(golden.c_str(), &gw, &gh, &gn, 3);
  bool same = want && gw == width && gh == height;
  std::vector<unsigned char> diff(actual.size(), 0);
  int worst = 0, bad = 0;
  if (same) {
    for (size_t i = 0; i < actual.size(); i += 3) {
      int d = 0;
      for (int k = 0; k < 3; ++k) d = std::max(d, std::abs(int(actual[i + k]) - int(want[i + k])));
      worst = std::max(worst, d);
      if (d > tolerance) {
        ++bad;
        diff[i] = 255;
      } else {
        diff[i + 1] = static_cast<unsigned char>(actual[i + 1] / 4);
      }
    }
    same = bad == 0;
  }
  if (want) stbi_image_free(want);
  if (same) return;
  const std::string dir = testing::TempDir();
  const std::string a = dir + name + "-actual.png";
  const std::string d = dir + name + "-diff.png";
  stbi_write_png(a.c_str(), width, height, 3, actual.data(), width * 3);
  if (gw == width && gh == height) stbi_write_png(d.c_str(), width, height, 3, diff.data(), width * 3);
  ADD_FAILURE() << "image differs from " << golden << " (" << bad << " pixels beyond " << tolerance << ", worst "
                << worst << ", golden " << gw << "x" << gh << ")\n  actual: " << a << "\n  diff:   " << d;
}

}  // namespace test_support
