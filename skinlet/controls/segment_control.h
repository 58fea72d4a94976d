// SegmentControl: the child control window of a widget (see control_creation.cpp).
#pragma once

#include "windows.h"

class SegmentControl {
 public:
  HWND hWnd = nullptr;
};
