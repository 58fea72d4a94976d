// GIF files from outside (a skin's "GifImg" animations, pictures on a card) go through the one
// GIF decoder with either user's rules: any bytes must be refused or decoded round after round
// without a read or write outside the file and the canvas, within the limits.
#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "image/picture_decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The still picture: the first frame, drawn row by row, cut images kept. A copy of exactly
  // `size` bytes, so a read past the file is a read past the allocation.
  {
    std::vector<uint8_t> bytes(data, data + size);
    int w = 0, h = 0;
    std::string why;
    if (plat::image::gifSize(bytes.data(), bytes.size(), w, h, why) && uint64_t(w) * uint64_t(h) <= (4u << 20)) {
      plat::image::LoadBudget budget;
      plat::image::Raster out;
      plat::image::decodeGif(bytes.data(), bytes.size(), budget, out, why);
    }
  }
  // The animation player: whole images only, every frame of two rounds.
  gif::GifDecoder dec;
  std::string why;
  if (!dec.load(std::vector<uint8_t>(data, data + size), why)) return 0;
  // A canvas over a few megapixels only slows the run down; the budget itself is tested.
  if (uint64_t(dec.width()) * uint64_t(dec.height()) > (4u << 20)) return 0;
  dec.reset(0x00123456u);
  // Two rounds: the second starts from the rewound stream with whatever the first left.
  int rounds = 0;
  for (int i = 0; i < 512 && rounds < 2; ++i) {
    gif::GifDecoder::Step s = dec.next();
    if (s == gif::GifDecoder::Step::Cycle || s == gif::GifDecoder::Step::Broken) ++rounds;
  }
  return 0;
}
