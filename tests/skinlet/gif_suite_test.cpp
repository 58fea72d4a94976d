// Every case of the GIF decoder test suite in the shared test data, decoded frame by frame
// and composited as the animation player composites (onto a canvas that starts transparent,
// which stands for the page underneath), compared with the suite's expected RGBA frames.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "test_data.h"

namespace {

const std::string kSuite = std::string(HU_TESTDATA_DIR) + "/gif/pygif-test-suite/test-suite/";

std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r"), e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

// section -> key -> value
using Conf = std::map<std::string, std::map<std::string, std::string>>;
Conf readConf(const std::string& path) {
  Conf conf;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    size_t eq = line.find('=');
    if (eq != std::string::npos) conf[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return conf;
}

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ','))
    if (!trim(item).empty()) out.push_back(trim(item));
  return out;
}

// Without the suite one case stands for all of it, and skips saying what is missing.
std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  std::ifstream in(kSuite + "TESTS");
  std::string name;
  while (in >> name) names.push_back(name);
  if (names.empty()) names.push_back("suite_missing");
  return names;
}

// What the player shows of one cycle: the canvas after each drawn image.
struct Decoded {
  bool loaded = false;
  std::string why;
  int width = 0, height = 0;
  std::vector<std::vector<uint32_t>> frames;
  std::vector<int> delays;
};

Decoded decodeCycle(const std::string& file, bool eachImageAFrame = true) {
  Decoded d;
  gif::GifDecoder dec;
  d.loaded = dec.load(readBytes(file), d.why);
  if (!d.loaded) return d;
  d.width = dec.width();
  d.height = dec.height();
  dec.reset(0u);
  for (int guard = 0; guard < 10000; ++guard) {
    gif::GifDecoder::Step s = dec.next();
    if (s == gif::GifDecoder::Step::Frame) {
      // The suite counts images without a delay as parts of the next frame; the player shows
      // each for the default delay. Compare where the suite's frames end: at an image with a
      // delay, or at the last image. Where the suite says every image is a frame of its own
      // (force-animation), so does the player.
      if (!eachImageAFrame && !d.frames.empty() && d.delays.back() == 0) {
        d.frames.pop_back();
        d.delays.pop_back();
      }
      d.frames.emplace_back(dec.canvas(), dec.canvas() + size_t(d.width) * size_t(d.height));
      d.delays.push_back(dec.control().delay);
    } else if (s != gif::GifDecoder::Step::Skipped) {
      break;
    }
  }
  return d;
}

// Canvas pixel 0xAARRGGBB as the suite's R, G, B, A bytes.
std::vector<uint8_t> toRgba(const std::vector<uint32_t>& canvas) {
  std::vector<uint8_t> out;
  for (uint32_t p : canvas) {
    out.push_back(uint8_t(p >> 16));
    out.push_back(uint8_t(p >> 8));
    out.push_back(uint8_t(p));
    out.push_back(uint8_t(p >> 24));
  }
  return out;
}

// A fully transparent pixel has no colour worth comparing.
bool sameRgba(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, std::string& where) {
  if (a.size() != b.size()) {
    where = "size " + std::to_string(a.size()) + " vs " + std::to_string(b.size());
    return false;
  }
  for (size_t i = 0; i < a.size(); i += 4) {
    bool clearA = a[i + 3] == 0, clearB = b[i + 3] == 0;
    if (clearA && clearB) continue;
    if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2] || a[i + 3] != b[i + 3]) {
      where = "pixel " + std::to_string(i / 4);
      return false;
    }
  }
  return true;
}

// Cases where the player shows something else than the suite expects, on purpose.
const std::map<std::string, std::string> kDifferent = {
    // Files with no image at all: the suite counts one frame of background; the player draws
    // nothing and the page underneath stays, which looks the same. Checked separately below.
    {"no-data", "no image: nothing drawn"},
    {"image-zero-width", "image of no pixels: nothing drawn"},
    {"image-zero-height", "image of no pixels: nothing drawn"},
    {"image-zero-size", "image of no pixels: nothing drawn"},
};

// The suite shows nothing for a file whose image follows a plain text block; the player
// skips the text block, as it skips every block it does not draw, and draws the image.
TEST(GifSuiteDifferences, ImageAfterPlainTextIsDrawn) {
  HU_SKIP_WITHOUT_TEST_DATA(kSuite + "plain-text.gif");
  Decoded d = decodeCycle(kSuite + "plain-text.gif");
  ASSERT_TRUE(d.loaded) << d.why;
  ASSERT_EQ(d.frames.size(), 1u);
  EXPECT_EQ(d.frames[0][0] >> 24, 0xFFu);
}

class GifSuite : public ::testing::TestWithParam<std::string> {};

TEST_P(GifSuite, DecodesEveryFrameToTheExpectedPixels) {
  HU_SKIP_WITHOUT_TEST_DATA(kSuite + "TESTS");
  const std::string name = GetParam();
  Conf conf = readConf(kSuite + name + ".conf");
  ASSERT_FALSE(conf.empty()) << name;
  const auto& config = conf["config"];
  bool forced = config.count("force-animation") && config.at("force-animation") == "yes";
  Decoded d = decodeCycle(kSuite + config.at("input"), forced);
  std::vector<std::string> frames = split(config.count("frames") ? config.at("frames") : "");
  if (name == "plain-text") return;  // held by GifSuiteDifferences.ImageAfterPlainTextIsDrawn

  if (kDifferent.count(name)) {
    // One expected frame, fully transparent: the player leaves the page as it was.
    ASSERT_TRUE(d.loaded) << d.why;
    ASSERT_EQ(frames.size(), 1u);
    std::vector<uint8_t> want = readBytes(kSuite + conf[frames[0]]["pixels"]);
    for (size_t i = 3; i < want.size(); i += 4) ASSERT_EQ(want[i], 0) << name;
    for (const auto& f : d.frames)
      for (uint32_t p : f) EXPECT_EQ(p >> 24, 0u) << name << ": drew a pixel";
    return;
  }

  if (frames.empty()) {
    // The suite finds nothing to show: the load fails or no image is drawn.
    EXPECT_TRUE(d.frames.empty()) << name << " drew " << d.frames.size() << " frame(s)";
    return;
  }
  ASSERT_TRUE(d.loaded) << name << ": " << d.why;
  EXPECT_EQ(d.width, std::stoi(config.at("width"))) << name;
  EXPECT_EQ(d.height, std::stoi(config.at("height"))) << name;
  ASSERT_EQ(d.frames.size(), frames.size()) << name;
  for (size_t i = 0; i < frames.size(); ++i) {
    auto& section = conf[frames[i]];
    std::vector<uint8_t> want = readBytes(kSuite + section["pixels"]);
    std::string where;
    EXPECT_TRUE(sameRgba(toRgba(d.frames[i]), want, where)) << name << " frame " << i << ": " << where;
    if (section.count("delay")) {
      EXPECT_EQ(d.delays[i], std::stoi(section["delay"])) << name << " frame " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllCases, GifSuite, ::testing::ValuesIn(caseNames()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           std::string n = param.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
