// SlideControl: the child control window of a widget (see control_creation.cpp).
#pragma once

#include "windows.h"

class SlideControl {
 public:
  HWND hWnd = nullptr;
};
