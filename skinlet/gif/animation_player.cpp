#include "animation_player.h"

#include <string>
#include <vector>

#include "plat_core.h"
#include "plat_time.h"

namespace {

void complain(const std::string& operation, const std::string& text) {
  OutputDebugStringA(("*E:AnimationPlayer::" + operation + " : " + text + "\n").c_str());
}

// Reads a whole file through the platform's file API, refusing one over the budget before a
// byte of it is read.
bool readWholeFile(const WCHAR* path, std::vector<uint8_t>& out, std::string& why) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    const std::string failure = plat::lastFileFailure();
    why = failure.compare(0, 3, "is ") == 0 ? "it " + failure : "cannot be read: " + failure;
    return false;
  }
  DWORD high = 0;
  DWORD size = GetFileSize(f, &high);
  bool ok = false;
  if (size == INVALID_FILE_SIZE || high != 0 || size > gif::kMaxFileBytes) {
    why = "file is over the limit of " + std::to_string(gif::kMaxFileBytes) + " bytes";
  } else {
    out.resize(size);
    DWORD got = 0;
    ok = size == 0 || (ReadFile(f, out.data(), size, &got, nullptr) && got == size);
    if (!ok) why = "short read";
  }
  CloseHandle(f);
  return ok;
}

}  // namespace

AnimationPlayer::AnimationPlayer(HWND hViewWnd, int actionId, bool drawOnScreen)
    : hViewWnd_(hViewWnd), actionId_(actionId), drawOnScreen_(drawOnScreen) {}

AnimationPlayer::~AnimationPlayer() { Stop(); }

int AnimationPlayer::Load(const WCHAR* path, int* width, int* height) {
  Stop();
  std::lock_guard<std::mutex> g(lock_);
  decoder_.clear();
  runState_ = 0;
  std::vector<uint8_t> bytes;
  std::string why;
  if (!path || !readWholeFile(path, bytes, why) || !decoder_.load(std::move(bytes), why)) {
    if (!path) why = "no file name";
    complain("Load", why + " (" + (path ? plat::utf16ToUtf8(path) : std::string()) + ")");
    return 0;
  }
  drawWidth_ = decoder_.width();
  drawHeight_ = decoder_.height();
  if (width) *width = decoder_.width();
  if (height) *height = decoder_.height();
  return 1;
}

void AnimationPlayer::SetPosition(int x, int y) {
  std::lock_guard<std::mutex> g(lock_);
  x_ = x;
  y_ = y;
}

void AnimationPlayer::SetSize(int width, int height) {
  std::lock_guard<std::mutex> g(lock_);
  drawWidth_ = width;
  drawHeight_ = height;
}

void AnimationPlayer::Play() {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!decoder_.loaded() || runState_ == 5) return;
  }
  // A player that stopped by itself (nothing to show) still has its ended thread to collect.
  Stop();
  std::lock_guard<std::mutex> g(lock_);
  runState_ = 5;
  framesShown_ = 0;
  thread_ = CreateThread(nullptr, 0, &AnimationPlayer::threadEntry, this, 0, nullptr);
  if (!thread_) {
    runState_ = 0;
    complain("Play", "cannot start the playing thread");
  }
}

void AnimationPlayer::Pause(int pause) {
  std::lock_guard<std::mutex> g(lock_);
  paused_ = pause != 0;
}

void AnimationPlayer::Stop() {
  if (thread_) {
    {
      std::lock_guard<std::mutex> g(lock_);
      if (runState_ == 5) runState_ = 1;
      wake_.notify_all();
    }
    // The thread sets RunState 2 as its last touch of the player; joining it also makes sure
    // it has left run() before anything is freed.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  std::lock_guard<std::mutex> g(lock_);
  decoder_.releaseBuffers();
}

int AnimationPlayer::RunState() const {
  std::lock_guard<std::mutex> g(lock_);
  return runState_;
}

uint64_t AnimationPlayer::FramesShown() const {
  std::lock_guard<std::mutex> g(lock_);
  return framesShown_;
}

uint64_t AnimationPlayer::NextFrameDueMs() const {
  std::lock_guard<std::mutex> g(lock_);
  return dueMs_;
}

DWORD WINAPI AnimationPlayer::threadEntry(LPVOID self) {
  plat::nameThread("gif player");
  static_cast<AnimationPlayer*>(self)->run();
  return 0;
}

bool AnimationPlayer::waitUntil(std::unique_lock<std::mutex>& lock, uint64_t deadlineMs) {
  // One wait on the platform clock instead of 10 ms sleeps: a stop wakes it at once, and a
  // test's frozen clock moves it on without real time passing.
  dueMs_ = deadlineMs;
  plat::clock::waitUntil(lock, wake_, deadlineMs, [this] { return runState_ != 5; });
  dueMs_ = 0;
  return runState_ == 5;
}

void AnimationPlayer::run() {
  HWND owner = drawOnScreen_ ? nullptr : hViewWnd_;
  HDC target = GetDC(owner);
  std::unique_lock<std::mutex> lock(lock_);
  if (!target || !makeCanvas(target)) {
    complain("Play", "no canvas for the animation");
  } else {
    bool drewThisCycle = false;
    bool reported = false;  // broken content is told once, not on every round
    while (runState_ == 5) {
      int waitMs = 0;
      if (paused_) {
        drawCanvas(target);
        waitMs = decoder_.delayMs();
      } else {
        gif::GifDecoder::Step step = decoder_.next();
        if (step == gif::GifDecoder::Step::Frame) {
          drawCanvas(target);
          ++framesShown_;
          drewThisCycle = true;
          waitMs = decoder_.delayMs();
        } else if (step == gif::GifDecoder::Step::Skipped) {
          if (!reported) complain("Play", "image not drawn: " + decoder_.why());
          reported = reported || !drewThisCycle;
          waitMs = decoder_.delayMs();
        } else {
          if (step == gif::GifDecoder::Step::Broken && !reported) {
            complain("Play", "frame ended: " + decoder_.why() + "; starting again at the first frame");
            reported = true;
          }
          if (!drewThisCycle) {
            // A whole round without one image drawn: going round again would show nothing
            // and only keep the thread busy.
            complain("Play", "nothing to show; stopped");
            break;
          }
          drewThisCycle = false;
          if (!PostMessageW(hViewWnd_, WM_COMMAND, static_cast<WPARAM>(actionId_), 0))
            complain("Play", "cannot tell the window: error " + std::to_string(GetLastError()));
          continue;
        }
      }
      if (!waitUntil(lock, plat::clock::nowMs() + static_cast<uint64_t>(waitMs))) break;
    }
  }
  freeCanvas();
  runState_ = 2;
  wake_.notify_all();
  lock.unlock();
  if (target) ReleaseDC(owner, target);
}

bool AnimationPlayer::makeCanvas(HDC target) {
  const int w = decoder_.width(), h = decoder_.height();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down, the decoder's row order
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  canvasDC_ = CreateCompatibleDC(target);
  canvasBitmap_ = canvasDC_ ? CreateDIBSection(target, &bi, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (!canvasBitmap_ || !bits) {
    freeCanvas();
    return false;
  }
  canvasOld_ = SelectObject(canvasDC_, canvasBitmap_);
  canvasBits_ = static_cast<uint32_t*>(bits);
  // What is on the target now shows through the transparent parts of every frame.
  StretchBlt(canvasDC_, 0, 0, w, h, target, x_, y_, drawWidth_, drawHeight_, SRCCOPY);
  decoder_.attach(canvasBits_);
  return true;
}

void AnimationPlayer::drawCanvas(HDC target) {
  const int w = decoder_.width(), h = decoder_.height();
  if (drawWidth_ == w && drawHeight_ == h)
    BitBlt(target, x_, y_, w, h, canvasDC_, 0, 0, SRCCOPY);
  else
    StretchBlt(target, x_, y_, drawWidth_, drawHeight_, canvasDC_, 0, 0, w, h, SRCCOPY);
}

void AnimationPlayer::freeCanvas() {
  decoder_.releaseBuffers();  // it no longer draws into the bitmap's bits
  if (canvasDC_ && canvasOld_) SelectObject(canvasDC_, canvasOld_);
  if (canvasBitmap_) DeleteObject(canvasBitmap_);
  if (canvasDC_) DeleteDC(canvasDC_);
  canvasDC_ = nullptr;
  canvasBitmap_ = nullptr;
  canvasOld_ = nullptr;
  canvasBits_ = nullptr;
}
