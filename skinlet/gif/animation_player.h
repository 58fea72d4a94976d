// AnimationPlayer: plays one animated picture (GIF87a/89a) of a page on a thread of its own,
// drawing straight onto the screen window (or the whole screen).
#pragma once

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
};
