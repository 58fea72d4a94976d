// Bitmap files and the imaging service. (Owned by the images area.)
#pragma once

#include "plat_types.h"

// Loads a .bmp file (device path) into a DIB-section bitmap; null when it cannot be read.
HBITMAP SHLoadDIBitmap(LPCWSTR fileName);
