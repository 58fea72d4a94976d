// The decoding and compositing rules of the animation player, on small files built here, and
// what it does with broken files: refuse them, or end the frame without drawing, never read
// outside the data or take more than the budget.
#include <gtest/gtest.h>

#include <fstream>

#include "gif/gif_decoder.h"
#include "gif_builder.h"

namespace {

using giftest::GifBuilder;
using giftest::Rgb;
using Step = gif::GifDecoder::Step;

const std::vector<Rgb> kColours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
constexpr uint32_t kPage = 0x00123456;  // what the canvas starts with: the page underneath

struct Loaded {
  gif::GifDecoder dec;
  std::string why;
  bool ok = false;
  explicit Loaded(const GifBuilder& b) {
    ok = dec.load(b.bytes, why);
    if (ok) dec.reset(kPage);
  }
  uint32_t at(int x, int y) const { return dec.canvas()[y * dec.width() + x]; }
};

TEST(GifDecoderLoad, RefusesWhatIsNotAGifItCanHold) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"short header", GifBuilder().header(2, 2).bytes},
      {"wrong signature", GifBuilder().header(1, 1, kColours, "GIF90a").trailer().bytes},
      {"short global table", {}},
      {"65535 x 65535", GifBuilder().header(65535, 65535, kColours).trailer().bytes},
      {"no pixels", GifBuilder().header(0, 5, kColours).trailer().bytes},
  };
  cases[1].bytes.resize(12);
  cases[3].bytes = GifBuilder().header(1, 1, kColours).bytes;
  cases[3].bytes.resize(13 + 11);
  for (auto& c : cases) {
    gif::GifDecoder dec;
    std::string why;
    EXPECT_FALSE(dec.load(c.bytes, why)) << c.what;
    EXPECT_FALSE(why.empty()) << c.what;
    EXPECT_FALSE(dec.loaded()) << c.what;
  }
  gif::GifDecoder dec;
  std::string why;
  dec.load(GifBuilder().header(65535, 65535, kColours).trailer().bytes, why);
  EXPECT_NE(why.find("budget"), std::string::npos) << why;

  EXPECT_TRUE(dec.load(GifBuilder().header(4096, 4096, kColours).trailer().bytes, why)) << why;
  EXPECT_EQ(dec.width(), 4096);
  EXPECT_TRUE(dec.load(GifBuilder().header(3, 1, {}, "GIF87a").trailer().bytes, why)) << why;
}

TEST(GifDecoderFrames, TransparentIndexLeavesThePageAndAppliesToOneImageOnly) {
  GifBuilder b;
  b.header(2, 1, kColours).control(1, true, 1, 7).image(0, 0, 2, 1, {0, 1}).image(0, 0, 1, 1, {1}).trailer();
  Loaded l(b);
  ASSERT_TRUE(l.ok) << l.why;
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.at(0, 0), kRed);
  EXPECT_EQ(l.at(1, 0), kPage);
  EXPECT_EQ(l.dec.delayMs(), 70);
  ASSERT_EQ(l.dec.next(), Step::Frame);  // no graphic control: index 1 is a colour again
  EXPECT_EQ(l.at(0, 0), kGreen);
  EXPECT_EQ(l.dec.delayMs(), 50);
  EXPECT_EQ(l.dec.next(), Step::Cycle);
  EXPECT_EQ(l.dec.next(), Step::Frame);  // back at the first image
  EXPECT_EQ(l.dec.delayMs(), 70);
}

TEST(GifDecoderFrames, DisposalRestoresWhatTheImageCovered) {
  // Red over the whole canvas, then blue at the left with disposal 2 or 3, then an image at
  // the right only: the left is red again, the content before the blue image, for both.
  for (int disposal : {2, 3}) {
    GifBuilder b;
    b.header(2, 1, kColours)
        .image(0, 0, 2, 1, {0, 0})
        .control(disposal, false, 0, 0)
        .image(0, 0, 1, 1, {2})
        .image(1, 0, 1, 1, {3})
        .trailer();
    Loaded l(b);
    ASSERT_TRUE(l.ok) << l.why;
    l.dec.next();
    ASSERT_EQ(l.dec.next(), Step::Frame);
    EXPECT_EQ(l.at(0, 0), kBlue);
    ASSERT_EQ(l.dec.next(), Step::Frame);
    EXPECT_EQ(l.at(0, 0), kRed) << "disposal " << disposal;
    EXPECT_EQ(l.at(1, 0), kWhite);
  }
  // Disposal 1 keeps the image.
  GifBuilder keep;
  keep.header(2, 1, kColours).control(1, false, 0, 0).image(0, 0, 1, 1, {2}).image(1, 0, 1, 1, {3}).trailer();
  Loaded k(keep);
  k.dec.next();
  k.dec.next();
  EXPECT_EQ(k.at(0, 0), kBlue);
}

TEST(GifDecoderFrames, InterlacedRowsLandInTheirPlaces) {
  std::vector<uint8_t> rows;
  for (int y = 0; y < 11; ++y) rows.push_back(uint8_t(y % 4));
  GifBuilder b;
  b.header(1, 11, kColours).image(0, 0, 1, 11, rows, {}, true).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Frame);
  const uint32_t colour[4] = {kRed, kGreen, kBlue, kWhite};
  for (int y = 0; y < 11; ++y) EXPECT_EQ(l.at(0, y), colour[y % 4]) << "row " << y;
}

TEST(GifDecoderFrames, LocalTableServesItsImageOnly) {
  GifBuilder b;
  b.header(2, 1, kColours).image(0, 0, 1, 1, {0}, {{9, 9, 9}, {8, 8, 8}}).image(1, 0, 1, 1, {0}).trailer();
  Loaded l(b);
  l.dec.next();
  l.dec.next();
  EXPECT_EQ(l.at(0, 0), 0xFF090909u);
  EXPECT_EQ(l.at(1, 0), kRed);
}

TEST(GifDecoderFrames, ImagesReachingPastTheCanvasAreClipped) {
  GifBuilder b;
  b.header(2, 2, kColours).image(1, 1, 3, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0}).image(5, 0, 2, 1, {3, 3}).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.at(1, 1), kRed);
  EXPECT_EQ(l.at(0, 0), kPage);
  EXPECT_EQ(l.at(1, 0), kPage);
  EXPECT_EQ(l.at(0, 1), kPage);
  EXPECT_EQ(l.dec.next(), Step::Frame);  // wholly outside: nothing changes
  EXPECT_EQ(l.at(1, 1), kRed);

  // Wholly outside with a disposal that restores: nothing to save or restore.
  GifBuilder o;
  o.header(2, 2, kColours).control(2, false, 0, 0).image(7, 0, 1, 1, {1}).image(0, 0, 1, 1, {2}).trailer();
  Loaded lo(o);
  ASSERT_EQ(lo.dec.next(), Step::Frame);
  ASSERT_EQ(lo.dec.next(), Step::Frame);
  EXPECT_EQ(lo.at(0, 0), kBlue);
}

TEST(GifDecoderBroken, UndefinedCodeEndsTheImageUndrawnAndTheNextIsRead) {
  // min code size 2: clear 4, end 5; code 7 is not defined yet after one literal.
  GifBuilder b;
  b.header(2, 1, kColours).imageCodes(0, 0, 2, 1, 2, {4, 1, 7, 5}).image(1, 0, 1, 1, {2}).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Skipped);
  EXPECT_NE(l.dec.why().find("LZW"), std::string::npos) << l.dec.why();
  EXPECT_EQ(l.at(0, 0), kPage);  // the literal before the bad code is not drawn either
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.at(1, 0), kBlue);
}

TEST(GifDecoderBroken, ColourIndexPastTheTableEndsTheImageUndrawn) {
  GifBuilder b;
  b.header(2, 1, {{1, 2, 3}, {4, 5, 6}}).image(0, 0, 2, 1, {0, 3}).trailer();
  Loaded l(b);
  EXPECT_EQ(l.dec.next(), Step::Skipped);
  EXPECT_EQ(l.at(0, 0), kPage);
}

TEST(GifDecoderBroken, UnknownBlockEndsTheFrameAndStartsAgain) {
  GifBuilder b;
  b.header(1, 1, kColours).image(0, 0, 1, 1, {1}).raw({0x42}).image(0, 0, 1, 1, {2}).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.dec.next(), Step::Broken);
  EXPECT_EQ(l.at(0, 0), kGreen);
  EXPECT_EQ(l.dec.next(), Step::Frame);  // the first image again
  EXPECT_EQ(l.at(0, 0), kGreen);
  EXPECT_EQ(l.dec.next(), Step::Broken);
}

TEST(GifDecoderBroken, CommentsAndUnknownExtensionsAreSkipped) {
  GifBuilder b;
  b.header(1, 1, kColours).comment("hello").raw({0x21, 0x77, 2, 9, 9, 0}).image(0, 0, 1, 1, {3}).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.at(0, 0), kWhite);
}

TEST(GifDecoderBroken, EveryTruncationEndsTheFrameWithoutReadingPastTheData) {
  GifBuilder b;
  b.header(3, 3, kColours)
      .control(2, true, 0, 3)
      .image(0, 0, 3, 3, {0, 1, 2, 3, 0, 1, 2, 3, 0})
      .comment("abc")
      .image(1, 1, 2, 2, {3, 3, 3, 3}, {{7, 7, 7}, {6, 6, 6}, {5, 5, 5}, {4, 4, 4}}, true)
      .trailer();
  for (size_t n = 13; n < b.bytes.size(); ++n) {
    // A copy of exactly n bytes, so AddressSanitizer sees any read past it.
    std::vector<uint8_t> cut(b.bytes.begin(), b.bytes.begin() + long(n));
    gif::GifDecoder dec;
    std::string why;
    if (!dec.load(cut, why)) continue;
    dec.reset(kPage);
    bool sawBroken = false;
    for (int i = 0; i < 6; ++i) {
      Step s = dec.next();
      EXPECT_NE(s, Step::Cycle) << n << " bytes: no trailer to reach";
      if (s == Step::Broken) sawBroken = true;
    }
    EXPECT_TRUE(sawBroken) << n << " bytes";
  }
}

TEST(GifDecoderBroken, ImageOverTheBudgetIsNotDecoded) {
  GifBuilder b;
  b.header(2, 2, kColours).imageCodes(0, 0, 65535, 65535, 2, {4, 0, 0, 0, 5}).image(0, 0, 1, 1, {1}).trailer();
  Loaded l(b);
  EXPECT_EQ(l.dec.next(), Step::Skipped);
  EXPECT_NE(l.dec.why().find("budget"), std::string::npos) << l.dec.why();
  EXPECT_EQ(l.dec.next(), Step::Frame);
}

TEST(GifDecoderBroken, DataEndingEarlyKeepsWhatWasDecoded) {
  // Three literals of a 2 x 2 image and no end code: three pixels drawn, the fourth untouched.
  GifBuilder b;
  b.header(2, 2, kColours).imageCodes(0, 0, 2, 2, 2, {4, 1, 2, 4, 3}).trailer();
  Loaded l(b);
  ASSERT_EQ(l.dec.next(), Step::Frame);
  EXPECT_EQ(l.at(0, 0), kGreen);
  EXPECT_EQ(l.at(1, 0), kBlue);
  EXPECT_EQ(l.at(0, 1), kWhite);
  EXPECT_EQ(l.at(1, 1), kPage);
}

}  // namespace
