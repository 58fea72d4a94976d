// The animation player's reading of GIF files: the system's one GIF decoder (plat_gif.h) with
// the player's limits and rules. It knows nothing of threads or device contexts, so tests can
// read the composited frames directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plat_gif.h"

namespace gif {

using plat::gif::FrameRect;
using plat::gif::GraphicControl;

// Budgets: whatever a file declares, one player holds at most this much.
constexpr size_t kMaxFileBytes = 32u << 20;
constexpr uint32_t kMaxCanvasPixels = 16u << 20;  // 64 MB of 32-bit pixels
// A frame larger than this is not decoded at all (an LZW stream that long would only cost
// time: at most the canvas of it can ever show).
constexpr uint64_t kMaxFramePixels = 64u << 20;

constexpr int kDefaultDelayMs = 50;

// A half-decoded image would show garbage for a whole frame delay, so the player draws an image
// only when it decodes cleanly; a file cut short ends the frame and the next round starts.
constexpr plat::gif::GifRules kPlayerRules = {
    .maxFileBytes = kMaxFileBytes,
    .maxCanvasPixels = kMaxCanvasPixels,
    .maxImagePixels = kMaxFramePixels,
    .wholeImagesOnly = true,
    .drawCutImages = false,
};

class GifDecoder : public plat::gif::GifDecoder {
 public:
  GifDecoder() : plat::gif::GifDecoder(kPlayerRules) {}

  // Milliseconds to show the last image: delay x 10, or 50 when the delay is 0.
  int delayMs() const { return control().delay > 0 ? control().delay * 10 : kDefaultDelayMs; }
};

}  // namespace gif
