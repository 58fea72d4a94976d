// Shared pieces of the window-system tests: a class whose procedure records every message,
// and helpers to make windows of it.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform_fixture.h"
#include "plat_gdi.h"
#include "plat_thread.h"
#include "plat_window.h"

namespace wintest {

struct Rec {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const Rec& o) const {
    return hwnd == o.hwnd && msg == o.msg && wParam == o.wParam && lParam == o.lParam;
  }
};

inline std::mutex& logLock() {
  static std::mutex m;
  return m;
}
inline std::vector<Rec>& log() {
  static std::vector<Rec> l;
  return l;
}
// Per-test hook: runs before the default handling; return true to skip DefWindowProcW.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)>& hook() {
  static std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> h;
  return h;
}

inline LRESULT CALLBACK recordingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  {
    std::lock_guard<std::mutex> g(logLock());
    log().push_back(Rec{h, m, w, l});
  }
  LRESULT r = 0;
  if (hook() && hook()(h, m, w, l, r)) return r;
  return DefWindowProcW(h, m, w, l);
}

inline std::vector<Rec> takeLog() {
  std::lock_guard<std::mutex> g(logLock());
  std::vector<Rec> out;
  out.swap(log());
  return out;
}

// Messages of the log restricted to the given numbers (the order is what tests check).
inline std::vector<Rec> only(const std::vector<Rec>& l, std::initializer_list<UINT> msgs) {
  std::vector<Rec> out;
  for (const Rec& r : l)
    for (UINT m : msgs)
      if (r.msg == m) out.push_back(r);
  return out;
}

inline std::vector<UINT> numbers(const std::vector<Rec>& l) {
  std::vector<UINT> out;
  for (const Rec& r : l) out.push_back(r.msg);
  return out;
}

class WindowTest : public hu::test::PlatformFixture {
 protected:
  void SetUp() override {
    PlatformFixture::SetUp();
    takeLog();
    hook() = nullptr;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = recordingProc;
    wc.lpszClassName = u"TestWnd";
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    ASSERT_NE(RegisterClassW(&wc), 0);
  }
  void TearDown() override {
    hook() = nullptr;
    PlatformFixture::TearDown();
    takeLog();
  }
  HWND top(int x, int y, int w, int h, DWORD exStyle = 0, bool visible = true, LPCWSTR title = u"top") {
    return CreateWindowExW(exStyle, u"TestWnd", title, 0xC0000000 | (visible ? WS_VISIBLE : 0), x, y, w, h, nullptr,
                           nullptr, nullptr, nullptr);
  }
  HWND child(HWND parent, int x, int y, int w, int h, int id = 0, bool visible = true) {
    return CreateWindowExW(0, u"TestWnd", u"", WS_CHILD | (visible ? WS_VISIBLE : 0), x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<intptr_t>(id)), nullptr, nullptr);
  }
};

}  // namespace wintest
