#include "text/font_catalog.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include "plat_core.h"
#include "plat_file.h"
#include "text/font_instance.h"

#if HU_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif
#if HU_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace plat::text {
namespace {

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

struct Catalog {
  std::mutex mutex;
  bool pinned = false;
  std::vector<FontFile> pinnedFiles;
  std::string scannedFolder;  // host folder the unit files were read from
  bool scanned = false;
  std::vector<FontFile> unitFiles;
  std::map<std::string, std::optional<FontFile>> fontconfigCache;
};

Catalog& catalog() {
  static Catalog* c = new Catalog;
  return *c;
}

// Reads the family and style of every face of the font files given.
std::vector<FontFile> describeFiles(const std::vector<std::string>& paths) {
  std::vector<FontFile> out;
#if HU_HAVE_FREETYPE
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib)) return out;
  for (const std::string& path : paths) {
    FT_Long faces = 1;
    for (FT_Long i = 0; i < faces; ++i) {
      FT_Face face = nullptr;
      if (FT_New_Face(lib, path.c_str(), i, &face)) break;
      faces = face->num_faces;
      FontFile f;
      f.path = path;
      f.index = static_cast<int>(i);
      f.family = face->family_name ? face->family_name : "";
      f.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
      f.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
      out.push_back(f);
      FT_Done_Face(face);
    }
  }
  FT_Done_FreeType(lib);
#endif
  return out;
}

std::vector<std::string> unitFontPaths(const std::string& folder) {
  std::vector<std::string> paths;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    const std::string ext = lower(e.path().extension().string());
    if (ext != ".ttf" && ext != ".ttc" && ext != ".otf") continue;
    // The font library opens what it is given and would wait on a named pipe for good.
    std::error_code typeError;
    if (!e.is_regular_file(typeError)) {
      plat::console::writeUtf8("fonts: " + e.path().string() + " is not a file: not read\n");
      continue;
    }
    paths.push_back(e.path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool pick(const std::vector<FontFile>& files, const std::string& family, bool bold, bool italic, FontFile& out) {
  const std::string want = lower(family);
  int best = -1;
  const FontFile* found = nullptr;
  for (const FontFile& f : files) {
    if (lower(f.family) != want) continue;
    const int score = (f.bold == bold ? 2 : 0) + (f.italic == italic ? 1 : 0);
    if (score > best) {
      best = score;
      found = &f;
    }
  }
  if (!found) return false;
  out = *found;
  return true;
}

#if HU_HAVE_FONTCONFIG
std::optional<FontFile> fontconfigFind(const std::string& family, bool bold, bool italic) {
  // fontconfig's state is released at exit, so leak checkers see a clean process.
  static const bool ready = [] {
    if (!FcInit()) return false;
    std::atexit(FcFini);
    return true;
  }();
  if (!ready) return std::nullopt;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  FcPatternDestroy(pat);
  if (!match) return std::nullopt;
  std::optional<FontFile> out;
  FcChar8* file = nullptr;
  FcChar8* fam = nullptr;
  int index = 0, weight = 0, slant = 0;
  // fontconfig always answers with something; only a face of the family asked for counts.
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    for (int k = 0; FcPatternGetString(match, FC_FAMILY, k, &fam) == FcResultMatch; ++k) {
      if (lower(reinterpret_cast<const char*>(fam)) == lower(family)) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        out = FontFile{reinterpret_cast<const char*>(file), index, family, weight >= FC_WEIGHT_BOLD,
                       slant != FC_SLANT_ROMAN};
        break;
      }
    }
  }
  FcPatternDestroy(match);
  return out;
}
#endif

}  // namespace

std::vector<std::string> familiesFor(const std::u16string& faceName) {
  std::string name;
  for (char16_t c : faceName) {
    // UTF-8 of the face name (BMP characters are enough for face names).
    if (c < 0x80) {
      name += static_cast<char>(c);
    } else if (c < 0x800) {
      name += static_cast<char>(0xC0 | (c >> 6));
      name += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      name += static_cast<char>(0xE0 | (c >> 12));
      name += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      name += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  const std::string key = lower(name);
  // The faces the skins name, mapped to installed families of matching metrics.
  if (key.empty() || key == "system" || key == "tahoma") return {"DejaVu Sans", "Liberation Sans"};
  if (key == "arial") return {"Liberation Sans", "Arimo", "DejaVu Sans"};
  if (name == "\xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91" || key == "microsoft yahei")
    return {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "DejaVu Sans"};
  if (key == "ms gothic" || name == "\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF")
    return {"IPAGothic", "Noto Sans CJK JP", "DejaVu Sans"};
  return {name, "DejaVu Sans", "Liberation Sans"};
}

const std::vector<std::string>& fallbackFamilies() {
  static const std::vector<std::string> f = {"WenQuanYi Micro Hei", "IPAGothic", "DejaVu Sans", "Liberation Sans"};
  return f;
}

bool findFontFile(const std::string& family, bool bold, bool italic, FontFile& out) {
  Catalog& c = catalog();
  std::lock_guard lock(c.mutex);
  if (c.pinned) return pick(c.pinnedFiles, family, bold, italic, out);
  const std::string folder = plat::hostPath(u"\\Windows\\Fonts");
  if (!c.scanned || folder != c.scannedFolder) {
    c.unitFiles = describeFiles(unitFontPaths(folder));
    c.scannedFolder = folder;
    c.scanned = true;
  }
  if (pick(c.unitFiles, family, bold, italic, out)) return true;
#if HU_HAVE_FONTCONFIG
  const std::string key = lower(family) + (bold ? "/b" : "/r") + (italic ? "i" : "");
  auto it = c.fontconfigCache.find(key);
  if (it == c.fontconfigCache.end()) it = c.fontconfigCache.emplace(key, fontconfigFind(family, bold, italic)).first;
  if (it->second) {
    out = *it->second;
    return true;
  }
#endif
  return false;
}

void pinFontFiles(const std::vector<std::string>& paths) {
  {
    Catalog& c = catalog();
    std::lock_guard lock(c.mutex);
    c.pinned = !paths.empty();
    c.pinnedFiles = describeFiles(paths);
  }
  dropFontInstances();
}

void resetFontCatalog() {
  {
    Catalog& c = catalog();
    std::lock_guard lock(c.mutex);
    c.scanned = false;
    c.unitFiles.clear();
    c.fontconfigCache.clear();
  }
  dropFontInstances();
}

}  // namespace plat::text
