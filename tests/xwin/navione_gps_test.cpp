// The demo navigation program reads the receiver from gpsd: Debian's gpsd replays our drive log
// on a free port, and what a person sees in the program's band is what the X server itself
// draws, in the same font, for the log's latitude and speed.
#include <gtest/gtest.h>

#include "file_text.h"
#include "servers.h"
#include "xwin_env.h"

namespace hu::test {
namespace {

// Pixels of a drawable's area, 0xRRGGBB.
std::vector<uint32_t> grab(xcb_connection_t* c, xcb_drawable_t d, int x, int y, int w, int h) {
  auto* r = xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, d, x, y, w, h, ~0u), nullptr);
  std::vector<uint32_t> out;
  if (r && xcb_get_image_data_length(r) >= w * h * 4) {
    const auto* p = reinterpret_cast<const uint32_t*>(xcb_get_image_data(r));
    for (int i = 0; i < w * h; ++i) out.push_back(p[i] & 0xFFFFFF);
  }
  std::free(r);
  return out;
}

TEST(NaviOneOnX, ShowsThePositionAndSpeedItReadsFromGpsd) {
  if (!g_xserver) GTEST_SKIP() << g_xserverMissing;
  if (std::string missing = gpsdMissing(); !missing.empty()) GTEST_SKIP() << missing;
  const std::string dir = ::testing::TempDir(), out = dir + "navione_gps.txt";
  const int port = freeTcpPort();
  GpsFake gpsd(port, dir + "gpsfake.txt");
  setenv("HU_GPS", ("gpsd:127.0.0.1:" + std::to_string(port)).c_str(), 1);  // the program's alone
  ChildProcess navi({HU_BINARY_DIR "/tools/navione", "--seconds", "60"}, out);
  unsetenv("HU_GPS");
  auto said = [&] { return readFile(out); };
  EXPECT_TRUE(waitUntil([&] { return said().find(": 48.13740 N  11.5") != std::string::npos; }, 30000)) << said();
  // The server's own drawing of the fix, white on the band in "fixed", baseline 12 of 16 rows;
  // the program writes it from x 20 with its baseline at 462. The longitude grows as the car drives.
  XClient x(g_xserver->display());
  xcb_connection_t* c = x.connection();
  const std::string fix = "48.13740 N  11.57631 E   36 km/h";
  const int w = static_cast<int>(fix.size()) * 6;
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  const xcb_font_t font = xcb_generate_id(c);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_pixmap(c, 24, pixmap, x.root(), w, 16);
  xcb_open_font(c, font, 5, "fixed");
  const uint32_t band[] = {0x102040, 0x102040, font}, white = 0xFFFFFF;
  xcb_create_gc(c, gc, pixmap, XCB_GC_FOREGROUND | XCB_GC_BACKGROUND | XCB_GC_FONT, band);
  const xcb_rectangle_t all = {0, 0, static_cast<uint16_t>(w), 16};
  xcb_poly_fill_rectangle(c, pixmap, gc, 1, &all);
  xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &white);
  xcb_image_text_8(c, fix.size(), pixmap, gc, 0, 12, fix.c_str());
  const std::vector<uint32_t> want = grab(c, pixmap, 0, 0, w, 16);
  auto shows = [&](int from, int count) {  // characters [from, from + count) of the fix
    const std::vector<uint32_t> seen = grab(c, x.root(), 20, 462 - 12, w, 16);
    for (int y = 0; y < 16; ++y)
      for (int i = from * 6; i < (from + count) * 6; ++i)
        if (seen.size() != want.size() || seen[y * w + i] != want[y * w + i]) return false;
    return true;
  };
  EXPECT_TRUE(waitUntil([&] { return shows(0, 10) && shows(25, 7); })) << "the latitude or the speed is not shown";
}

}  // namespace
}  // namespace hu::test
