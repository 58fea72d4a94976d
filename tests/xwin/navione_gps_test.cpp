// The demo navigation program reads the receiver from gpsd: Debian's gpsd replays our drive log
// on a free port, and the program's window shows the log's position and speed. What a person
// sees is compared with what the X server itself draws for those texts in the same font.
#include <gtest/gtest.h>
#include <sys/wait.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

#include <fstream>
#include <sstream>

#include "gpsd_fake.h"
#include "x_server.h"

namespace hu::test {

extern XServer* g_xserver;
extern std::string g_xserverMissing;

namespace {

// Where the program writes its fix: x, baseline, band colour (tools/navione).
constexpr int kFixX = 20, kFixBaseline = 462;
constexpr uint32_t kBand = 0x102040;

// Pixels of a drawable's area, 0xRRGGBB.
std::vector<uint32_t> grab(xcb_connection_t* c, xcb_drawable_t d, int x, int y, int w, int h) {
  xcb_get_image_reply_t* r = xcb_get_image_reply(
      c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, d, int16_t(x), int16_t(y), uint16_t(w), uint16_t(h), ~0u),
      nullptr);
  std::vector<uint32_t> out;
  if (r && xcb_get_image_data_length(r) >= w * h * 4) {
    out.assign(reinterpret_cast<uint32_t*>(xcb_get_image_data(r)),
               reinterpret_cast<uint32_t*>(xcb_get_image_data(r)) + w * h);
    for (uint32_t& p : out) p &= 0xFFFFFF;
  }
  std::free(r);
  return out;
}

// What the server draws for `text` in its "fixed" font, white on the band, baseline 12 of 16 rows.
std::vector<uint32_t> drawn(XClient& x, const std::string& text, int w) {
  xcb_connection_t* c = x.connection();
  xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, 24, pixmap, x.root(), uint16_t(w), 16);
  xcb_font_t font = xcb_generate_id(c);
  xcb_open_font(c, font, 5, "fixed");
  xcb_gcontext_t gc = xcb_generate_id(c);
  uint32_t values[] = {kBand, kBand, font};
  xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, values);
  xcb_rectangle_t all = {0, 0, uint16_t(w), 16};
  xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
  uint32_t white = 0xFFFFFF;
  xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &white);
  xcb_image_text_8(c, uint8_t(text.size()), pixmap, gc, 0, 12, text.c_str());
  std::vector<uint32_t> out = grab(c, pixmap, 0, 0, w, 16);
  xcb_free_gc(c, gc);
  xcb_close_font(c, font);
  xcb_free_pixmap(c, pixmap);
  return out;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(NaviOneOnX, ShowsThePositionAndSpeedItReadsFromGpsd) {
  if (!g_xserver) GTEST_SKIP() << g_xserverMissing;
  if (std::string missing = test_support::gpsdMissing(); !missing.empty()) GTEST_SKIP() << missing;
  const std::string dir = ::testing::TempDir(), out = dir + "navione_gps.txt";
  const int port = test_support::freeTcpPort();
  test_support::GpsFake gpsd(port, std::string(HU_SOURCE_DIR) + "/tests/e2e/gpsd_drive.nmea", dir + "gpsfake.txt");
  const std::string source = "HU_GPS=gpsd:127.0.0.1:" + std::to_string(port);
  pid_t program = fork();
  if (program == 0) {
    freopen(out.c_str(), "w", stdout);
    putenv(const_cast<char*>(source.c_str()));
    execl((std::string(HU_BINARY_DIR) + "/tools/navione").c_str(), "NaviOne.exe", "--seconds", "60", nullptr);
    _exit(127);
  }
  // The log drives due east at 36 km/h: the latitude and the speed stay, the longitude grows.
  EXPECT_TRUE(waitUntil([&] { return readAll(out).find(": 48.13740 N  11.5") != std::string::npos; }, 30000))
      << readAll(out) << readAll(dir + "gpsfake.txt");
  XClient x(g_xserver->display());
  const std::string fix = "48.13740 N  11.57631 E   36 km/h";
  const int w = int(fix.size()) * 6;
  const std::vector<uint32_t> want = drawn(x, fix, w);
  auto shows = [&](size_t from, size_t count) {
    std::vector<uint32_t> seen = grab(x.connection(), x.root(), kFixX, kFixBaseline - 12, w, 16);
    for (int y = 0; y < 16; ++y)
      for (size_t i = from * 6; i < (from + count) * 6; ++i)
        if (seen.size() != want.size() || seen[y * w + i] != want[y * w + i]) return false;
    return true;
  };
  EXPECT_TRUE(waitUntil([&] { return shows(0, 10) && shows(25, 7); })) << "latitude or speed not shown";
  std::vector<uint32_t> screen = grab(x.connection(), x.root(), 0, 0, 800, 480);
  std::vector<unsigned char> rgb;
  for (uint32_t p : screen) rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
  if (screen.size() == 800 * 480) stbi_write_png((dir + "navione_gps.png").c_str(), 800, 480, 3, rgb.data(), 2400);
  std::printf("[ shot ] %snavione_gps.png\n", dir.c_str());
  kill(program, SIGTERM);
  waitpid(program, nullptr, 0);
}

}  // namespace
}  // namespace hu::test
