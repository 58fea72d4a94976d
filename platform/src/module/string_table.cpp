#include "module/string_table.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace plat::module {
namespace {

// ---------------------------------------------------------------- text decoding

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::u16string decodeUtf8(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t need = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      need = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      need = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      need = 3;
    }
    ++i;
    if (c >= 0x80 && need == 0) cp = 0xFFFD;
    for (size_t k = 0; k < need; ++k, ++i) {
      if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
        cp = 0xFFFD;
        need = 0;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::u16string decodeScript(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return out;
  }
  if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0) bytes.remove_prefix(3);
  return decodeUtf8(bytes);
}

// ---------------------------------------------------------------- resource scripts

enum class Tok { Word, String, Punct, End };

struct Token {
  Tok kind = Tok::End;
  std::u16string text;
  int line = 0;
};

bool isWordChar(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

bool equalsNoCase(const std::u16string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t x = a[i];
    if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
    char y = b[i];
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != static_cast<char16_t>(y)) return false;
  }
  return true;
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class Lexer {
 public:
  explicit Lexer(const std::u16string& text) : m_s(text) {}

  // Tokenises everything; false with an error on the first lexical fault.
  bool run(std::vector<Token>& tokens, std::map<std::u16string, std::u16string>& defines, ParseResult& result) {
    bool lineStart = true;
    while (m_i < m_s.size()) {
      char16_t c = m_s[m_i];
      if (c == u'\n') {
        ++m_line;
        ++m_i;
        lineStart = true;
        continue;
      }
      if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\f' || c == u'\v') {
        ++m_i;
        continue;
      }
      if (c == u'/' && peek(1) == u'/') {
        skipToLineEnd();
        continue;
      }
      if (c == u'/' && peek(1) == u'*') {
        m_i += 2;
        while (m_i < m_s.size() && !(m_s[m_i] == u'*' && peek(1) == u'/')) {
          if (m_s[m_i] == u'\n') ++m_line;
          ++m_i;
        }
        if (m_i >= m_s.size()) return fail(result, "unterminated comment");
        m_i += 2;
        continue;
      }
      if (c == u'#' && lineStart) {
        directive(defines);
        continue;
      }
      lineStart = false;
      Token t;
      t.line = m_line;
      if ((c == u'L' || c == u'l') && peek(1) == u'"') {
        ++m_i;
        c = u'"';
      }
      if (c == u'"') {
        if (!string(t.text, result)) return false;
        t.kind = Tok::String;
      } else if (isWordChar(c)) {
        while (m_i < m_s.size() && isWordChar(m_s[m_i])) t.text += m_s[m_i++];
        t.kind = Tok::Word;
      } else {
        t.text = std::u16string(1, c);
        t.kind = Tok::Punct;
        ++m_i;
      }
      tokens.push_back(std::move(t));
    }
    return true;
  }

 private:
  char16_t peek(size_t ahead) const { return m_i + ahead < m_s.size() ? m_s[m_i + ahead] : 0; }

  void skipToLineEnd() {
    while (m_i < m_s.size() && m_s[m_i] != u'\n') ++m_i;
  }

  // "#define NAME VALUE" is kept for ids; every other directive is passed over.
  void directive(std::map<std::u16string, std::u16string>& defines) {
    size_t end = m_s.find(u'\n', m_i);
    std::u16string line = m_s.substr(m_i + 1, end == std::u16string::npos ? std::u16string::npos : end - m_i - 1);
    skipToLineEnd();
    std::vector<std::u16string> words;
    std::u16string cur;
    for (char16_t ch : line) {
      if (ch == u' ' || ch == u'\t' || ch == u'\r') {
        if (!cur.empty()) words.push_back(cur);
        cur.clear();
      } else {
        cur += ch;
      }
    }
    if (!cur.empty()) words.push_back(cur);
    if (words.size() >= 3 && words[0] == u"define") defines[words[1]] = words[2];
  }

  bool fail(ParseResult& result, const char* message) {
    result.ok = false;
    result.line = m_line;
    result.error = message;
    return false;
  }

  // A string literal with the resource compiler's escapes; "" stands for one quote.
  bool string(std::u16string& out, ParseResult& result) {
    ++m_i;  // opening quote
    while (true) {
      if (m_i >= m_s.size() || m_s[m_i] == u'\n') return fail(result, "unterminated string");
      char16_t c = m_s[m_i++];
      if (c == u'"') {
        if (peek(0) == u'"') {
          out += u'"';
          ++m_i;
          continue;
        }
        return true;
      }
      if (c != u'\\') {
        out += c;
        continue;
      }
      if (m_i >= m_s.size()) return fail(result, "unterminated string");
      char16_t e = m_s[m_i++];
      switch (e) {
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u't': out += u'\t'; break;
        case u'a': out += u'\b'; break;  // the resource compiler's \a is 0x08
        case u'\\': out += u'\\'; break;
        case u'"': out += u'"'; break;
        case u'\'': out += u'\''; break;
        case u'x':
        case u'X': {
          uint32_t v = 0;
          int digits = 0;
          while (digits < 4 && m_i < m_s.size() && hexValue(m_s[m_i]) >= 0) {
            v = v * 16 + static_cast<uint32_t>(hexValue(m_s[m_i++]));
            ++digits;
          }
          if (digits == 0) return fail(result, "\\x without hexadecimal digits");
          out += static_cast<char16_t>(v);
          break;
        }
        default:
          if (e >= u'0' && e <= u'7') {
            uint32_t v = static_cast<uint32_t>(e - u'0');
            for (int digits = 1; digits < 3 && m_i < m_s.size() && m_s[m_i] >= u'0' && m_s[m_i] <= u'7'; ++digits) {
              v = v * 8 + static_cast<uint32_t>(m_s[m_i++] - u'0');
            }
            out += static_cast<char16_t>(v);
          } else {
            // Unknown escapes stay as written.
            out += u'\\';
            out += e;
          }
      }
    }
  }

  const std::u16string& m_s;
  size_t m_i = 0;
  int m_line = 1;
};

class ScriptParser {
 public:
  ScriptParser(const std::vector<Token>& tokens, const std::map<std::u16string, std::u16string>& defines,
               StringTable& table)
      : m_t(tokens), m_defines(defines), m_table(table) {}

  ParseResult run() {
    ParseResult result;
    bool any = false;
    while (m_i < m_t.size()) {
      const Token& t = m_t[m_i++];
      if (t.kind == Tok::Word && equalsNoCase(t.text, "STRINGTABLE")) {
        any = true;
        if (!block(result)) return result;
      }
      // Everything else (LANGUAGE statements, other resources) is not ours to read.
    }
    if (!any) {
      result.error = "no STRINGTABLE in the script";
      return result;
    }
    result.ok = true;
    return result;
  }

 private:
  bool fail(ParseResult& result, int line, const std::string& message) {
    result.ok = false;
    result.line = line;
    result.error = message;
    return false;
  }

  int lastLine() const { return m_t.empty() ? 1 : m_t.back().line; }

  bool isBegin(const Token& t) const {
    return (t.kind == Tok::Word && equalsNoCase(t.text, "BEGIN")) || (t.kind == Tok::Punct && t.text == u"{");
  }
  bool isEnd(const Token& t) const {
    return (t.kind == Tok::Word && equalsNoCase(t.text, "END")) || (t.kind == Tok::Punct && t.text == u"}");
  }

  bool block(ParseResult& result) {
    // Optional statements (LANGUAGE, CHARACTERISTICS, memory flags) up to BEGIN.
    while (true) {
      if (m_i >= m_t.size()) return fail(result, lastLine(), "STRINGTABLE without BEGIN");
      const Token& t = m_t[m_i++];
      if (isBegin(t)) break;
      if (t.kind == Tok::String) return fail(result, t.line, "string before BEGIN of STRINGTABLE");
    }
    while (true) {
      if (m_i >= m_t.size()) return fail(result, lastLine(), "STRINGTABLE without END");
      if (isEnd(m_t[m_i])) {
        ++m_i;
        return true;
      }
      int line = m_t[m_i].line;
      long id = 0;
      if (!expression(id, result)) return false;
      if (id < 0 || id > 0xFFFF) return fail(result, line, "string id " + std::to_string(id) + " out of range 0-65535");
      if (m_i < m_t.size() && m_t[m_i].kind == Tok::Punct && m_t[m_i].text == u",") ++m_i;
      if (m_i >= m_t.size() || m_t[m_i].kind != Tok::String) {
        return fail(result, line, "expected a string after id " + std::to_string(id));
      }
      std::u16string text;
      while (m_i < m_t.size() && m_t[m_i].kind == Tok::String) text += m_t[m_i++].text;
      if (text.size() > 0xFFFF) return fail(result, line, "string " + std::to_string(id) + " too long");
      if (!m_table.emplace(static_cast<uint16_t>(id), text).second) {
        return fail(result, line, "duplicate string id " + std::to_string(id));
      }
    }
  }

  bool number(const std::u16string& word, long& value) {
    size_t i = 0;
    int base = 10;
    if (word.size() > 2 && word[0] == u'0' && (word[1] == u'x' || word[1] == u'X')) {
      base = 16;
      i = 2;
    }
    long v = 0;
    size_t digits = 0;
    for (; i < word.size(); ++i) {
      int d = hexValue(word[i]);
      if (d < 0 || d >= base) break;
      v = v * base + d;
      if (v > 0x7FFFFFFF) return false;
      ++digits;
    }
    // Trailing L / U suffixes as C allows them.
    for (; i < word.size(); ++i) {
      if (word[i] != u'L' && word[i] != u'l' && word[i] != u'U' && word[i] != u'u') return false;
    }
    value = v;
    return digits > 0;
  }

  bool term(long& value, ParseResult& result, int depth) {
    if (m_i >= m_t.size()) return fail(result, lastLine(), "expected a string id");
    if (depth > 32) return fail(result, m_t[m_i].line, "string id expression too deep");
    const Token& t = m_t[m_i++];
    if (t.kind == Tok::Punct && t.text == u"(") {
      if (!expression(value, result, depth + 1)) return false;
      if (m_i >= m_t.size() || m_t[m_i].text != u")") return fail(result, t.line, "missing )");
      ++m_i;
      return true;
    }
    if (t.kind == Tok::Punct && t.text == u"-") {
      if (!term(value, result, depth + 1)) return false;
      value = -value;
      return true;
    }
    if (t.kind == Tok::Word) {
      if (number(t.text, value)) return true;
      auto it = m_defines.find(t.text);
      if (it != m_defines.end() && number(it->second, value)) return true;
      std::string name;
      for (char16_t c : t.text) name += c < 0x80 ? static_cast<char>(c) : '?';
      return fail(result, t.line, "unknown string id '" + name + "'");
    }
    return fail(result, t.line, "expected a string id");
  }

  bool expression(long& value, ParseResult& result, int depth = 0) {
    if (!term(value, result, depth)) return false;
    while (m_i < m_t.size() && m_t[m_i].kind == Tok::Punct &&
           (m_t[m_i].text == u"+" || m_t[m_i].text == u"-" || m_t[m_i].text == u"|")) {
      char16_t op = m_t[m_i++].text[0];
      long rhs = 0;
      if (!term(rhs, result, depth)) return false;
      if (op == u'+') value += rhs;
      if (op == u'-') value -= rhs;
      if (op == u'|') value |= rhs;
      if (value > 0x7FFFFFFF || value < -0x7FFFFFFF) value = -1;  // out of range either way
    }
    return true;
  }

  const std::vector<Token>& m_t;
  const std::map<std::u16string, std::u16string>& m_defines;
  StringTable& m_table;
  size_t m_i = 0;
};

// ---------------------------------------------------------------- PE images

class Image {
 public:
  explicit Image(std::string_view bytes) : m_b(bytes) {}
  bool u16(size_t off, uint32_t& v) const {
    if (off > m_b.size() || m_b.size() - off < 2) return false;
    v = static_cast<uint32_t>(byte(off) | (byte(off + 1) << 8));
    return true;
  }
  bool u32(size_t off, uint32_t& v) const {
    if (off > m_b.size() || m_b.size() - off < 4) return false;
    v = static_cast<uint32_t>(byte(off)) | (static_cast<uint32_t>(byte(off + 1)) << 8) |
        (static_cast<uint32_t>(byte(off + 2)) << 16) | (static_cast<uint32_t>(byte(off + 3)) << 24);
    return true;
  }
  size_t size() const { return m_b.size(); }

 private:
  uint32_t byte(size_t off) const { return static_cast<unsigned char>(m_b[off]); }
  std::string_view m_b;
};

struct Section {
  uint32_t va, vsize, rawSize, rawOffset;
};

class PeReader {
 public:
  explicit PeReader(std::string_view bytes) : m_img(bytes) {}

  ParseResult run(StringTable& table) {
    ParseResult result;
    uint32_t peOffset = 0, sig = 0;
    if (!m_img.u32(0x3C, peOffset) || !m_img.u32(peOffset, sig) || sig != 0x00004550) return fail(result, "no PE header");
    uint32_t sections = 0, optSize = 0, magic = 0;
    size_t coff = static_cast<size_t>(peOffset) + 4;
    if (!m_img.u16(coff + 2, sections) || !m_img.u16(coff + 16, optSize)) return fail(result, "short COFF header");
    size_t opt = coff + 20;
    if (!m_img.u16(opt, magic)) return fail(result, "short optional header");
    size_t dirCountAt = 0, dirsAt = 0;
    if (magic == 0x10B) {
      dirCountAt = opt + 92;
      dirsAt = opt + 96;
    } else if (magic == 0x20B) {
      dirCountAt = opt + 108;
      dirsAt = opt + 112;
    } else {
      return fail(result, "unknown optional header");
    }
    uint32_t dirCount = 0, rsrcRva = 0, rsrcSize = 0;
    if (!m_img.u32(dirCountAt, dirCount) || dirCount < 3) return fail(result, "no resource directory");
    if (dirsAt + 24 > opt + optSize) return fail(result, "no resource directory");
    if (!m_img.u32(dirsAt + 16, rsrcRva) || !m_img.u32(dirsAt + 20, rsrcSize) || rsrcRva == 0) {
      return fail(result, "no resource directory");
    }
    size_t sectionTable = opt + optSize;
    for (uint32_t i = 0; i < sections && i < 96; ++i) {
      size_t at = sectionTable + static_cast<size_t>(i) * 40;
      Section s{};
      if (!m_img.u32(at + 8, s.vsize) || !m_img.u32(at + 12, s.va) || !m_img.u32(at + 16, s.rawSize) ||
          !m_img.u32(at + 20, s.rawOffset)) {
        return fail(result, "short section table");
      }
      m_sections.push_back(s);
    }
    if (!toOffset(rsrcRva, m_root)) return fail(result, "resource directory outside the file");

    // Root -> RT_STRING (6) -> block n -> first language -> data entry.
    size_t stringDir = 0;
    if (!findSubdirectory(m_root, 6, stringDir)) {
      // A module without strings loads; every text is simply missing.
      result.ok = true;
      return result;
    }
    uint32_t named = 0, ids = 0;
    if (!directoryCounts(stringDir, named, ids)) return fail(result, "bad string directory");
    for (uint32_t e = 0; e < named + ids; ++e) {
      size_t entry = stringDir + 16 + static_cast<size_t>(e) * 8;
      uint32_t name = 0, target = 0;
      if (!m_img.u32(entry, name) || !m_img.u32(entry + 4, target)) return fail(result, "bad string directory");
      if ((name & 0x80000000u) || !(target & 0x80000000u)) continue;
      uint32_t block = name & 0xFFFF;
      if (block == 0 || block > 4096) continue;
      size_t langDir = m_root + (target & 0x7FFFFFFFu);
      uint32_t lnamed = 0, lids = 0;
      if (!directoryCounts(langDir, lnamed, lids) || lnamed + lids == 0) continue;
      uint32_t dataEntry = 0;
      if (!m_img.u32(langDir + 16 + 4, dataEntry) || (dataEntry & 0x80000000u)) continue;
      size_t data = m_root + dataEntry;
      uint32_t dataRva = 0, dataSize = 0;
      if (!m_img.u32(data, dataRva) || !m_img.u32(data + 4, dataSize)) return fail(result, "bad data entry");
      size_t at = 0;
      if (!toOffset(dataRva, at) || at > m_img.size() || m_img.size() - at < dataSize) {
        return fail(result, "string block outside the file");
      }
      if (!readBlock(at, dataSize, (block - 1) * 16, table)) return fail(result, "bad string block");
    }
    result.ok = true;
    return result;
  }

 private:
  static ParseResult& fail(ParseResult& result, const char* message) {
    result.ok = false;
    result.error = message;
    return result;
  }

  bool toOffset(uint32_t rva, size_t& out) const {
    for (const Section& s : m_sections) {
      uint32_t extent = s.vsize > s.rawSize ? s.vsize : s.rawSize;
      if (rva >= s.va && rva - s.va < extent) {
        uint32_t delta = rva - s.va;
        if (delta >= s.rawSize) return false;
        out = static_cast<size_t>(s.rawOffset) + delta;
        return out < m_img.size();
      }
    }
    return false;
  }

  bool directoryCounts(size_t dir, uint32_t& named, uint32_t& ids) const {
    return m_img.u16(dir + 12, named) && m_img.u16(dir + 14, ids);
  }

  bool findSubdirectory(size_t dir, uint32_t id, size_t& out) const {
    uint32_t named = 0, ids = 0;
    if (!directoryCounts(dir, named, ids)) return false;
    for (uint32_t e = 0; e < named + ids; ++e) {
      size_t entry = dir + 16 + static_cast<size_t>(e) * 8;
      uint32_t name = 0, target = 0;
      if (!m_img.u32(entry, name) || !m_img.u32(entry + 4, target)) return false;
      if (!(name & 0x80000000u) && name == id && (target & 0x80000000u)) {
        out = m_root + (target & 0x7FFFFFFFu);
        return true;
      }
    }
    return false;
  }

  // 16 counted UTF-16 strings; empty ones are absent.
  bool readBlock(size_t at, uint32_t size, uint32_t firstId, StringTable& table) const {
    size_t end = at + size;
    for (uint32_t i = 0; i < 16; ++i) {
      uint32_t len = 0;
      if (at + 2 > end) return i > 0 || size == 0;  // a block may stop early
      if (!m_img.u16(at, len)) return false;
      at += 2;
      if (static_cast<size_t>(len) * 2 > end - at) return false;
      if (len > 0) {
        std::u16string text;
        text.reserve(len);
        for (uint32_t k = 0; k < len; ++k) {
          uint32_t ch = 0;
          m_img.u16(at + k * 2, ch);
          text += static_cast<char16_t>(ch);
        }
        table[static_cast<uint16_t>(firstId + i)] = std::move(text);
      }
      at += static_cast<size_t>(len) * 2;
    }
    return true;
  }

  Image m_img;
  std::vector<Section> m_sections;
  size_t m_root = 0;
};

}  // namespace

bool looksLikePe(std::string_view bytes) { return bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z'; }

ParseResult parseResourceScript(std::string_view bytes, StringTable& table) {
  ParseResult result;
  std::u16string text = decodeScript(bytes);
  size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) {
    // A script is text; a NUL anywhere means some other kind of file.
    result.line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(nul), u'\n'));
    result.error = "binary content (NUL character)";
    return result;
  }
  std::vector<Token> tokens;
  std::map<std::u16string, std::u16string> defines;
  Lexer lexer(text);
  if (!lexer.run(tokens, defines, result)) {
    table.clear();
    return result;
  }
  result = ScriptParser(tokens, defines, table).run();
  if (!result.ok) table.clear();
  return result;
}

ParseResult parsePeStrings(std::string_view bytes, StringTable& table) {
  ParseResult result = PeReader(bytes).run(table);
  if (!result.ok) table.clear();
  return result;
}

ParseResult parseModule(std::string_view bytes, StringTable& table) {
  if (bytes.empty()) {
    ParseResult result;
    result.error = "empty file";
    return result;
  }
  return looksLikePe(bytes) ? parsePeStrings(bytes, table) : parseResourceScript(bytes, table);
}

}  // namespace plat::module
