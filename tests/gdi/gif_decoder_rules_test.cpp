// The one GIF decoder under the rules of its two users: the same damaged file read with whole
// images only (the animation player) and row by row with cut images kept (still pictures), the
// limits at their boundaries, the decoding deadline, and LZW streams as real encoders write them.
#include <gtest/gtest.h>

#include <random>

#include "gif_builder.h"
#include "plat_gif.h"

namespace {

using giftest::GifBuilder;
using plat::gif::GifDecoder;
using plat::gif::GifRules;
using Step = GifDecoder::Step;

const std::vector<giftest::Rgb> kColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kPage = 0x00123456;  // what the canvas starts with

const GifRules kWholeImages{.wholeImagesOnly = true, .drawCutImages = false};
const GifRules kRowByRow{.wholeImagesOnly = false, .drawCutImages = true};

struct Decoded {
  std::vector<Step> steps;
  std::vector<uint32_t> canvas;
};

// Reads up to `count` steps of `bytes` under `rules`; the canvas as it is after the first one.
Decoded decodeSteps(const std::vector<uint8_t>& bytes, const GifRules& rules, int count = 2) {
  Decoded r;
  GifDecoder dec(rules);
  std::string why;
  EXPECT_TRUE(dec.load(bytes.data(), bytes.size(), why)) << why;
  if (!dec.loaded()) return r;
  dec.reset(kPage);
  for (int i = 0; i < count; ++i) {
    r.steps.push_back(dec.next());
    if (i == 0) r.canvas.assign(dec.canvas(), dec.canvas() + dec.width() * dec.height());
  }
  return r;
}

TEST(GifRulesDamage, EachUserGetsItsOwnReadingOfTheSameDamage) {
  // min code size 2: clear 4, end 5, codes of 3 bits while the table is small.
  GifBuilder undefinedCode;  // three literals, then code 7, which nothing has defined yet
  undefinedCode.header(4, 1, kColours).imageCodes(0, 0, 4, 1, 2, {4, 1, 2, 4, 3, 7, 5}).trailer();
  GifBuilder pastTable;  // index 3 of a table of two colours
  pastTable.header(3, 1, {{255, 0, 0}, {0, 255, 0}}).imageCodes(0, 0, 3, 1, 2, {4, 0, 3, 1, 5}).trailer();
  GifBuilder cut;  // the file ends inside the image's only sub-block, after clear and one literal
  cut.header(3, 1, kColours).imageCodes(0, 0, 3, 1, 2, {4, 1, 2, 3, 5});
  ASSERT_EQ(cut.bytes.end()[-4], 2);  // the sub-block: length 2, two bytes of codes, terminator
  cut.bytes.resize(cut.bytes.size() - 2);

  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const GifRules& rules;
    std::vector<Step> steps;
    std::vector<uint32_t> canvas;
  } cases[] = {
      {"undefined code, whole images", undefinedCode.bytes, kWholeImages, {Step::Skipped, Step::Cycle},
       {kPage, kPage, kPage, kPage}},
      {"undefined code, row by row", undefinedCode.bytes, kRowByRow, {Step::Frame, Step::Cycle},
       {kGreen, kBlue, kWhite, kPage}},
      {"index past the table, whole images", pastTable.bytes, kWholeImages, {Step::Skipped, Step::Cycle}, {kPage, kPage, kPage}},
      {"index past the table, row by row", pastTable.bytes, kRowByRow, {Step::Frame, Step::Cycle}, {kRed, kPage, kGreen}},
      {"cut image, whole images", cut.bytes, kWholeImages, {Step::Broken, Step::Broken}, {kPage, kPage, kPage}},
      {"cut image, row by row", cut.bytes, kRowByRow, {Step::Frame, Step::Broken}, {kGreen, kPage, kPage}},
  };
  for (const Case& c : cases) {
    Decoded r = decodeSteps(c.bytes, c.rules);
    EXPECT_EQ(r.steps, c.steps) << c.what;
    EXPECT_EQ(r.canvas, c.canvas) << c.what;
  }
}

TEST(GifRulesLimits, EachLimitHoldsAtItsBoundary) {
  std::string why;
  const auto screen3x2 = GifBuilder().header(3, 2, kColours).trailer().bytes;
  const auto screen3x3 = GifBuilder().header(3, 3, kColours).trailer().bytes;
  GifDecoder canvasLimited(GifRules{.maxCanvasPixels = 6});
  EXPECT_TRUE(canvasLimited.load(screen3x2.data(), screen3x2.size(), why)) << why;
  EXPECT_FALSE(canvasLimited.load(screen3x3.data(), screen3x3.size(), why));
  EXPECT_FALSE(canvasLimited.loaded());

  GifDecoder fileLimited(GifRules{.maxFileBytes = screen3x2.size()});
  EXPECT_TRUE(fileLimited.load(screen3x2.data(), screen3x2.size(), why)) << why;
  const auto longer = GifBuilder().header(3, 2, kColours).comment("x").trailer().bytes;
  EXPECT_FALSE(fileLimited.load(longer.data(), longer.size(), why));
  EXPECT_NE(why.find("limit"), std::string::npos) << why;

  // Images of 4 pixels are decoded, one of 6 is not; the image after it still is.
  GifBuilder b;
  b.header(3, 2, kColours).image(0, 0, 2, 2, {1, 1, 1, 1}).image(0, 0, 3, 2, {2, 2, 2, 2, 2, 2}).image(2, 0, 1, 1, {3});
  b.trailer();
  GifDecoder imageLimited(GifRules{.maxImagePixels = 4});
  ASSERT_TRUE(imageLimited.load(b.bytes.data(), b.bytes.size(), why)) << why;
  imageLimited.reset(kPage);
  EXPECT_EQ(imageLimited.next(), Step::Frame);
  EXPECT_EQ(imageLimited.next(), Step::Skipped);
  EXPECT_EQ(imageLimited.canvas()[0], kGreen);
  EXPECT_EQ(imageLimited.next(), Step::Frame);
  EXPECT_EQ(imageLimited.canvas()[2], 0xFFFFFFFFu);
}

TEST(GifRulesDeadline, DecodingPastTheDeadlineStopsWithWhatItHas) {
  // 12000 literals at 9 bits: thousands of codes, so the clock is looked at during the image.
  std::vector<uint8_t> px(120 * 100);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i % 3);
  GifBuilder b;
  b.header(120, 100, kColours).image(0, 0, 120, 100, px, {}, false, 8).trailer();
  for (const GifRules* rules : {&kWholeImages, &kRowByRow}) {
    GifDecoder dec(*rules);
    std::string why;
    ASSERT_TRUE(dec.load(b.bytes.data(), b.bytes.size(), why)) << why;
    dec.reset(kPage);
    dec.setDeadline(std::chrono::steady_clock::time_point::min());
    EXPECT_EQ(dec.next(), Step::Frame);
    EXPECT_TRUE(dec.timedOut());
    EXPECT_EQ(dec.canvas()[0], kRed);
    EXPECT_EQ(dec.canvas()[px.size() - 1], kPage);  // never reached

    dec.reset(kPage);  // a new round starts in time again once the deadline moves
    dec.setDeadline(std::chrono::steady_clock::time_point::max());
    EXPECT_EQ(dec.next(), Step::Frame);
    EXPECT_FALSE(dec.timedOut());
    EXPECT_EQ(dec.canvas()[px.size() - 1], 0xFF000000u | (px.back() == 1 ? 0x00FF00u : px.back() == 2 ? 0xFFu : 0xFF0000u));
  }
}

TEST(GifLzw, StreamsOfRealEncodersDecodeExactlyAtEveryCodeSize) {
  // Noise with runs: long strings, the code defined by the same code (KwKwK), a table that
  // fills up and is cleared, codes across sub-block boundaries; at the smallest code sizes the
  // code width grows right after the first code. One file, an image per code size, in an
  // order where an image with more roots follows one whose table used those codes.
  std::mt19937 rng(5);
  std::vector<giftest::Rgb> table;
  for (int i = 0; i < 256; ++i) table.push_back({uint8_t(i * 37), uint8_t(255 - i), uint8_t(i * 11)});
  const int w = 97, h = 83;
  const std::vector<int> sizes = {2, 8, 1, 3, 5, 8};
  std::vector<std::vector<uint8_t>> images;
  GifBuilder b;
  b.header(w, h, table);
  for (int minCodeSize : sizes) {
    const int colours = 1 << minCodeSize;
    std::vector<uint8_t> px(size_t(w) * h);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (rng() % 4 == 0 || i == 0) ? uint8_t(rng() % colours) : px[i - 1];
    b.imageEncoded(0, 0, w, h, px, minCodeSize);
    images.push_back(px);
  }
  b.trailer();
  for (const GifRules* rules : {&kWholeImages, &kRowByRow}) {
    GifDecoder dec(*rules);
    std::string why;
    ASSERT_TRUE(dec.load(b.bytes.data(), b.bytes.size(), why)) << why;
    dec.reset(kPage);
    for (size_t k = 0; k < sizes.size(); ++k) {
      ASSERT_EQ(dec.next(), Step::Frame) << dec.why();
      int wrong = 0, first = -1;
      for (size_t i = 0; i < images[k].size(); ++i) {
        const giftest::Rgb c = table[images[k][i]];
        if (dec.canvas()[i] != (0xFF000000u | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b) && wrong++ == 0)
          first = int(i);
      }
      EXPECT_EQ(wrong, 0) << "image " << k << ", code size " << sizes[k] << ", first wrong pixel " << first
                          << (rules->wholeImagesOnly ? " (whole images)" : " (row by row)");
    }
    EXPECT_EQ(dec.next(), Step::Cycle);
  }
}

TEST(GifSteps, AnImageIsDescribedBeforeAnythingOfItIsDrawn) {
  GifBuilder b;
  b.header(2, 1, kColours).control(0, false, 0, 9).image(1, 0, 1, 1, {2}).trailer();
  GifDecoder dec(kRowByRow);
  std::string why;
  ASSERT_TRUE(dec.load(b.bytes.data(), b.bytes.size(), why)) << why;
  dec.reset(kPage);
  EXPECT_EQ(dec.drawImage(), Step::Broken);  // nothing read yet
  ASSERT_EQ(dec.nextImage(), Step::Image);
  EXPECT_EQ(dec.frame().left, 1);
  EXPECT_TRUE(dec.control().present);
  EXPECT_EQ(dec.control().delay, 9);
  EXPECT_EQ(dec.canvas()[1], kPage);
  EXPECT_EQ(dec.drawImage(), Step::Frame);
  EXPECT_EQ(dec.canvas()[1], kBlue);
  EXPECT_EQ(dec.drawImage(), Step::Broken);  // drawn once only
  EXPECT_EQ(dec.nextImage(), Step::Cycle);
}

}  // namespace
