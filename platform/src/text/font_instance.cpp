#include "text/font_instance.h"

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "plat_core.h"
#include "text/font_catalog.h"

#if HU_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#endif

namespace plat::text {

std::mutex& textMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}

#if HU_HAVE_FREETYPE
namespace {

FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l)) return static_cast<FT_Library>(nullptr);
    return l;
  }();
  return lib;
}

using InstanceKey = std::tuple<std::u16string, long, bool, bool, bool, bool>;

std::map<InstanceKey, std::shared_ptr<FontInstance>>& instances() {
  static auto* m = new std::map<InstanceKey, std::shared_ptr<FontInstance>>;
  return *m;
}

std::u16string lowerFace(const WCHAR* name) {
  std::u16string s;
  for (int i = 0; i < LF_FACESIZE && name[i]; ++i) {
    char16_t c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    s += c;
  }
  return s;
}

}  // namespace

struct FontInstance::Face {
  FT_Face face = nullptr;
  FontFile file;
  bool synthBold = false;
  bool synthItalic = false;
  ~Face() {
    if (face) FT_Done_Face(face);
  }
};

FontInstance::~FontInstance() = default;

std::shared_ptr<FontInstance> FontInstance::get(const LOGFONTW& lf) {
  // A new unit root may bring other font files: forget what was resolved under the old one.
  {
    static std::string lastRoot;
    static std::mutex rootMutex;
    std::lock_guard rl(rootMutex);
    if (plat::options().unitRoot != lastRoot) {
      lastRoot = plat::options().unitRoot;
      resetFontCatalog();
    }
  }
  std::lock_guard lock(textMutex());
  const bool bold = lf.lfWeight >= 600;
  const bool italic = lf.lfItalic != 0;
  const InstanceKey key{lowerFace(lf.lfFaceName), lf.lfHeight, bold, italic, lf.lfUnderline != 0, lf.lfStrikeOut != 0};
  auto& all = instances();
  if (auto it = all.find(key); it != all.end()) return it->second;
  if (lf.lfWidth || lf.lfEscapement || lf.lfOrientation) {
    plat::console::writeUtf8("FIXME: fonts ignore width, escapement and orientation\n");
  }

  std::shared_ptr<FontInstance> fi(new FontInstance);
  fi->bold_ = bold;
  fi->italic_ = italic;
  fi->underline_ = lf.lfUnderline != 0;
  fi->strikeOut_ = lf.lfStrikeOut != 0;
  fi->metrics_.weight = lf.lfWeight ? static_cast<int>(lf.lfWeight) : FW_NORMAL;

  std::u16string faceName;
  for (int i = 0; i < LF_FACESIZE && lf.lfFaceName[i]; ++i) faceName += lf.lfFaceName[i];
  auto face = std::make_unique<Face>();
  for (const std::string& family : familiesFor(faceName)) {
    if (!findFontFile(family, bold, italic, face->file)) continue;
    if (library() && !FT_New_Face(library(), face->file.path.c_str(), face->file.index, &face->face)) break;
    face->face = nullptr;
  }
  if (!face->face) {
    // Any face at all is better than no text: try the fallback families as the main face.
    for (const std::string& family : fallbackFamilies()) {
      if (!findFontFile(family, bold, italic, face->file)) continue;
      if (library() && !FT_New_Face(library(), face->file.path.c_str(), face->file.index, &face->face)) break;
      face->face = nullptr;
    }
  }
  if (!face->face) {
    plat::console::writeUtf8("CreateFont: no font file found; text will not be drawn\n");
    all.emplace(key, fi);
    return fi;
  }
  FT_Face f = face->face;
  face->synthBold = bold && !face->file.bold;
  face->synthItalic = italic && !face->file.italic;

  // GDI heights: positive is the cell (ascent + descent), negative the em square.
  const double upem = f->units_per_EM ? f->units_per_EM : 1000;
  double winAscent = f->ascender, winDescent = -f->descender;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2)); os2 && os2->usWinAscent) {
    winAscent = os2->usWinAscent;
    winDescent = os2->usWinDescent;
  }
  const double cellUnits = std::max(1.0, winAscent + winDescent);
  long height = lf.lfHeight;
  if (height == 0) height = 16;  // the device's default cell
  // Sizes from scripts are not trusted: a glyph of a million pixels square would exhaust memory.
  constexpr long kMaxHeight = 1000;
  if (height > kMaxHeight) height = kMaxHeight;
  if (height < -kMaxHeight) height = -kMaxHeight;
  FontMetrics& m = fi->metrics_;
  if (height > 0) {
    fi->em_ = height * upem / cellUnits;
    m.height = static_cast<int>(height);
    m.ascent = static_cast<int>(std::lround(winAscent * height / cellUnits));
    m.descent = m.height - m.ascent;
  } else {
    fi->em_ = static_cast<double>(-height);
    m.ascent = static_cast<int>(std::lround(winAscent * fi->em_ / upem));
    m.descent = static_cast<int>(std::lround(winDescent * fi->em_ / upem));
    m.height = m.ascent + m.descent;
  }
  m.internalLeading = std::max(0, m.height - static_cast<int>(std::lround(fi->em_)));
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2)); os2 && os2->xAvgCharWidth > 0) {
    m.aveCharWidth = static_cast<int>(std::lround(os2->xAvgCharWidth * fi->em_ / upem));
  } else {
    m.aveCharWidth = static_cast<int>(std::lround(fi->em_ / 2));
  }
  m.maxCharWidth = static_cast<int>(std::lround((f->bbox.xMax - f->bbox.xMin) * fi->em_ / upem));
  FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(std::lround(fi->em_ * 64)), 72, 72);
  fi->faces_.push_back(std::move(face));
  all.emplace(key, fi);
  return fi;
}

void FontInstance::openFallbacks() {
  fallbacksOpen_ = true;
  for (const std::string& family : fallbackFamilies()) {
    auto face = std::make_unique<Face>();
    if (!findFontFile(family, bold_, italic_, face->file)) continue;
    bool dup = false;
    for (auto& have : faces_) dup = dup || (have->file.path == face->file.path && have->file.index == face->file.index);
    if (dup || FT_New_Face(library(), face->file.path.c_str(), face->file.index, &face->face)) {
      face->face = nullptr;
      continue;
    }
    face->synthBold = bold_ && !face->file.bold;
    face->synthItalic = italic_ && !face->file.italic;
    FT_Set_Char_Size(face->face, 0, static_cast<FT_F26Dot6>(std::lround(em_ * 64)), 72, 72);
    faces_.push_back(std::move(face));
  }
}

Glyph FontInstance::render(Face& face, unsigned index) {
  Glyph g;
  FT_Face f = face.face;
  const bool outlineWork = face.synthBold || face.synthItalic;
  if (FT_Load_Glyph(f, index, FT_LOAD_TARGET_LIGHT | (outlineWork ? FT_LOAD_NO_BITMAP : 0))) return g;
  FT_GlyphSlot slot = f->glyph;
  int extra = 0;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (face.synthItalic) {
      FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (face.synthBold) {
      const FT_Pos strength = std::max<FT_Pos>(32, static_cast<FT_Pos>(em_ * 64 / 20));
      FT_Outline_Embolden(&slot->outline, strength);
      extra = static_cast<int>((strength + 32) >> 6);
    }
  }
  g.advance = static_cast<int>((slot->advance.x + 32) >> 6) + extra;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL)) return g;
  const FT_Bitmap& bm = slot->bitmap;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.width = static_cast<int>(bm.width);
  g.height = static_cast<int>(bm.rows);
  g.alpha.resize(static_cast<size_t>(g.width) * g.height);
  for (int y = 0; y < g.height; ++y) {
    const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
    uint8_t* dst = &g.alpha[static_cast<size_t>(y) * g.width];
    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (int x = 0; x < g.width; ++x) dst[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
    } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      std::memcpy(dst, src, static_cast<size_t>(g.width));
    } else if (bm.pixel_mode == FT_PIXEL_MODE_BGRA) {
      for (int x = 0; x < g.width; ++x) dst[x] = src[x * 4 + 3];
    }
  }
  return g;
}

const Glyph& FontInstance::glyph(char32_t c) {
  if (c < 128 && ascii_[c]) return *ascii_[c];
  if (auto it = cache_.find(c); it != cache_.end()) return *it->second;
  auto g = std::make_unique<Glyph>();
  if (!faces_.empty()) {
    // Control characters draw nothing and take no room.
    if (c >= 0x20 && c != 0x7F) {
      Face* chosen = nullptr;
      unsigned index = 0;
      for (size_t pass = 0; pass < 2 && !chosen; ++pass) {
        if (pass == 1) {
          if (fallbacksOpen_) break;
          openFallbacks();
        }
        for (auto& face : faces_) {
          if ((index = FT_Get_Char_Index(face->face, c)) != 0) {
            chosen = face.get();
            break;
          }
        }
      }
      // No face has it: the main face's missing-glyph box.
      *g = render(chosen ? *chosen : *faces_[0], chosen ? index : 0);
    }
  }
  const Glyph* out = g.get();
  cache_.emplace(c, std::move(g));
  if (c < 128) ascii_[c] = out;
  return *out;
}

void dropFontInstances() {
  std::lock_guard lock(textMutex());
  instances().clear();
}

#else  // no FreeType: fonts exist and measure, nothing is drawn

struct FontInstance::Face {};
FontInstance::~FontInstance() = default;
std::shared_ptr<FontInstance> FontInstance::get(const LOGFONTW&) {
  static std::shared_ptr<FontInstance> none(new FontInstance);
  return none;
}
void FontInstance::openFallbacks() {}
Glyph FontInstance::render(Face&, unsigned) { return Glyph{}; }
const Glyph& FontInstance::glyph(char32_t) {
  static Glyph empty;
  return empty;
}
void dropFontInstances() {}

#endif

std::u32string decodeUtf16(const WCHAR* text, size_t count) {
  std::u32string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out += 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      out += 0xFFFD;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace plat::text
