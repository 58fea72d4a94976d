#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <stb/stb_image.h>

#include "gdi/bitmap.h"
#include "gdi_test_util.h"
#include "image/bmp_decoder.h"
#include "test_data.h"

using gdi_test::Canvas;
namespace fs = std::filesystem;

namespace {

const std::string kBmpSuite = HU_TESTDATA_DIR "/bmp/bmpsuite/";
const std::string kPngSuite = HU_TESTDATA_DIR "/png/";

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Largest per-channel difference between a loaded bitmap and an RGB(A) reference picture.
int worstDifference(plat::gdi::Bitmap& b, const unsigned char* ref, int channels) {
  int worst = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const uint32_t p = b.readPixel(x, y);
      const unsigned char* q = ref + (static_cast<size_t>(y) * b.width + x) * channels;
      worst = std::max({worst, std::abs(int((p >> 16) & 255) - q[0]), std::abs(int((p >> 8) & 255) - q[1]),
                        std::abs(int(p & 255) - q[2])});
    }
  return worst;
}

TEST(BmpSuite, EveryGoodImageMatchesTheReferenceRendering) {
  HU_SKIP_WITHOUT_TEST_DATA(kBmpSuite + "g");
  // The suite's reference renderings, by file.
  const std::map<std::string, std::vector<std::string>> refs = {
      {"pal1", {"pal1"}}, {"pal1bg", {"pal1bg"}}, {"pal1wb", {"pal1"}}, {"pal4", {"pal4"}}, {"pal4gs", {"pal4gs"}},
      {"pal4rle", {"pal4"}}, {"pal8-0", {"pal8"}}, {"pal8", {"pal8"}}, {"pal8gs", {"pal8gs"}},
      {"pal8nonsquare", {"pal8nonsquare-v", "pal8nonsquare-e"}}, {"pal8os2", {"pal8"}}, {"pal8rle", {"pal8"}},
      {"pal8topdown", {"pal8"}}, {"pal8v4", {"pal8"}}, {"pal8v5", {"pal8"}}, {"pal8w124", {"pal8w124"}},
      {"pal8w125", {"pal8w125"}}, {"pal8w126", {"pal8w126"}}, {"rgb16-565", {"rgb16-565"}},
      {"rgb16-565pal", {"rgb16-565"}}, {"rgb16", {"rgb16"}}, {"rgb16bfdef", {"rgb16"}}, {"rgb24", {"rgb24"}},
      {"rgb24pal", {"rgb24"}}, {"rgb32", {"rgb24"}}, {"rgb32bf", {"rgb24"}}, {"rgb32bfdef", {"rgb24"}},
  };
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kBmpSuite + "g")) {
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    auto it = refs.find(name);
    ASSERT_NE(it, refs.end()) << "no reference known for a good image";
    const std::vector<uint8_t> bytes = readAll(entry.path().string());
    std::string why;
    auto bitmap = plat::image::decodeBmp(bytes.data(), bytes.size(), why);
    ASSERT_TRUE(bitmap) << why;
    bool matched = false;
    for (const std::string& ref : it->second) {
      int w = 0, h = 0, n = 0;
      unsigned char* px = stbi_load((kBmpSuite + "html/" + ref + ".png").c_str(), &w, &h, &n, 3);
      ASSERT_TRUE(px) << ref;
      if (w == bitmap->width && h == bitmap->height) {
        // 16-bit channels widen to 8 bits by bit replication, the references by rounding.
        EXPECT_LE(worstDifference(*bitmap, px, 3), 2) << ref;
        matched = true;
      }
      stbi_image_free(px);
    }
    EXPECT_TRUE(matched) << "size " << bitmap->width << "x" << bitmap->height;
    ++checked;
  }
  EXPECT_EQ(checked, 27);
}

TEST(BmpSuite, BadAndQuestionableImagesNeverCrash) {
  HU_SKIP_WITHOUT_TEST_DATA(kBmpSuite + "b");
  int refused = 0, loaded = 0;
  for (const char* set : {"b", "q", "x"}) {
    for (const auto& entry : fs::directory_iterator(kBmpSuite + set)) {
      // Through the public call, so the file reading is covered too.
      HBITMAP bm = SHLoadDIBitmap(wide(entry.path().string()).c_str());
      if (bm) {
        BITMAP desc{};
        EXPECT_EQ(GetObjectW(bm, sizeof desc, &desc), static_cast<int>(sizeof desc));
        EXPECT_GT(desc.bmWidth, 0);
        ++loaded;
        DeleteObject(bm);
      } else {
        ++refused;
      }
    }
  }
  EXPECT_GT(refused, 10);  // most of the bad set
  EXPECT_GT(loaded, 20);   // most of the questionable set reads fine
}

TEST(BmpDecoder, MutatedSuiteFilesNeverReadOutOfBounds) {
  // Random damage to every good image: headers, tables and RLE streams with wrong numbers.
  // Whatever comes out, the sanitizer build must see no bad read.
  HU_SKIP_WITHOUT_TEST_DATA(kBmpSuite + "g");
  std::mt19937 rng(2024);
  int decoded = 0;
  for (const auto& entry : fs::directory_iterator(kBmpSuite + "g")) {
    const std::vector<uint8_t> original = readAll(entry.path().string());
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bytes = original;
      const int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        // Mostly the first 128 bytes, where the sizes and offsets live.
        const size_t at = (rng() % 4 ? rng() % 128 : rng()) % bytes.size();
        bytes[at] = static_cast<uint8_t>(rng());
      }
      if (rng() % 5 == 0) bytes.resize(rng() % bytes.size());
      std::string why;
      if (plat::image::decodeBmp(bytes.data(), bytes.size(), why)) ++decoded;
    }
  }
  EXPECT_GT(decoded, 0);
}

TEST(BmpDecoder, MalformedHeadersAreRefused) {
  // A valid 2x2 24-bit file, then broken copies of it.
  std::vector<uint8_t> good(14 + 40 + 16, 0);
  auto put32 = [&](std::vector<uint8_t>& v, size_t at, uint32_t x) { std::memcpy(&v[at], &x, 4); };
  good[0] = 'B', good[1] = 'M';
  put32(good, 2, static_cast<uint32_t>(good.size()));
  put32(good, 10, 54);
  put32(good, 14, 40);
  put32(good, 18, 2);
  put32(good, 22, 2);
  good[26] = 1;
  good[28] = 24;
  good[54] = 0xFF;  // bottom-left pixel blue
  std::string why;
  auto ok = plat::image::decodeBmp(good.data(), good.size(), why);
  ASSERT_TRUE(ok) << why;
  EXPECT_EQ(ok->readPixel(0, 1), 0x0000FFu);
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    size_t cut;  // bytes kept (0: all)
  };
  const Case cases[] = {
      {"short header", 0, 0, 20},
      {"header size", 14, 7, 0},
      {"header beyond file", 14, 124, 0},
      {"zero width", 18, 0, 0},
      {"negative width", 18, 0xFFFFFFFE, 0},
      {"huge size", 18, 0x7FFFFFFF, 0},
      {"most negative height", 22, 0x80000000, 0},
      {"bit count 7", 28, 7, 0},
      {"planes 2", 26, 2, 0},
      {"offset past end", 10, 4000, 0},
      {"pixels cut short", 0, 0, 60},
      {"jpeg inside", 30, 4, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    if (c.at) {
      if (c.at == 26 || c.at == 28) {
        bad[c.at] = static_cast<uint8_t>(c.value);
      } else {
        put32(bad, c.at, c.value);
      }
    }
    if (c.cut) bad.resize(c.cut);
    EXPECT_FALSE(plat::image::decodeBmp(bad.data(), bad.size(), why)) << c.what;
  }
}

TEST(BmpDecoder, RleRunsPastTheRowsAreCut) {
  // 4x2 RLE8: a run of 200 pixels, a delta far away, an absolute run cut by the file end.
  std::vector<uint8_t> f(14 + 40 + 8, 0);
  auto put32 = [&](size_t at, uint32_t x) { std::memcpy(&f[at], &x, 4); };
  f[0] = 'B', f[1] = 'M';
  put32(14, 40);
  put32(18, 4);
  put32(22, 2);
  f[26] = 1;
  f[28] = 8;
  put32(30, BI_RLE8);
  put32(46, 2);  // two colours
  f[54 + 2] = 0xFF;  // colour 0 black, colour 1 red
  f[54 + 4 + 2] = 0xFF;
  put32(10, static_cast<uint32_t>(f.size()));
  const uint8_t stream[] = {200, 1, 0, 2, 250, 250, 0, 9, 1};
  f.insert(f.end(), stream, stream + sizeof stream);
  std::string why;
  auto b = plat::image::decodeBmp(f.data(), f.size(), why);
  ASSERT_TRUE(b) << why;
  EXPECT_EQ(b->readPixel(3, 1), 0xFF0000u);  // bottom row filled by the long run
  EXPECT_EQ(b->readPixel(0, 0), 0xFF0000u);
}

TEST(ShLoadDIBitmap, MissingFileGivesNull) {
  EXPECT_EQ(SHLoadDIBitmap(u"/nonexistent/folder/none.bmp"), nullptr);
  EXPECT_EQ(SHLoadDIBitmap(nullptr), nullptr);
}

TEST(ShLoadDIBitmap, LoadedBitmapsDrawLikeAnyOther) {
  const std::string file = kBmpSuite + "g/pal8.bmp";
  HU_SKIP_WITHOUT_TEST_DATA(file);
  HBITMAP bm = SHLoadDIBitmap(wide(file).c_str());
  ASSERT_NE(bm, nullptr);
  BITMAP desc{};
  GetObjectW(bm, sizeof desc, &desc);
  EXPECT_EQ(desc.bmWidth, 127);
  EXPECT_EQ(desc.bmHeight, 64);
  HDC src = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(src, bm);
  Canvas c(127, 64);
  BitBlt(c.dc(), 0, 0, 127, 64, src, 0, 0, SRCCOPY);
  int w = 0, h = 0, n = 0;
  unsigned char* ref = stbi_load((kBmpSuite + "html/pal8.png").c_str(), &w, &h, &n, 3);
  ASSERT_TRUE(ref);
  EXPECT_EQ(c.at(10, 10), (uint32_t(ref[(10 * 127 + 10) * 3]) << 16) | (ref[(10 * 127 + 10) * 3 + 1] << 8) |
                              ref[(10 * 127 + 10) * 3 + 2]);
  stbi_image_free(ref);
  SelectObject(src, old);
  DeleteDC(src);
  DeleteObject(bm);
}

std::vector<int> readJsonInts(const std::string& path) {
  std::ifstream in(path);
  std::vector<int> out;
  int v = 0;
  bool inNum = false;
  for (char ch; in.get(ch);) {
    if (ch >= '0' && ch <= '9') {
      v = v * 10 + (ch - '0');
      inNum = true;
    } else if (inNum) {
      out.push_back(v);
      v = 0;
      inNum = false;
    }
  }
  return out;
}

TEST(PngSuite, ImagingServiceDecodesEveryValidFileAndRefusesCorruptOnesSafely) {
  HU_SKIP_WITHOUT_TEST_DATA(kPngSuite + "png");
  int decoded = 0, compared = 0;
  for (const auto& entry : fs::directory_iterator(kPngSuite + "png")) {
    const std::string name = entry.path().stem().string();
    if (entry.path().extension() != ".png") continue;
    SCOPED_TRACE(name);
    auto img = plat::image::Image::fromFile(wide(entry.path().string()).c_str());
    if (name[0] == 'x') continue;  // corrupt: refused or decoded, but never a crash
    ASSERT_TRUE(img);
    ++decoded;
    const std::vector<int> want = readJsonInts(kPngSuite + "json/" + name + ".json");
    if (want.size() != static_cast<size_t>(img->width()) * img->height() * 4) continue;
    if (*std::max_element(want.begin(), want.end()) > 255) continue;  // 16-bit samples
    int worst = 0;
    for (size_t i = 0; i < img->pixels().size(); ++i) {
      const uint32_t p = img->pixels()[i];
      const int got[4] = {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255), int(p >> 24)};
      for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(got[k] - want[i * 4 + k]));
    }
    EXPECT_LE(worst, 1);
    ++compared;
  }
  EXPECT_GT(decoded, 150);
  EXPECT_GT(compared, 100);
}

TEST(Imaging, ThumbnailFitsTheBoxAndBlendsAlpha) {
  // A 4x2 picture: left half red, right half half-transparent green.
  std::vector<uint8_t> bmp(14 + 40 + 4 * 2 * 4, 0);
  auto put32 = [&](size_t at, uint32_t x) { std::memcpy(&bmp[at], &x, 4); };
  bmp[0] = 'B', bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 4);
  put32(22, 2);
  bmp[26] = 1;
  bmp[28] = 32;
  for (int i = 0; i < 8; ++i) put32(54 + i * 4, (i % 4) < 2 ? 0xFFFF0000u : 0x8000FF00u);
  auto img = plat::image::Image::fromMemory(bmp.data(), bmp.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 4);
  EXPECT_EQ(img->height(), 2);
  auto thumb = img->thumbnail(2, 1);
  ASSERT_TRUE(thumb);
  EXPECT_EQ(thumb->pixels()[0], 0xFFFF0000u);
  Canvas c(10, 6, 0x0000FF);
  RECT r{1, 1, 9, 5};
  EXPECT_TRUE(img->draw(c.dc(), r));
  EXPECT_EQ(c.at(1, 1), 0xFF0000u);
  EXPECT_EQ(c.at(0, 0), 0x0000FFu);
  const uint32_t mixed = c.at(8, 4);  // green at half over blue
  EXPECT_NEAR(int((mixed >> 8) & 255), 128, 2);
  EXPECT_NEAR(int(mixed & 255), 127, 2);
  EXPECT_EQ(c.at(9, 5), 0x0000FFu);
  EXPECT_FALSE(img->draw(c.dc(), RECT{5, 5, 5, 9}));
  EXPECT_EQ(plat::image::Image::fromMemory("junk", 4), nullptr);
  EXPECT_EQ(plat::image::Image::fromFile(u"/nonexistent.png"), nullptr);
}

// Drawn larger, each target pixel is the picture pixel under it (x * sw / w, y * sh / h), whatever
// the factor, the clip or where rows repeat: a 3x2 picture of six opaque colours.
TEST(Imaging, EnlargedDrawingPicksThePicturePixelUnderEachTargetPixel) {
  std::vector<uint8_t> bmp(54 + 6 * 4, 0);
  auto put32 = [&](size_t at, uint32_t x) { std::memcpy(&bmp[at], &x, 4); };
  bmp[0] = 'B', bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54), put32(14, 40), put32(18, 3), put32(22, static_cast<uint32_t>(-2));
  bmp[26] = 1, bmp[28] = 32;
  const uint32_t colours[6] = {0x110000, 0x002200, 0x000033, 0x440000, 0x005500, 0x000066};
  for (int i = 0; i < 6; ++i) put32(54 + i * 4, 0xFF000000u | colours[i]);
  auto img = plat::image::Image::fromMemory(bmp.data(), bmp.size());
  ASSERT_TRUE(img);
  const struct { RECT target, clip; } cases[] = {
      {{0, 0, 6, 4}, {0, 0, 20, 20}}, {{1, 2, 8, 7}, {0, 0, 20, 20}}, {{0, 0, 17, 9}, {3, 2, 11, 8}}};
  for (const auto& k : cases) {
    Canvas c(20, 20, 0x808080);
    HRGN clip = CreateRectRgnIndirect(&k.clip);
    SelectClipRgn(c.dc(), clip);
    DeleteObject(clip);
    ASSERT_TRUE(img->draw(c.dc(), k.target));
    const int w = k.target.right - k.target.left, h = k.target.bottom - k.target.top;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const bool inside = x >= std::max(k.target.left, k.clip.left) && x < std::min(k.target.right, k.clip.right) &&
                            y >= std::max(k.target.top, k.clip.top) && y < std::min(k.target.bottom, k.clip.bottom);
        const int sx = (x - k.target.left) * 3 / w, sy = (y - k.target.top) * 2 / h;
        ASSERT_EQ(c.at(x, y), inside ? colours[sy * 3 + sx] : 0x808080u) << x << "," << y << " of " << w << "x" << h;
      }
  }
}

}  // namespace
