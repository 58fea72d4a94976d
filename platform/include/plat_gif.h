// GIF87a/89a decoding for everything that shows GIF files: the imaging service's still pictures
// and the skin engine's animation player read them through this one decoder. It walks the file
// image by image and draws each image onto a canvas of the file's logical screen; where its
// users want different things of a broken or huge file, they say so in GifRules.
//
// The canvas holds 32-bit pixels 0xAARRGGBB (B, G, R, A in memory, the layout of a 32-bit DIB).
// Image pixels are written with alpha 0xFF; a transparent index leaves the canvas pixel as it
// was, so whatever the caller filled the canvas with shows through.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace plat::gif {

// What one user of the decoder accepts and how it treats damaged images.
struct GifRules {
  size_t maxFileBytes = 0;       // a longer file is refused by load(); 0: no limit
  uint64_t maxCanvasPixels = 0;  // a larger logical screen is refused by load(); 0: no limit
  uint64_t maxImagePixels = 0;   // a larger image is not decoded (Skipped); 0: no limit
  // true: an image is drawn only once all of its data has decoded cleanly; a code not yet
  //   defined or a colour index past its table leaves the whole image undrawn (Skipped).
  // false: rows are drawn as they decode; such a code ends the image with what was drawn kept,
  //   and an index past the table leaves its pixel as it was.
  bool wholeImagesOnly = true;
  // An image whose data runs past the end of the file. false: the frame ends undrawn (Broken).
  // true: what the data gives is drawn (Frame), and the stream ends after it.
  bool drawCutImages = false;
};

// Values of the graphic control extension that applies to one image.
struct GraphicControl {
  bool present = false;  // the image had a graphic control block (even one too short to read)
  int disposal = 0;      // 0..7; 2 and 3 restore the covered area afterwards
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
    Image,    // nextImage(): an image descriptor was read; drawImage() decodes it
    Frame,    // an image was decoded and drawn onto the canvas
    Skipped,  // an image was read but not drawn (broken LZW codes, bad colour index, too large)
    Cycle,    // the trailer: the stream is back at the first frame
    Broken,   // a block of an unknown type or a read past the data: the frame ends undrawn;
              // the stream cannot be followed further and is back at the first frame
  };

  explicit GifDecoder(const GifRules& rules = {}) : rules_(rules) {}
  GifDecoder(const GifDecoder&) = delete;
  GifDecoder& operator=(const GifDecoder&) = delete;

  // The logical screen a file declares, from its header alone; false (with the reason) when
  // the header is not that of a GIF87a/89a file or the screen has no pixels.
  static bool screenSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why);

  // Takes the whole file. False, with the reason in `why`, for anything that is not a GIF we
  // can hold: wrong signature, short header or colour table, sizes over the rules' limits.
  bool load(std::vector<uint8_t> bytes, std::string& why);
  // The same on bytes the caller keeps alive, unchanged, until clear() or the next load.
  bool load(const uint8_t* data, size_t size, std::string& why);
  void clear();  // frees the file (when held) and every buffer
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
  // Decoding that reaches this time stops as if the image's data ended there (timedOut()).
  void setDeadline(std::chrono::steady_clock::time_point deadline);
  bool timedOut() const { return timedOut_; }

  // Reads up to and including the next image descriptor (Image) or trailer (Cycle), first
  // restoring the area of the previous image when its disposal asked for that. On Image,
  // frame() and control() describe the image; nothing is drawn until drawImage().
  Step nextImage();
  // Decodes and draws the image nextImage() found: Frame, Skipped or Broken.
  Step drawImage();
  // Both: reads up to and including the next image or trailer.
  Step next();

  // What went wrong, for Skipped and Broken.
  const std::string& why() const { return why_; }
  const GraphicControl& control() const { return control_; }
  const FrameRect& frame() const { return frame_; }
  const uint32_t* canvas() const { return canvas_; }

  // The most working memory a decoder takes beside the file, the canvas and itself when
  // images are drawn row by row (wholeImagesOnly false): one row of the logical screen.
  static constexpr size_t kRowByRowWorkingBytes = 65536;

 private:
  bool parse(const uint8_t* data, size_t size, std::string& why);
  bool readByte(uint8_t& b);
  bool skipSubBlocks();
  Step endOfStream(const char* why);
  bool decodeLzw();
  void drawRow(int y, const uint8_t* indices, int pixels);
  void saveCovered();
  void restoreSaved();

  const GifRules rules_;
  std::vector<uint8_t> owned_;  // the file, when load() was given it to keep
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  bool loaded_ = false;
  size_t framesStart_ = 0;  // offset of the first block after the global colour table
  size_t pos_ = 0;
  int width_ = 0, height_ = 0;
  uint32_t global_[256] = {};
  int globalSize_ = 0;  // 0: no global colour table
  bool hasDeadline_ = false;
  std::chrono::steady_clock::time_point deadline_{};
  bool timedOut_ = false;

  GraphicControl pending_;  // read from an extension, applies to the next image
  GraphicControl control_;  // of the last image
  FrameRect frame_;
  std::string why_;

  // The image nextImage() found.
  bool imageReady_ = false;
  bool interlaced_ = false;
  int minCodeSize_ = 0;
  size_t imageData_ = 0;  // its first data sub-block
  // Canvas colour of each index; 0 (no alpha) for the transparent index and indices past the
  // table, which leave the canvas as it is.
  uint32_t colours_[256] = {};
  int tableSize_ = 0;
  int coloursKey_ = -1;  // colours_ holds the global table with this transparent index (256: none)
  bool anyHole_ = false;  // some index that can be drawn has colour 0

  uint32_t* canvas_ = nullptr;  // ownCanvas_ or the caller's pixels
  std::vector<uint32_t> ownCanvas_;
  // The area of the last image and what the canvas held there before it, when its disposal
  // asks to restore it.
  std::vector<uint32_t> saved_;
  FrameRect savedRect_;
  bool restorePending_ = false;

  // Decoding buffers, kept between frames.
  std::vector<uint8_t> indices_;  // whole images: the visible part of the image, canvas rows
  std::vector<uint8_t> row_;      // row by row: the visible part of the row being decoded
  int visLeft_ = 0, visTop_ = 0, visWidth_ = 0, visHeight_ = 0;  // canvas-clipped image
  int rowsDone_ = 0;       // rows fully decoded, in decoding order
  int lastRowPixels_ = 0;  // pixels of the next row decoded when the data ended

  // LZW tables, kept between images so that each image need not set up 256 roots again.
  static constexpr int kLzwCodes = 4096;
  uint16_t prefix_[kLzwCodes];
  uint8_t suffix_[kLzwCodes];
  uint8_t firstOf_[kLzwCodes];
  uint16_t length_[kLzwCodes];
  uint8_t string_[kLzwCodes];  // one code's string when it does not go straight into a row
  int rootsClean_ = 0;         // entries below this hold their single byte
};

}  // namespace plat::gif
