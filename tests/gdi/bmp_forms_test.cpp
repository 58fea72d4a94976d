// Bitmap forms of the device's platform (2-bit colour tables, alpha bit fields), colour counts
// that do not fit the bit depth, and the questionable files of the BMP Suite against their
// reference renderings, through SHLoadDIBitmap and the imaging service.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <stb/stb_image.h>

#include "gdi/bitmap.h"
#include "gdi_test_util.h"
#include "image/bmp_decoder.h"
#include "test_data.h"

using gdi_test::Canvas;
namespace fs = std::filesystem;

namespace {

const std::string kBmpSuite = HU_TESTDATA_DIR "/bmp/bmpsuite/";

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) { std::memcpy(&v[at], &x, 4); }

// A bottom-up BMP with a 40-byte header. `masks` follow the header (3 or 4 of them), then the
// colour table; `pixel(x, y)` gives the raw value of picture pixel (x, y), y from the top.
std::vector<uint8_t> makeBmp(int w, int h, int bitCount, uint32_t compression, const std::vector<uint32_t>& masks,
                             const std::vector<uint32_t>& palette, uint32_t coloursUsed,
                             const std::function<uint32_t(int, int)>& pixel) {
  const size_t rowBytes = ((size_t(w) * bitCount + 31) / 32) * 4;
  const size_t off = 14 + 40 + masks.size() * 4 + palette.size() * 4;
  std::vector<uint8_t> f(off + rowBytes * h, 0);
  f[0] = 'B', f[1] = 'M';
  put32(f, 2, static_cast<uint32_t>(f.size()));
  put32(f, 10, static_cast<uint32_t>(off));
  put32(f, 14, 40);
  put32(f, 18, static_cast<uint32_t>(w));
  put32(f, 22, static_cast<uint32_t>(h));
  f[26] = 1;
  f[28] = static_cast<uint8_t>(bitCount);
  put32(f, 30, compression);
  put32(f, 46, coloursUsed);
  size_t at = 54;
  for (uint32_t m : masks) put32(f, at, m), at += 4;
  for (uint32_t c : palette) put32(f, at, c), at += 4;  // 0x00RRGGBB is B, G, R, 0 in the file
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &f[off + rowBytes * (h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      const uint32_t v = pixel(x, y);
      if (bitCount < 8) {
        const int perByte = 8 / bitCount;
        row[x / perByte] |= static_cast<uint8_t>(v << (8 - bitCount - bitCount * (x % perByte)));
      } else {
        for (int k = 0; k < bitCount / 8; ++k) row[x * (bitCount / 8) + k] = static_cast<uint8_t>(v >> (8 * k));
      }
    }
  }
  return f;
}

// 2 bits per pixel: four bands of colour crossed by a diagonal of the fourth colour.
const std::vector<uint32_t> kFourColours = {0x102040, 0xE0C020, 0x20A060, 0xF04080};
std::vector<uint8_t> twoBitPicture(uint32_t coloursUsed = 4) {
  return makeBmp(48, 32, 2, BI_RGB, {}, kFourColours, coloursUsed,
                 [](int x, int y) { return std::abs(x - y) < 2 ? 3u : static_cast<uint32_t>(x / 16); });
}

// Alpha bit fields with masks in an unusual order: red in the top byte, alpha in the lowest.
std::vector<uint8_t> alphaBitFieldsPicture() {
  return makeBmp(48, 32, 32, 6, {0xFF000000u, 0x00FF0000u, 0x0000FF00u, 0x000000FFu}, {}, 0, [](int x, int y) {
    const uint32_t r = x * 255 / 47, g = y * 255 / 31, b = 255 - r, a = x < 24 ? 255 : 128;
    return (r << 24) | (g << 16) | (b << 8) | a;
  });
}

HBITMAP loadFile(const std::vector<uint8_t>& bytes) {
  const std::string path = testing::TempDir() + "bmp_forms_" + std::to_string(::getpid()) + ".bmp";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  HBITMAP bm = SHLoadDIBitmap(std::u16string(path.begin(), path.end()).c_str());
  fs::remove(path);
  return bm;
}

// Copies a loaded bitmap into the canvas at (x, y).
void blit(Canvas& c, HBITMAP bm, int x, int y) {
  BITMAP desc{};
  ASSERT_EQ(GetObjectW(bm, sizeof desc, &desc), static_cast<int>(sizeof desc));
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, bm);
  BitBlt(c.dc(), x, y, desc.bmWidth, desc.bmHeight, src, 0, 0, SRCCOPY);
  SelectObject(src, old);
  DeleteDC(src);
}

TEST(DeviceBitmapForms, TwoBitAndAlphaBitFieldsLoadAndDrawAsTheDeviceShowsThem) {
  HBITMAP two = loadFile(twoBitPicture());
  HBITMAP alpha = loadFile(alphaBitFieldsPicture());
  ASSERT_NE(two, nullptr);
  ASSERT_NE(alpha, nullptr);
  Canvas c(104, 40, 0x404040);
  blit(c, two, 4, 4);
  blit(c, alpha, 52, 4);
  // Pixel checks a reader can follow, then the whole picture against its golden image.
  EXPECT_EQ(c.at(4 + 1, 4 + 10), kFourColours[0]);
  EXPECT_EQ(c.at(4 + 20, 4 + 5), kFourColours[1]);
  EXPECT_EQ(c.at(4 + 40, 4 + 30), kFourColours[2]);
  EXPECT_EQ(c.at(4 + 9, 4 + 9), kFourColours[3]);
  EXPECT_EQ(c.at(52, 4), 0x0000FFu);            // left: no red, all blue, green 0 at the top
  EXPECT_EQ(c.at(52 + 47, 4 + 31), 0xFFFF00u);  // right bottom: red and green (alpha not drawn)
  gdi_test::expectGolden("bmp_device_forms", c.pixels(), c.width(), c.height(), 0);
  DeleteObject(two);
  DeleteObject(alpha);
}

TEST(DeviceBitmapForms, ImagingServiceKeepsTheAlphaOfAlphaBitFields) {
  const std::vector<uint8_t> f = alphaBitFieldsPicture();
  auto img = plat::image::Image::fromMemory(f.data(), f.size());
  ASSERT_TRUE(img);
  ASSERT_EQ(img->pixels().size(), 48u * 32u);
  EXPECT_EQ(img->pixels()[0] >> 24, 255u);
  EXPECT_EQ(img->pixels()[40] >> 24, 128u);
  EXPECT_EQ(img->pixels()[47] & 0xFFFFFF, 0xFF0000u);
}

TEST(DeviceBitmapForms, ColourCountBeyondTheBitDepthIsRefused) {
  struct Case {
    int bitCount;
    uint32_t used;
    bool loads;
  } cases[] = {{2, 0, true}, {2, 3, true}, {2, 4, true}, {2, 5, false}, {1, 2, true}, {1, 3, false},
               {4, 16, true}, {4, 17, false}, {8, 256, true}, {8, 257, false}, {8, 0xFFFFFFFF, false}};
  for (const Case& c : cases) {
    std::vector<uint32_t> palette(std::min<uint32_t>(c.used ? c.used : 1u << c.bitCount, 300), 0x808080);
    const std::vector<uint8_t> f = makeBmp(8, 2, c.bitCount, BI_RGB, {}, palette, c.used, [](int, int) { return 1u; });
    std::string why;
    EXPECT_EQ(plat::image::decodeBmp(f.data(), f.size(), why) != nullptr, c.loads)
        << c.bitCount << " bits, " << c.used << " colours: " << why;
  }
  const std::string oversize = kBmpSuite + "q/pal8oversizepal.bmp";
  if (fs::exists(oversize)) {
    const std::vector<uint8_t> f = readAll(oversize);
    std::string why;
    EXPECT_FALSE(plat::image::decodeBmp(f.data(), f.size(), why));
    EXPECT_EQ(plat::image::Image::fromMemory(f.data(), f.size()), nullptr);
  }
}

// Largest difference between decoded pixels and a reference rendering: colour channels where
// the reference is opaque enough to show them, and alpha when `alpha` is asked.
int worstAgainst(const std::vector<uint32_t>& px, const unsigned char* ref, bool alpha) {
  int worst = 0;
  for (size_t i = 0; i < px.size(); ++i) {
    const unsigned char* q = ref + i * 4;
    const uint32_t p = px[i];
    if (alpha) worst = std::max(worst, std::abs(int(p >> 24) - q[3]));
    if (alpha && q[3] == 0) continue;
    if (!alpha && q[3] != 255) continue;
    worst = std::max({worst, std::abs(int((p >> 16) & 255) - q[0]), std::abs(int((p >> 8) & 255) - q[1]),
                      std::abs(int(p & 255) - q[2])});
  }
  return worst;
}

TEST(BmpSuite, QuestionableImagesWithAReferenceMatchIt) {
  HU_SKIP_WITHOUT_TEST_DATA(kBmpSuite + "q");
  // The questionable files that carry a picture the device's platform shows, with the suite's
  // reference rendering of each.
  const std::pair<const char*, const char*> cases[] = {
      {"pal2", "pal2"},           {"pal2color", "pal2color"},       {"pal1p1", "pal1p1"},
      {"pal8offs", "pal8"},       {"pal8os2v2", "pal8"},            {"pal8os2v2-16", "pal8"},
      {"pal8os2sp", "pal8"},      {"rgb16-231", "rgb16-231"},       {"rgb16-3103", "rgb16-3103"},
      {"rgba16-4444", "rgba16-4444"}, {"rgba16-5551", "rgba16-5551"}, {"rgba16-1924", "rgba16-1924"},
      {"rgb24largepal", "rgb24"}, {"rgb32h52", "rgb24"},            {"rgb32-xbgr", "rgb24"},
      {"rgb32-7187", "rgb32-7187"}, {"rgba32-1", "rgba32"},         {"rgba32-2", "rgba32"},
      {"rgba32abf", "rgba32"},    {"rgba32h56", "rgba32"},          {"rgba32-1010102", "rgba32-1010102"},
      {"rgba32-81284", "rgba32-81284"}, {"rgba32-61754", "rgba32-61754"},
  };
  for (const auto& [file, refName] : cases) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> bytes = readAll(kBmpSuite + "q/" + file + ".bmp");
    ASSERT_FALSE(bytes.empty());
    int w = 0, h = 0, n = 0;
    unsigned char* ref = stbi_load((kBmpSuite + "html/" + refName + ".png").c_str(), &w, &h, &n, 4);
    ASSERT_TRUE(ref) << refName;
    // SHLoadDIBitmap: the colours, on an opaque surface.
    std::string why;
    auto bitmap = plat::image::decodeBmp(bytes.data(), bytes.size(), why);
    ASSERT_TRUE(bitmap) << why;
    ASSERT_EQ(bitmap->width, w);
    ASSERT_EQ(bitmap->height, h);
    std::vector<uint32_t> surface(size_t(w) * h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) surface[size_t(y) * w + x] = bitmap->readPixel(x, y);
    EXPECT_LE(worstAgainst(surface, ref, false), 1);
    // The imaging service: colours and alpha.
    auto img = plat::image::Image::fromMemory(bytes.data(), bytes.size());
    ASSERT_TRUE(img);
    ASSERT_EQ(img->pixels().size(), size_t(w) * h);
    EXPECT_LE(worstAgainst(img->pixels(), ref, true), 1);
    stbi_image_free(ref);
  }
}

}  // namespace
