// Animated pictures from outside (a skin's "GifImg" files): any bytes must be refused or
// played round after round without a read or write outside the file and the canvas, within
// the canvas budget.
#include <cstdint>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
