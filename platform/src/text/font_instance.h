// A font at one size: the FreeType faces that draw it (the chosen face, then the fallback
// faces for characters it lacks), its GDI metrics and its cache of rendered glyphs.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "plat_gdi.h"

namespace plat::text {

struct Glyph {
  int left = 0;     // from the pen position to the bitmap's left column
  int top = 0;      // from the baseline up to the bitmap's top row
  int width = 0;
  int height = 0;
  int advance = 0;  // whole pixels, as GDI lays text out
  std::vector<uint8_t> alpha;
};

struct FontMetrics {
  int ascent = 0;
  int descent = 0;
  int height = 0;
  int internalLeading = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
  int weight = FW_NORMAL;
};

// Every FreeType call and every glyph-cache access happens under this lock.
std::mutex& textMutex();

class FontInstance {
 public:
  // The shared instance for this logical font (made on first use); never null, but
  // `usable()` is false when no font file at all could be opened.
  static std::shared_ptr<FontInstance> get(const LOGFONTW& font);
  ~FontInstance();

  bool usable() const { return !faces_.empty(); }
  const FontMetrics& metrics() const { return metrics_; }
  bool underline() const { return underline_; }
  bool strikeOut() const { return strikeOut_; }
  // Rendered glyph of a character (textMutex() held). The reference stays valid as long as
  // the instance lives.
  const Glyph& glyph(char32_t c);

  struct Face;

 private:
  FontInstance() = default;
  void openFallbacks();
  Glyph render(Face& face, unsigned index);

  std::vector<std::unique_ptr<Face>> faces_;
  bool fallbacksOpen_ = false;
  double em_ = 16;
  bool bold_ = false;
  bool italic_ = false;
  bool underline_ = false;
  bool strikeOut_ = false;
  FontMetrics metrics_;
  std::unordered_map<char32_t, std::unique_ptr<Glyph>> cache_;
  const Glyph* ascii_[128] = {};
};

// Drops every cached instance (fonts files changed); objects still using one keep it.
void dropFontInstances();

// UTF-16 to code points (unpaired surrogates become U+FFFD).
std::u32string decodeUtf16(const WCHAR* text, size_t count);

}  // namespace plat::text
