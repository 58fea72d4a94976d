// Receiver bytes into the NMEA parser, fed in pieces as the serial reader delivers them.
#include <cstddef>
#include <cstdint>

#include "links/nmea_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CNmeaParser parser;
  // The first byte chooses the block size so that sentences straddle block edges.
  size_t block = size ? data[0] % 64 + 1 : 1;
  for (size_t at = 1; at < size; at += block) {
    size_t n = size - at < block ? size - at : block;
    parser.Feed(data + at, static_cast<int>(n));
  }
  return 0;
}
