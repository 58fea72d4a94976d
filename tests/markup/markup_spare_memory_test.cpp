// The blocks and text buffers documents give up, kept for the next large document.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "spare_memory.h"

namespace {

constexpr size_t kKB = 1024;
constexpr size_t kMB = 1024 * kKB;

// Takes (and frees) whatever earlier tests left kept.
void drain() {
  size_t got = 0;
  while (void* b = markup::takeSpareBlock(32 * kKB, SIZE_MAX / 8, got)) std::free(b);
  std::u16string t;
  markup::takeSpareText(t, 0, SIZE_MAX / 8);
}

void* block(size_t bytes) {
  void* b = std::malloc(bytes);
  std::memset(b, 0x5A, bytes);
  return b;
}

TEST(SpareMemory, ABlockIsTakenByARequestItSuitsAndOnlyOnce) {
  drain();
  void* one = block(1 * kMB);
  void* two = block(2 * kMB);
  markup::keepSpareBlock(one, 1 * kMB);
  markup::keepSpareBlock(two, 2 * kMB);
  size_t got = 0;
  // Too large for either, or more than four times what the table would grow to: none.
  EXPECT_EQ(markup::takeSpareBlock(3 * kMB, 3 * kMB, got), nullptr);
  EXPECT_EQ(markup::takeSpareBlock(200 * kKB, 200 * kKB, got), nullptr);
  // The smallest that suits.
  EXPECT_EQ(markup::takeSpareBlock(600 * kKB, 600 * kKB, got), one);
  EXPECT_EQ(got, 1 * kMB);
  EXPECT_EQ(markup::takeSpareBlock(600 * kKB, 600 * kKB, got), two);
  EXPECT_EQ(got, 2 * kMB);
  EXPECT_EQ(markup::takeSpareBlock(600 * kKB, 600 * kKB, got), nullptr);
  std::free(one);
  std::free(two);
}

TEST(SpareMemory, WhatIsKeptIsBounded) {
  drain();
  // Small blocks are freed at once.
  markup::keepSpareBlock(block(16 * kKB), 16 * kKB);
  size_t got = 0;
  EXPECT_EQ(markup::takeSpareBlock(16 * kKB, 16 * kKB, got), nullptr);
  // Five blocks of 5 MB: four fit the 24 MB kept at most, the fifth is freed.
  for (int i = 0; i < 5; ++i) markup::keepSpareBlock(block(5 * kMB), 5 * kMB);
  std::vector<void*> taken;
  while (void* b = markup::takeSpareBlock(5 * kMB, 5 * kMB, got)) taken.push_back(b);
  EXPECT_EQ(taken.size(), 4u);
  for (void* b : taken) std::free(b);
  // A larger block replaces the smallest kept when every slot is in use.
  std::vector<void*> kept;
  for (int i = 0; i < 6; ++i) {
    kept.push_back(block(128 * kKB));
    markup::keepSpareBlock(kept.back(), 128 * kKB);
  }
  void* large = block(1 * kMB);
  markup::keepSpareBlock(large, 1 * kMB);
  EXPECT_EQ(markup::takeSpareBlock(1 * kMB, 1 * kMB, got), large);
  std::free(large);
  int left = 0;
  while (void* b = markup::takeSpareBlock(128 * kKB, 128 * kKB, got)) {
    ++left;
    std::free(b);
  }
  EXPECT_EQ(left, 5);
}

TEST(SpareMemory, ATextKeepsItsCharactersWhenItMovesIntoTheKeptBuffer) {
  drain();
  std::u16string gone(300000, u'x');
  const char16_t* buffer = gone.data();
  markup::keepSpareText(gone);
  EXPECT_TRUE(gone.empty() || gone.data() != buffer);
  // A smaller one does not replace it.
  std::u16string small(70000, u'y');
  markup::keepSpareText(small);
  EXPECT_EQ(small.size(), 70000u);

  std::u16string text = u"<doc>already written</doc>";
  EXPECT_FALSE(markup::takeSpareText(text, 400000, 400000));  // too small
  EXPECT_FALSE(markup::takeSpareText(text, 1000, 1000));      // far more than it needs
  EXPECT_TRUE(markup::takeSpareText(text, 100000, 100000));
  EXPECT_EQ(text.data(), buffer);
  EXPECT_EQ(text, u"<doc>already written</doc>");
  EXPECT_GE(text.capacity(), 300000u);
  EXPECT_FALSE(markup::takeSpareText(text, 100000, 100000));  // taken once
}

TEST(SpareMemory, ABlockGrownPastAHugePageKeepsWhatItHeld) {
  drain();
  // From 1.5 MB written to 5 MB wanted: a fresh block of whole 2 MB pages, aligned to them.
  const size_t used = 3 * kMB / 2;
  auto* old = static_cast<unsigned char*>(std::malloc(used));
  for (size_t i = 0; i < used; ++i) old[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
  size_t got = 0;
  auto* grown = static_cast<unsigned char*>(markup::growBlock(old, used, used, 5 * kMB, got));
  EXPECT_EQ(got, 6 * kMB);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % (2 * kMB), 0u);
  size_t differ = 0;
  for (size_t i = 0; i < used; ++i) differ += grown[i] != static_cast<unsigned char>(i * 7 + (i >> 12));
  EXPECT_EQ(differ, 0u);
  grown[got - 1] = 1;  // all of it is ours
  // The block it grew from was kept (1.5 MB), and is handed out again.
  EXPECT_EQ(markup::takeSpareBlock(used, used, got), static_cast<void*>(old));
  std::free(old);
  std::free(grown);
}

}  // namespace
