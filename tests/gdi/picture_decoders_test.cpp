// The imaging service's decoders: GIF first frames against the GIF suite's renderings and the
// frame forms other decoders refuse, JPEG thumbnails at reduced scale, and files that declare
// more than a load may take.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <jpeglib.h>
#include <stb/stb_image.h>

#include "gdi/bitmap.h"
#include "gdi_test_util.h"
#include "image/bmp_decoder.h"
#include "image/picture_decoders.h"
#include "test_data.h"
#include "windows.h"

namespace fs = std::filesystem;
using plat::image::Image;

namespace {

const std::string kGifSuite = HU_TESTDATA_DIR "/gif/pygif-test-suite/test-suite/";

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// --- GIF -------------------------------------------------------------------------------------

struct GifFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;
  int transparent = -1;
  bool leadingClear = true;
};

// A GIF with a global table of `colours` (0xRRGGBB) and one frame, coded at 8 bits per code
// with literal codes only (a clear code before the table would grow a code wider).
std::vector<uint8_t> makeGif(int screenW, int screenH, const std::vector<uint32_t>& colours, const GifFrame& f) {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a'};
  auto u16 = [&](int v) {
    g.push_back(static_cast<uint8_t>(v));
    g.push_back(static_cast<uint8_t>(v >> 8));
  };
  u16(screenW);
  u16(screenH);
  g.push_back(0xF6);  // global table of 128 entries
  g.push_back(0);
  g.push_back(0);
  for (int i = 0; i < 128; ++i) {
    const uint32_t c = i < int(colours.size()) ? colours[i] : 0;
    g.push_back(static_cast<uint8_t>(c >> 16));
    g.push_back(static_cast<uint8_t>(c >> 8));
    g.push_back(static_cast<uint8_t>(c));
  }
  if (f.transparent >= 0) {
    const uint8_t gce[] = {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(f.transparent), 0};
    g.insert(g.end(), gce, gce + sizeof gce);
  }
  g.push_back(0x2C);
  u16(f.left);
  u16(f.top);
  u16(f.width);
  u16(f.height);
  g.push_back(0);
  const int minCode = 7, width = 8;
  const unsigned clear = 1u << minCode;
  g.push_back(minCode);
  std::vector<unsigned> codes;
  if (f.leadingClear) codes.push_back(clear);
  int sinceClear = 0;
  for (uint8_t index : f.indices) {
    if (sinceClear == int(clear) - 3) {
      codes.push_back(clear);
      sinceClear = 0;
    }
    codes.push_back(index);
    ++sinceClear;
  }
  codes.push_back(clear + 1);
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned c : codes) {
    acc |= c << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  if (bits) bytes.push_back(static_cast<uint8_t>(acc));
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    g.push_back(static_cast<uint8_t>(n));
    g.insert(g.end(), bytes.begin() + at, bytes.begin() + at + n);
  }
  g.push_back(0);
  g.push_back(0x3B);
  return g;
}

std::map<std::string, std::string> readConf(const std::string& path) {
  std::map<std::string, std::string> out;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq == std::string::npos) {
      const size_t bare = line.find(" =");
      if (bare != std::string::npos) out[section + "." + line.substr(0, bare)] = "";
      continue;
    }
    out[section + "." + line.substr(0, eq)] = line.substr(eq + 3);
  }
  return out;
}

TEST(GifSuite, FirstFramesMatchTheSuiteRenderings) {
  HU_SKIP_WITHOUT_TEST_DATA(kGifSuite + "TESTS");
  int compared = 0, opened = 0;
  std::vector<std::string> mustCompare = {"image-inside-bg", "image-outside-bg", "image-overlap-bg", "no-clear",
                                          "no-clear-and-eoi", "missing-pixels", "extra-pixels", "interlace",
                                          "local-color-table", "transparent", "depth1", "high-color", "max-width"};
  for (const auto& entry : fs::directory_iterator(kGifSuite)) {
    if (entry.path().extension() != ".conf") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    auto conf = readConf(entry.path().string());
    auto img = Image::fromFile(wide(kGifSuite + conf["config.input"]).c_str());
    if (img) {
      ++opened;
      (void)img->pixels();  // every file decodes or fails without harm
    }
    const std::string frames = conf["config.frames"];
    if (frames.empty()) continue;  // the suite expects nothing to be shown
    // Two whole-screen images without control extensions: the suite composes them, while
    // readers (and we) show the first as the still picture, as for its animations without them.
    if (name == "images-overlap") continue;
    const std::string first = frames.substr(0, frames.find(','));
    std::vector<uint8_t> want;
    const int w = std::stoi(conf["config.width"]), h = std::stoi(conf["config.height"]);
    if (conf.count(first + ".pixels")) {
      want = readAll(kGifSuite + conf[first + ".pixels"]);
    } else {
      int pw = 0, ph = 0, n = 0;
      unsigned char* px = stbi_load((kGifSuite + conf[first + ".image"]).c_str(), &pw, &ph, &n, 4);
      ASSERT_TRUE(px);
      want.assign(px, px + size_t(pw) * ph * 4);
      stbi_image_free(px);
    }
    ASSERT_TRUE(img);
    ASSERT_EQ(img->width(), w);
    ASSERT_EQ(img->height(), h);
    const std::vector<uint32_t>& got = img->pixels();
    ASSERT_EQ(got.size() * 4, want.size());
    int bad = 0;
    std::ostringstream where;
    for (size_t i = 0; i < got.size(); ++i) {
      const uint8_t* q = &want[i * 4];
      const uint32_t p = got[i];
      const uint32_t expected = (uint32_t(q[3]) << 24) | (q[3] ? (uint32_t(q[0]) << 16) | (q[1] << 8) | q[2] : 0);
      if ((q[3] ? p : p & 0xFF000000u) != expected && ++bad <= 4)
        where << " pixel " << i << ": " << std::hex << p << " not " << expected << std::dec;
    }
    EXPECT_EQ(bad, 0) << where.str();
    mustCompare.erase(std::remove(mustCompare.begin(), mustCompare.end(), name), mustCompare.end());
    ++compared;
  }
  EXPECT_TRUE(mustCompare.empty()) << "not compared: " << mustCompare.front();
  EXPECT_GE(compared, 50);
  EXPECT_GE(opened, 70);
}

TEST(GifFrames, FrameLargerThanTheScreenAndPartlyOutsideIsCut) {
  // Screen 4x3; a 5x4 frame at (2, 1): only its top-left 2x2 corner is on the screen.
  GifFrame f{2, 1, 5, 4, {}, -1, true};
  for (int i = 0; i < 20; ++i) f.indices.push_back(static_cast<uint8_t>(1 + i % 5));
  const auto g = makeGif(4, 3, {0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF}, f);
  auto img = Image::fromMemory(g.data(), g.size());
  ASSERT_TRUE(img);
  ASSERT_EQ(img->pixels().size(), 12u);
  const std::vector<uint32_t>& p = img->pixels();
  EXPECT_EQ(p[1 * 4 + 2], 0xFFFF0000u);  // frame (0,0): index 1, red, in the file's channel order
  EXPECT_EQ(p[1 * 4 + 3], 0xFF00FF00u);  // frame (1,0): index 2
  EXPECT_EQ(p[2 * 4 + 2], 0xFFFF0000u);  // frame (0,1): the 6th pixel of the stream, index 1
  EXPECT_EQ(p[2 * 4 + 3], 0xFF00FF00u);  // frame (1,1): the 7th, index 2
  for (int i : {0, 1, 2, 3, 4, 5, 8, 9}) EXPECT_EQ(p[i], 0u) << i;  // outside the frame: transparent
}

TEST(GifFrames, StreamWithoutALeadingClearCodeDecodes) {
  GifFrame f{0, 0, 3, 1, {3, 1, 2}, -1, false};
  const auto g = makeGif(3, 1, {0, 0xFF0000, 0x00FF00, 0x0000FF}, f);
  auto img = Image::fromMemory(g.data(), g.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixels(), (std::vector<uint32_t>{0xFF0000FFu, 0xFFFF0000u, 0xFF00FF00u}));
}

TEST(GifFrames, TransparentIndexAndUncoveredScreenStayTransparentWhenDrawn) {
  GifFrame f{1, 0, 2, 1, {1, 2}, 2, true};
  const auto g = makeGif(4, 1, {0xFFFFFF, 0xFF0000, 0x00FF00}, f);
  auto img = Image::fromMemory(g.data(), g.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->pixels(), (std::vector<uint32_t>{0, 0xFFFF0000u, 0, 0}));
}

TEST(GifFrames, LongStreamsWithManyClearCodesDecodeEveryPixel) {
  // More pixels than one table holds: the encoder's clear codes restart the code width.
  GifFrame f{0, 0, 100, 7, {}, -1, true};
  for (int i = 0; i < 700; ++i) f.indices.push_back(static_cast<uint8_t>(i % 7));
  std::vector<uint32_t> colours;
  for (int i = 0; i < 7; ++i) colours.push_back(0x102030u * (i + 1));
  const auto g = makeGif(100, 7, colours, f);
  auto img = Image::fromMemory(g.data(), g.size());
  ASSERT_TRUE(img);
  ASSERT_EQ(img->pixels().size(), 700u);
  for (int i = 0; i < 700; ++i) ASSERT_EQ(img->pixels()[i], 0xFF000000u | colours[i % 7]) << i;
}

// --- JPEG ------------------------------------------------------------------------------------

// A JPEG of w x h: a smooth picture (colour gradients) that survives scaling.
std::vector<uint8_t> makeJpeg(int w, int h, int components = 3, bool adobeCmyk = false,
                              const std::vector<uint8_t>& app1 = {}, uint32_t solid = 0xFFFFFFFF) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = static_cast<JDIMENSION>(w);
  c.image_height = static_cast<JDIMENSION>(h);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 90, TRUE);
  jpeg_start_compress(&c, TRUE);
  if (!app1.empty()) jpeg_write_marker(&c, JPEG_APP0 + 1, app1.data(), static_cast<unsigned>(app1.size()));
  std::vector<uint8_t> row(size_t(w) * components);
  while (c.next_scanline < c.image_height) {
    const int y = static_cast<int>(c.next_scanline);
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &row[size_t(x) * components];
      if (components == 4) {
        // Inverted CMYK as Adobe writes it: (255, 0, 0, 255) is pure red.
        p[0] = 255, p[1] = 0, p[2] = 0, p[3] = static_cast<uint8_t>(adobeCmyk ? 255 : 0);
      } else if (solid != 0xFFFFFFFF && components == 3) {
        p[0] = static_cast<uint8_t>(solid >> 16), p[1] = static_cast<uint8_t>(solid >> 8), p[2] = static_cast<uint8_t>(solid);
      } else {
        p[0] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
        if (components == 3) {
          p[1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
          p[2] = 128;
        }
      }
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&c);
  free(out);
  return bytes;
}

TEST(JpegPictures, ThumbnailAtReducedScaleMatchesTheFullPictureScaledDown) {
  const auto jpg = makeJpeg(1280, 960);
  auto img = Image::fromMemory(jpg.data(), jpg.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 1280);
  EXPECT_EQ(img->height(), 960);
  auto thumb = img->thumbnail(160, 120);  // 1/8 scale: exactly the thumbnail's size
  ASSERT_TRUE(thumb);
  ASSERT_EQ(thumb->pixels().size(), 160u * 120u);
  const std::vector<uint32_t>& full = img->pixels();
  ASSERT_EQ(full.size(), 1280u * 960u);
  int worst = 0;
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      const uint32_t t = thumb->pixels()[size_t(y) * 160 + x];
      EXPECT_EQ(t >> 24, 255u);
      // The gradient itself: red follows x, green follows y.
      const int r = (t >> 16) & 255, g = (t >> 8) & 255;
      worst = std::max({worst, std::abs(r - (x * 8 + 4) * 255 / 1279), std::abs(g - (y * 8 + 4) * 255 / 959)});
    }
  EXPECT_LE(worst, 6);
  EXPECT_NE(full[0], full[1279]);
}

TEST(JpegPictures, PhotoTooLargeToDecodeWholeStillGivesAThumbnail) {
  // 4200 x 4100 pixels take more than the load budget at full size, not at 1/8.
  const auto jpg = makeJpeg(4200, 4100, 1);
  auto img = Image::fromMemory(jpg.data(), jpg.size());
  ASSERT_TRUE(img);
  auto thumb = img->thumbnail(105, 102);
  ASSERT_TRUE(thumb);
  const uint32_t left = thumb->pixels()[50 * 105 + 2], right = thumb->pixels()[50 * 105 + 102];
  EXPECT_LT(left & 255, 20u);   // grey gradient, dark on the left
  EXPECT_GT(right & 255, 235u);  // light on the right
  EXPECT_EQ(left & 255, (left >> 16) & 255);  // grey
  EXPECT_TRUE(img->pixels().empty());  // the whole picture is refused, not half-taken
}

TEST(JpegPictures, GreyAndInvertedCmykComeOutAsColours) {
  const auto grey = makeJpeg(16, 16, 1);
  auto g = Image::fromMemory(grey.data(), grey.size());
  ASSERT_TRUE(g);
  const uint32_t p = g->pixels().at(15);
  EXPECT_EQ(p >> 24, 255u);
  EXPECT_EQ((p >> 16) & 255, p & 255);
  EXPECT_GT(p & 255, 240u);
  const auto cmyk = makeJpeg(16, 16, 4, true);
  auto c = Image::fromMemory(cmyk.data(), cmyk.size());
  ASSERT_TRUE(c);
  const uint32_t q = c->pixels().at(5);
  EXPECT_GT((q >> 16) & 255, 240u);
  EXPECT_LT((q >> 8) & 255, 15u);
  EXPECT_LT(q & 255, 15u);
}

// An Exif block whose second directory points at the JPEG `thumb`, as cameras write it;
// `offsetShift` moves the recorded offset to make a damaged block.
std::vector<uint8_t> exifWith(const std::vector<uint8_t>& thumb, uint32_t offsetShift = 0) {
  std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v >> 8)), b.push_back(uint8_t(v)); };
  auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
  u16(0);   // IFD0 without entries
  u32(14);  // then IFD1
  u16(2);
  u16(0x0201), u16(4), u32(1), u32(14 + 2 + 24 + 4 + offsetShift);
  u16(0x0202), u16(4), u32(1), u32(static_cast<uint32_t>(thumb.size()));
  u32(0);
  b.insert(b.end(), thumb.begin(), thumb.end());
  return b;
}

uint32_t centre(const std::unique_ptr<Image>& img) {
  return img->pixels()[size_t(img->height() / 2) * img->width() + img->width() / 2] & 0xFFFFFF;
}

bool greenish(uint32_t p) { return ((p >> 8) & 255) > 200 && ((p >> 16) & 255) < 60 && (p & 255) < 60; }

TEST(JpegPictures, CameraThumbnailIsUsedWhenItCoversTheCellAndShowsTheSamePicture) {
  // The photo is a gradient; its Exif thumbnail is plain green, so the result tells which was used.
  const auto green43 = makeJpeg(160, 120, 3, false, {}, 0x00FF00);
  const auto photo = makeJpeg(640, 480, 3, false, exifWith(green43));
  auto img = Image::fromMemory(photo.data(), photo.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 640);
  auto same = img->thumbnail(160, 120);
  ASSERT_TRUE(same);
  EXPECT_TRUE(greenish(centre(same))) << std::hex << centre(same);
  auto smaller = img->thumbnail(80, 60);
  ASSERT_TRUE(smaller);
  EXPECT_TRUE(greenish(centre(smaller)));
  auto larger = img->thumbnail(320, 240);  // the camera's copy is too small: the photo itself
  ASSERT_TRUE(larger);
  EXPECT_FALSE(greenish(centre(larger)));
  EXPECT_FALSE(greenish(centre(img)));
  // A square thumbnail of a 4:3 photo shows something else (bars, a crop): not used.
  const auto green11 = makeJpeg(160, 160, 3, false, {}, 0x00FF00);
  const auto squarePhoto = makeJpeg(640, 480, 3, false, exifWith(green11));
  auto sq = Image::fromMemory(squarePhoto.data(), squarePhoto.size());
  ASSERT_TRUE(sq);
  auto t = sq->thumbnail(160, 120);
  ASSERT_TRUE(t);
  EXPECT_FALSE(greenish(centre(t)));
  // Offsets that point past the block or into the middle of the copy: the photo itself.
  for (uint32_t shift : {1u, 100000u, 0xFFFFFFF0u}) {
    const auto damaged = makeJpeg(640, 480, 3, false, exifWith(green43, shift));
    auto d = Image::fromMemory(damaged.data(), damaged.size());
    ASSERT_TRUE(d);
    auto dt = d->thumbnail(160, 120);
    ASSERT_TRUE(dt) << shift;
    EXPECT_FALSE(greenish(centre(dt))) << shift;
  }
}

// --- Damaged files ---------------------------------------------------------------------------

TEST(DamagedPictures, MutatedSuiteFilesAndPhotosNeverReadOutOfBounds) {
  // Random damage to real files of every format: the sanitizer build must see no bad access,
  // whatever each decoder makes of it.
  std::vector<std::vector<uint8_t>> originals;
  for (const std::string& dir : {kGifSuite, std::string(HU_TESTDATA_DIR "/png/png/")}) {
    HU_SKIP_WITHOUT_TEST_DATA(dir);
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string ext = entry.path().extension().string();
      if (ext == ".gif" || ext == ".png") originals.push_back(readAll(entry.path().string()));
    }
  }
  originals.push_back(makeJpeg(64, 48));
  originals.push_back(makeJpeg(40, 40, 1));
  originals.push_back(makeJpeg(64, 48, 3, false, exifWith(makeJpeg(16, 12))));
  std::mt19937 rng(17);
  int decoded = 0;
  for (const std::vector<uint8_t>& original : originals) {
    if (original.size() < 8) continue;
    for (int round = 0; round < 12; ++round) {
      std::vector<uint8_t> bytes = original;
      const int edits = 1 + static_cast<int>(rng() % 6);
      for (int e = 0; e < edits; ++e) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
      if (rng() % 4 == 0) bytes.resize(8 + rng() % (bytes.size() - 7));
      auto img = Image::fromMemory(bytes.data(), bytes.size());
      if (!img) continue;
      if (!img->pixels().empty()) ++decoded;
      (void)img->thumbnail(7, 5);
    }
  }
  EXPECT_GT(decoded, 100);
}

// --- Drawing ---------------------------------------------------------------------------------

TEST(ImagingDrawing, PicturesDrawnIntoTheirCellsAsTheScreenShowsThem) {
  // A grey checkerboard behind three cells: a 32-bit bitmap whose right half is half
  // transparent, a GIF disc whose corners are its transparent index, and a JPEG photo's
  // thumbnail fitted to its cell.
  gdi_test::Canvas c(240, 72);
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 240; ++x) c.pixels()[y * 240 + x] = ((x / 8 + y / 8) & 1) ? 0xC0C0C0 : 0x808080;
  std::vector<uint8_t> bmp(14 + 40 + 48 * 32 * 4, 0);
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
  bmp[0] = 'B', bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, 48);
  put32(22, 32);
  bmp[26] = 1;
  bmp[28] = 32;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 48; ++x) {
      const uint32_t a = x < 24 ? 255 : 128, r = x * 255 / 47, b = 255 - r, g = (31 - y) * 255 / 31;
      put32(54 + (size_t(y) * 48 + x) * 4, (a << 24) | (r << 16) | (g << 8) | b);
    }
  auto picture = Image::fromMemory(bmp.data(), bmp.size());
  ASSERT_TRUE(picture);
  EXPECT_TRUE(picture->draw(c.dc(), RECT{4, 4, 100, 68}));

  GifFrame f{0, 0, 16, 16, {}, 0, true};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int d = (2 * x - 15) * (2 * x - 15) + (2 * y - 15) * (2 * y - 15);
      f.indices.push_back(static_cast<uint8_t>(d > 225 ? 0 : d > 150 ? 2 : 1));
    }
  const auto gif = makeGif(16, 16, {0xFFFFFF, 0xE02020, 0x20A040}, f);
  auto disc = Image::fromMemory(gif.data(), gif.size());
  ASSERT_TRUE(disc);
  EXPECT_TRUE(disc->draw(c.dc(), RECT{108, 4, 172, 68}));

  const auto jpg = makeJpeg(640, 480);
  auto photo = Image::fromMemory(jpg.data(), jpg.size());
  ASSERT_TRUE(photo);
  auto thumb = photo->thumbnail(64, 48);
  ASSERT_TRUE(thumb);
  EXPECT_TRUE(thumb->draw(c.dc(), RECT{172, 12, 236, 60}));

  EXPECT_EQ(c.at(110, 6), 0xC0C0C0u);  // a transparent corner of the disc shows the board
  EXPECT_EQ(c.at(140, 36), 0xE02020u);
  gdi_test::expectGolden("imaging_cells", c.pixels(), c.width(), c.height(), 2);
}

// --- Budgets -----------------------------------------------------------------------------------

void putBe32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x >> 24), v[at + 1] = static_cast<uint8_t>(x >> 16);
  v[at + 2] = static_cast<uint8_t>(x >> 8), v[at + 3] = static_cast<uint8_t>(x);
}

TEST(PictureBudget, TinyFilesDeclaringHugePicturesAreRefusedBeforeTheMemoryIsTaken) {
  // GIF: a 65535 x 65535 screen.
  GifFrame f{0, 0, 1, 1, {1}, -1, true};
  auto gif = makeGif(2, 2, {0, 0xFF0000}, f);
  gif[6] = gif[7] = gif[8] = gif[9] = 0xFF;
  EXPECT_EQ(Image::fromMemory(gif.data(), gif.size()), nullptr);
  // PNG: the header of a 60000 x 60000 picture and nothing more.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  png.resize(33, 0);
  putBe32(png, 16, 60000);
  putBe32(png, 20, 60000);
  png[24] = 8;
  png[25] = 6;
  EXPECT_EQ(Image::fromMemory(png.data(), png.size()), nullptr);
  // JPEG: a 65000 x 65000 frame header; even its 1/8 scale would not fit.
  auto jpg = makeJpeg(8, 8);
  for (size_t i = 2; i + 8 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      jpg[i + 5] = 0xFD, jpg[i + 6] = 0xE8, jpg[i + 7] = 0xFD, jpg[i + 8] = 0xE8;
      break;
    }
  EXPECT_EQ(Image::fromMemory(jpg.data(), jpg.size()), nullptr);
  // BMP: RLE8 claims 30000 x 30000 in a few bytes.
  std::vector<uint8_t> bmp(14 + 40 + 4 + 4, 0);
  bmp[0] = 'B', bmp[1] = 'M';
  bmp[10] = 58;
  bmp[14] = 40;
  bmp[18] = 0x30, bmp[19] = 0x75;  // 30000
  bmp[22] = 0x30, bmp[23] = 0x75;
  bmp[26] = 1;
  bmp[28] = 8;
  bmp[30] = BI_RLE8;
  bmp[46] = 1;
  EXPECT_EQ(Image::fromMemory(bmp.data(), bmp.size()), nullptr);
  std::string why;
  EXPECT_EQ(plat::image::decodeBmp(bmp.data(), bmp.size(), why), nullptr);
  EXPECT_NE(why.find("budget"), std::string::npos) << why;
}

TEST(PictureBudget, GiantClippedGifFrameAndTruncatedGiantJpegFinishQuickly) {
  // A 65535 x 65535 frame on a 16 x 16 screen: decoded as far as its data goes, cut to the screen.
  GifFrame f{0, 0, 65535, 65535, std::vector<uint8_t>(5000, 1), -1, true};
  const auto g = makeGif(16, 16, {0, 0x00FF00}, f);
  auto img = Image::fromMemory(g.data(), g.size());
  ASSERT_TRUE(img);
  ASSERT_EQ(img->pixels().size(), 256u);
  EXPECT_EQ(img->pixels()[0], 0xFF00FF00u);
  EXPECT_EQ(img->pixels()[255], 0u);  // row 15 of the frame comes after 65535 * 15 pixels
  // A JPEG header claiming 9000 x 9000 whose data ends at once: a thumbnail fits the budget
  // at 1/8 and comes out of the missing data; the whole picture is refused. (Kept small enough
  // that the 1/8 decode stays far inside the time budget on a loaded sanitizer build.)
  auto jpg = makeJpeg(8, 8);
  for (size_t i = 2; i + 8 < jpg.size(); ++i)
    if (jpg[i] == 0xFF && jpg[i + 1] == 0xC0) {
      jpg[i + 5] = 0x23, jpg[i + 6] = 0x28, jpg[i + 7] = 0x23, jpg[i + 8] = 0x28;
      break;
    }
  auto big = Image::fromMemory(jpg.data(), jpg.size());
  ASSERT_TRUE(big);
  EXPECT_EQ(big->width(), 9000);
  EXPECT_TRUE(big->thumbnail(160, 160) != nullptr);
  EXPECT_TRUE(big->pixels().empty());
}

TEST(PictureBudget, BudgetArithmeticRefusesOverflowingSizes) {
  plat::image::LoadBudget b(100);
  EXPECT_TRUE(b.takePixels(5, 5));
  EXPECT_EQ(b.left(), 0u);
  EXPECT_FALSE(b.take(1));
  plat::image::LoadBudget big;
  EXPECT_FALSE(big.takePixels(65536, 65536));
  EXPECT_FALSE(big.takePixels(int64_t(1) << 40, 1));
  EXPECT_FALSE(big.takePixels(-1, 5));
  EXPECT_TRUE(big.takePixels(4000, 4000));  // 64 000 000 bytes
  EXPECT_FALSE(big.takePixels(1000, 1000));
}

}  // namespace

// Inputs the picture fuzz target found: a Huffman table declaring more than 256 codes, and a
// tiny file that kept a decoder busy for seconds. Each loads, thumbnails and decodes within the
// budget or is refused; none reads or writes out of bounds.
TEST(DamagedPictures, FuzzFindingsAreRefusedOrDecodedWithinTheBudget) {
  for (const char* name : {"picture-jpeg-huffman-count-overflow.jpg", "picture-jpeg-slow-450-bytes.jpg"}) {
    SCOPED_TRACE(name);
    std::ifstream in(std::string(HU_SOURCE_DIR) + "/fuzz/findings/" + name, std::ios::binary);
    ASSERT_TRUE(in) << "the finding is kept in fuzz/findings";
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto img = Image::fromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    if (!img) continue;
    const auto& px = img->pixels();
    EXPECT_TRUE(px.empty() || px.size() == size_t(img->width()) * img->height());
    auto thumb = img->thumbnail(160, 120);
    if (thumb) {
      EXPECT_LE(thumb->width(), 160);
    }
  }
}
