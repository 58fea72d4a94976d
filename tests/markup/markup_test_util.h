// Helpers shared by the CMarkup suites.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "markup.h"

namespace markup_test {

inline std::string narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

inline std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// A fresh folder under the test temporary folder.
inline std::string makeTempDir() {
  std::string pattern = testing::TempDir() + "markup_XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back(0);
  const char* made = mkdtemp(buf.data());
  return made ? std::string(made) : std::string();
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// The element structure as text: every element in document order with its offsets, so that an
// index kept up to date by edits can be compared with a fresh parse of the same text. Walks the
// index links directly and leaves the positions alone.
inline std::string describeIndex(const CMarkup& m) {
  std::string out;
  int x = m.ElemAt(0).FirstChild;
  int depth = 0;
  while (x) {
    const CMarkup::ElemPos& e = m.ElemAt(x);
    std::u16string name;
    for (int i = e.Start + 1; i < static_cast<int>(m.GetDoc().size()); ++i) {
      char16_t c = m.GetDoc()[static_cast<size_t>(i)];
      if (c == u' ' || c == u'>' || c == u'/' || c == u'\r' || c == u'\n' || c == u'\t') break;
      name += c;
    }
    out += std::to_string(depth) + ":" + narrow(name) + "@" + std::to_string(e.Start) + "+" + std::to_string(e.Length) +
           "/" + std::to_string(e.StartTagLen()) + "/" + std::to_string(e.EndTagLen()) + "\n";
    if (e.FirstChild) {
      x = e.FirstChild;
      ++depth;
      continue;
    }
    while (x && !m.ElemAt(x).Next) {
      x = m.ElemAt(x).Parent;
      --depth;
    }
    if (x) x = m.ElemAt(x).Next;
  }
  return out;
}

}  // namespace markup_test
