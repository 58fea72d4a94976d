#include "spare_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <mutex>

#include "plat_core.h"

namespace markup {

namespace {

constexpr size_t kMinBlock = size_t{1} << 16;   // bytes
constexpr size_t kMaxText = size_t{1} << 23;    // characters (16 MB)
constexpr size_t kMaxBlocks = size_t{24} << 20;  // bytes, all blocks together
constexpr int kSlots = 6;

// Whether a kept block of `size` suits a request.
inline bool suits(size_t size, size_t needed, size_t want) { return size >= needed && size / 4 <= want; }

struct Spares {
  std::mutex mutex;
  void* blocks[kSlots] = {};
  size_t sizes[kSlots] = {};
  size_t total = 0;
  std::u16string text;
};

// Never destroyed: a document that goes while the program exits still finds it.
Spares& spares() {
  static Spares* s = new Spares;
  return *s;
}

// Read without the lock, to skip it when nothing is kept (most documents are small).
std::atomic<size_t> g_largestBlock{0};
std::atomic<size_t> g_textRoom{0};

void noteLargest(const Spares& s) {
  size_t largest = 0;
  for (size_t size : s.sizes) largest = size > largest ? size : largest;
  g_largestBlock.store(largest, std::memory_order_relaxed);
}

}  // namespace

void* takeSpareBlock(size_t needed, size_t want, size_t& got) {
  if (needed < kMinBlock / 2 || g_largestBlock.load(std::memory_order_relaxed) < needed) return nullptr;
  Spares& s = spares();
  std::lock_guard<std::mutex> lock(s.mutex);
  int best = -1;
  for (int i = 0; i < kSlots; ++i)
    if (s.blocks[i] && suits(s.sizes[i], needed, want) && (best < 0 || s.sizes[i] < s.sizes[best])) best = i;
  if (best < 0) return nullptr;
  void* block = s.blocks[best];
  got = s.sizes[best];
  s.total -= got;
  s.blocks[best] = nullptr;
  s.sizes[best] = 0;
  noteLargest(s);
  return block;
}

void keepSpareBlock(void* block, size_t bytes) {
  if (!block) return;
  if (bytes < kMinBlock || bytes > kMaxBlocks) {
    std::free(block);
    return;
  }
  void* evicted = nullptr;
  {
    Spares& s = spares();
    std::lock_guard<std::mutex> lock(s.mutex);
    // A free slot, else the smallest block kept when it is smaller than this one.
    int slot = -1;
    for (int i = 0; i < kSlots; ++i) {
      if (!s.blocks[i]) {
        slot = i;
        break;
      }
      if (s.sizes[i] < bytes && (slot < 0 || s.sizes[i] < s.sizes[slot])) slot = i;
    }
    if (slot >= 0 && s.total - s.sizes[slot] + bytes <= kMaxBlocks) {
      evicted = s.blocks[slot];
      s.total = s.total - s.sizes[slot] + bytes;
      s.blocks[slot] = block;
      s.sizes[slot] = bytes;
      noteLargest(s);
    } else {
      evicted = block;
    }
  }
  std::free(evicted);
}

void* growBlock(void* block, size_t used, size_t held, size_t needed, size_t& got) {
  if (void* kept = takeSpareBlock(needed, needed, got)) {
    if (used) std::memcpy(kept, block, used);
    keepSpareBlock(block, held);
    return kept;
  }
  if (needed >= plat::kHugePageBytes) {
    // Whole huge pages, advised as such: filling the block then takes a fault per 2 MB instead
    // of one per 4 KB (on the virtual machines we measured on, a fault costs over 10 us).
    const size_t size = (needed + plat::kHugePageBytes - 1) & ~(plat::kHugePageBytes - 1);
    void* fresh = std::aligned_alloc(plat::kHugePageBytes, size);
    if (!fresh) throw std::bad_alloc();
    plat::adviseHugePages(fresh, size);
    if (used) std::memcpy(fresh, block, used);
    keepSpareBlock(block, held);
    got = size;
    return fresh;
  }
  void* grown = std::realloc(block, needed);
  if (!grown) throw std::bad_alloc();
  got = needed;
  return grown;
}

bool takeSpareText(std::u16string& text, size_t needed, size_t want) {
  const size_t room = g_textRoom.load(std::memory_order_relaxed);
  if (room == 0 || !suits(room, needed, want)) return false;
  std::u16string taken;
  {
    Spares& s = spares();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!suits(s.text.capacity(), needed, want)) return false;
    taken.swap(s.text);
    g_textRoom.store(0, std::memory_order_relaxed);
  }
  taken.assign(text);  // within its room: no allocation
  text.swap(taken);    // the old buffer goes with `taken`
  return true;
}

void keepSpareText(std::u16string& text) {
  const size_t room = text.capacity();
  if (room * sizeof(char16_t) < kMinBlock || room > kMaxText || room <= g_textRoom.load(std::memory_order_relaxed))
    return;
  Spares& s = spares();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (room <= s.text.capacity()) return;
  s.text.swap(text);
  s.text.clear();
  g_textRoom.store(s.text.capacity(), std::memory_order_relaxed);
}

}  // namespace markup
