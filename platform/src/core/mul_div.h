// a * b / c for 64-bit operands whose product may not fit in 64 bits, exactly and rounded toward
// zero as integer division rounds, with no 128-bit type (32-bit ARM has none).
#pragma once

#include <cstdint>

namespace plat {

// b >= 0, c > 0; a result beyond 64 bits comes back as INT64_MAX (INT64_MIN when a < 0).
inline int64_t mulDiv(int64_t a, int64_t b, int64_t c) {
  const bool negative = a < 0;
  const uint64_t ua = negative ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a);
  const uint64_t ub = static_cast<uint64_t>(b), uc = static_cast<uint64_t>(c);
  uint64_t q;
  if (ub == 0 || ua <= UINT64_MAX / ub) {
    q = ua * ub / uc;
  } else {
    // The product in two 64-bit halves from 32-bit pieces, then divided bit by bit.
    const uint64_t a0 = ua & 0xFFFFFFFFu, a1 = ua >> 32, b0 = ub & 0xFFFFFFFFu, b1 = ub >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    const uint64_t lo = (p00 & 0xFFFFFFFFu) | (mid << 32);
    const uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
    if (hi >= uc) return negative ? INT64_MIN : INT64_MAX;
    uint64_t r = hi;  // below c, which is below 2^63: one more bit fits
    q = 0;
    for (int bit = 63; bit >= 0; --bit) {
      r = (r << 1) | ((lo >> bit) & 1u);
      q <<= 1;
      if (r >= uc) {
        r -= uc;
        q |= 1u;
      }
    }
  }
  if (q > static_cast<uint64_t>(INT64_MAX)) return negative ? INT64_MIN : INT64_MAX;
  return negative ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
}

}  // namespace plat
