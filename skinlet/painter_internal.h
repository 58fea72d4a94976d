// Pieces of the painter that do not need an engine: the colour key, fonts of the face table,
// the geometry of sectors and signal bars, the line-break insertion and the transition
// factors. Kept apart so that the rules can be checked without a window.
#pragma once

#include <string>
#include <vector>

#include "skin_types.h"

namespace skinlet {

// Pixels of this colour are not drawn by images drawn with transparency.
constexpr COLORREF kColorKey = 0xFA00FA;

// Each transition step lasts at least this long.
constexpr DWORD kAnimationStepMs = 40;
constexpr int kAnimationSteps = 15;
// Step k of a transition uses entry k; entry 0 is never used.
extern const float kAnimationFactor[16];

// Face name of a script's face index; indexes outside the table give the system default.
const WCHAR* faceName(int index);

// A font of the face table selected into a context for the life of the object.
class ScopedFont {
 public:
  ScopedFont(HDC dc, int faceIndex, int size);
  ~ScopedFont();
  ScopedFont(const ScopedFont&) = delete;
  ScopedFont& operator=(const ScopedFont&) = delete;

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ old_;
};

// The bitmap's size; false for a null or unreadable bitmap.
bool bitmapSize(HBITMAP bitmap, int& width, int& height);

// Transition type limited to 0..8.
int clampAnimationType(int type);

// The polygon of a sector: its arc points every 6 degrees from the start angle to the end
// angle, then the centre. An arc never runs more than one full turn.
std::vector<POINT> sectorPoints(const tagSector& sector);

// Height of a signal bar of `height` pixels at signal level `cn` (0..height).
int signalBarHeight(int height, int cn);

// Characters of a text of `length` characters and `textWidth` pixels that fit on a line of
// `areaWidth` pixels; 0 when nothing is to be broken.
int lineBreakSpacing(int length, int textWidth, int areaWidth);
// Puts a space after every `every` characters of the text in `buffer` (capacity `size`
// characters, terminator included). What would not fit is cut at the buffer's end.
void insertLineBreaks(WCHAR* buffer, size_t size, int every);

// The scrolling string: the text twice, each followed by six spaces.
std::u16string scrollString(std::u16string_view text);
// The offset after a scroll step of a text whose doubled string is `doubledWidth` wide in
// an area `areaWidth` wide.
int nextScrollOffset(int offset, int step, int doubledWidth, int areaWidth);

}  // namespace skinlet

namespace skinlet {

// Every pixel of `frame` outside `keep` becomes, per colour channel, the average of itself and
// the pixel of `screen` at the same place (rows of `width` 0x00RRGGBB pixels).
void blendOutside(uint32_t* frame, const uint32_t* screen, int width, int height, const RECT& keep);

}  // namespace skinlet
