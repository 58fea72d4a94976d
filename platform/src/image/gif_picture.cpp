// The first frame of a GIF for the imaging service (thumbnails and still pictures), read by the
// system's one GIF decoder (plat_gif.h) with the rules of a still picture. The files the unit
// meets include frames larger than their logical screen or partly outside it, LZW streams that
// do not start with a clear code and data that ends early, which stricter decoders refuse; here
// the frame is cut to the screen, the stream decodes, and what was decoded is kept. The screen
// outside the frame stays transparent (docs/deviations.md, Pictures).
#include "image/picture_decoders.h"
#include "plat_gif.h"

namespace plat::image {
namespace {

// A still picture shows as much of a damaged image as decodes; its size and time are held by
// the load's budget instead of limits of its own.
constexpr gif::GifRules kStillPicture = {
    .maxFileBytes = 0,
    .maxCanvasPixels = 0,
    .maxImagePixels = 0,
    .wholeImagesOnly = false,
    .drawCutImages = true,
};

}  // namespace

bool gifSize(const uint8_t* data, size_t size, int& width, int& height, std::string& why) {
  return gif::GifDecoder::screenSize(data, size, width, height, why);
}

bool decodeGif(const uint8_t* data, size_t size, LoadBudget& budget, Raster& out, std::string& why) {
  gif::GifDecoder decoder(kStillPicture);
  if (!decoder.load(data, size, why)) return false;
  const int W = decoder.width(), H = decoder.height();
  if (!budget.takePixels(W, H) || !budget.take(sizeof decoder + gif::GifDecoder::kRowByRowWorkingBytes)) {
    why = "picture beyond the memory budget";
    return false;
  }
  out.width = W;
  out.height = H;
  out.pixels.assign(static_cast<size_t>(W) * H, 0);  // transparent where no image gives a colour
  decoder.setDeadline(budget.deadline());
  decoder.attach(out.pixels.data());
  // The first frame: images are drawn one over the other until one that has a graphic control
  // extension (its delay ends the frame). Whatever the file lacks (images, colour tables, data)
  // leaves the screen as far as it was drawn; the picture is never refused for it.
  // An image that covers the whole screen after one already drawn begins the next frame too:
  // files without any control extension are shown as animations that way.
  using Step = gif::GifDecoder::Step;
  bool drawn = false;
  while (!budget.expired() && decoder.nextImage() == Step::Image) {
    const gif::FrameRect& r = decoder.frame();
    if (drawn && r.left == 0 && r.top == 0 && r.width >= W && r.height >= H) break;
    if (decoder.drawImage() != Step::Frame || decoder.control().present) break;
    drawn = true;
  }
  return true;
}

}  // namespace plat::image
