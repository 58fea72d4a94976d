// GifDecoder: reads a GIF87a/89a file frame by frame and composites each frame onto a canvas
// of the file's logical screen size, as the animation player shows it. It knows nothing of
// threads or device contexts, so tests can read the composited frames directly.
//
// The canvas holds 32-bit pixels 0xAARRGGBB (B, G, R, A in memory, the layout of a 32-bit
// DIB). Frame pixels are written with alpha 0xFF; a transparent index leaves the canvas
// pixel as it was, so whatever the caller filled the canvas with shows through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace gif {

// Budgets: whatever a file declares, one player holds at most this much.
constexpr size_t kMaxFileBytes = 32u << 20;
constexpr uint32_t kMaxCanvasPixels = 16u << 20;  // 64 MB of 32-bit pixels
// A frame larger than this is not decoded at all (an LZW stream that long would only cost
// time: at most the canvas of it can ever show).
constexpr uint64_t kMaxFramePixels = 64u << 20;

constexpr int kDefaultDelayMs = 50;

// Values of the graphic control extension that applies to one image.
struct GraphicControl {
  int disposal = 0;  // 0..7; 2 and 3 restore the covered area afterwards
  bool transparent = false;
  int transparentIndex = 0;
  int delay = 0;  // hundredths of a second
};

struct FrameRect {
  int left = 0, top = 0, width = 0, height = 0;
};

class GifDecoder {
 public:
  enum class Step {
    Frame,    // an image was decoded and composited onto the canvas
    Skipped,  // an image was read but not drawn (broken LZW codes, bad colour index, too large)
    Cycle,    // the trailer: the stream is back at the first frame
    Broken,   // a block of an unknown type or a read past the data: the frame ends undrawn;
              // the stream cannot be followed further and is back at the first frame
  };

  // Takes the whole file. False, with the reason in `why`, for anything that is not a GIF we
  // can hold: wrong signature, short header or colour table, logical screen over the budget.
  bool load(std::vector<uint8_t> bytes, std::string& why);
  void clear();  // frees the file and every buffer
  bool loaded() const { return loaded_; }

  int width() const { return width_; }
  int height() const { return height_; }

  // Starts again at the first frame with the whole canvas set to `fill` (allocates it).
  void reset(uint32_t fill);
  // Starts again at the first frame drawing into the caller's pixels (width() * height(), kept
  // alive by the caller until releaseBuffers or the next reset), content as it is: the player
  // hands over the bits of its canvas bitmap so that nothing is copied per frame.
  void attach(uint32_t* pixels);
  // Frees the canvas and the decoding buffers; the file stays, so reset() can play it again.
  void releaseBuffers();

  // Reads up to and including the next image or trailer. Restores the area of the previous
  // image first when its disposal asked for that. On Frame and Skipped, frame() and control()
  // describe the image; `why` says what went wrong for Skipped and Broken.
  Step next();
  const std::string& why() const { return why_; }
  const GraphicControl& control() const { return control_; }
  const FrameRect& frame() const { return frame_; }
  // Milliseconds to show the last image: delay x 10, or 50 when the delay is 0.
  int delayMs() const { return control_.delay > 0 ? control_.delay * 10 : kDefaultDelayMs; }

  const uint32_t* canvas() const { return canvas_; }

 private:
  bool readByte(uint8_t& b);
  bool skipSubBlocks();
  bool gatherSubBlocks();
  Step readImage();
  bool decodeLzw(int minCodeSize, int frameWidth, int frameHeight, bool interlaced);
  void composite(const uint32_t* palette);
  void restoreSaved();

  std::vector<uint8_t> file_;
  bool loaded_ = false;
  size_t framesStart_ = 0;  // offset of the first block after the global colour table
  size_t pos_ = 0;
  int width_ = 0, height_ = 0;
  uint32_t global_[256] = {};
  int globalSize_ = 0;  // 0: no global colour table

  GraphicControl pending_;  // read from an extension, applies to the next image
  GraphicControl control_;  // of the last image
  FrameRect frame_;
  std::string why_;

  uint32_t* canvas_ = nullptr;          // ownCanvas_ or the caller's pixels
  std::vector<uint32_t> ownCanvas_;
  // The area of the last image and what the canvas held there before it, when its disposal
  // asks to restore it.
  std::vector<uint32_t> saved_;
  FrameRect savedRect_;
  bool restorePending_ = false;

  // Decoding buffers, kept between frames.
  std::vector<uint8_t> data_;     // the image's LZW bytes, sub-block headers removed
  std::vector<uint8_t> indices_;  // visible part of the image, rows in decoding order
  std::vector<uint8_t> row_;      // one whole row of the image as it is decoded
  std::vector<int> order_;        // image rows in decoding order (interlace passes)
  int visLeft_ = 0, visTop_ = 0, visWidth_ = 0, visHeight_ = 0;  // canvas-clipped image
  int rowsDone_ = 0;  // rows fully decoded, in decoding order
  int lastRowPixels_ = 0;  // pixels of the next row decoded when the data ended
};

}  // namespace gif
