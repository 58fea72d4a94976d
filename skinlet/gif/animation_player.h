// AnimationPlayer: plays one animated picture (GIF87a/89a) of a page on a thread of its own,
// drawing straight onto the screen window (or the whole screen).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "gif/gif_decoder.h"
#include "windows.h"

class AnimationPlayer {
 public:
  // drawOnScreen: draw into a context of the whole screen instead of hViewWnd's.
  AnimationPlayer(HWND hViewWnd, int actionId, bool drawOnScreen);
  ~AnimationPlayer();  // stops first
  AnimationPlayer(const AnimationPlayer&) = delete;
  AnimationPlayer& operator=(const AnimationPlayer&) = delete;

  // Reads the file; 1 on success with the logical screen size, 0 otherwise (player idle).
  int Load(const WCHAR* path, int* width, int* height);
  void SetPosition(int x, int y);
  void SetSize(int width, int height);
  void Play();
  void Pause(int pause);  // 1 pauses, 0 resumes
  void Stop();            // returns once the playing thread has ended; frees the frame data
  int RunState() const;   // 0 idle, 5 playing, 1 stop requested, 2 stopped

  // For tests and diagnostics: images drawn onto the target since Play (pause re-draws not
  // counted), and the platform-clock time the playing thread waits for (0 when not waiting).
  uint64_t FramesShown() const;
  uint64_t NextFrameDueMs() const;

 private:
  static DWORD WINAPI threadEntry(LPVOID self);
  void run();
  bool makeCanvas(HDC target);  // under lock_
  void drawCanvas(HDC target);  // under lock_
  void freeCanvas();            // under lock_
  // Waits until the platform clock reaches `deadlineMs` or a stop is asked; false on stop.
  bool waitUntil(std::unique_lock<std::mutex>& lock, uint64_t deadlineMs);

  const HWND hViewWnd_;
  const int actionId_;
  const bool drawOnScreen_;

  // Everything below is shared between the window thread and the playing thread: lock_
  // guards it (the canvas bitmap included), wake_ cuts the playing thread's waits short.
  mutable std::mutex lock_;
  std::condition_variable wake_;
  gif::GifDecoder decoder_;
  int x_ = 0, y_ = 0;
  int drawWidth_ = 0, drawHeight_ = 0;
  bool paused_ = false;
  int runState_ = 0;
  uint64_t framesShown_ = 0;
  uint64_t dueMs_ = 0;

  HDC canvasDC_ = nullptr;
  HBITMAP canvasBitmap_ = nullptr;
  HGDIOBJ canvasOld_ = nullptr;
  uint32_t* canvasBits_ = nullptr;

  HANDLE thread_ = nullptr;  // window thread only
};
