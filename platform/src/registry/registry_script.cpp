// The REGEDIT4 registry script: the text form the unit's registry is kept in and the form
// device images are built from.
#include <cstdio>
#include <functional>

#include "plat_registry.h"
#include "plat_strings.h"
#include "registry/registry_tree.h"
#include "strings/collation.h"

namespace plat::registry {

const char16_t* const kRootNames[4] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                                       u"HKEY_USERS"};

std::u16string foldName(std::u16string_view name) {
  std::u16string folded(name);
  for (auto& c : folded) c = strings::toLower(c);
  return folded;
}

namespace {

const char16_t* const kShortRootNames[4] = {u"HKCR", u"HKCU", u"HKLM", u"HKU"};

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

bool validName(std::u16string_view name) {
  // A line break or a zero could not be written back into the script.
  for (char16_t c : name)
    if (c == 0 || c == u'\r' || c == u'\n') return false;
  return true;
}

namespace {

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && (isBlank(s.front()) || s.front() == u'\r')) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

bool startsWithIgnoringCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (strings::toLower(s[i]) != strings::toLower(prefix[i])) return false;
  return true;
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::vector<uint8_t> stringData(const std::u16string& text) {
  std::vector<uint8_t> data;
  data.reserve((text.size() + 1) * 2);
  for (char16_t c : text) {
    data.push_back(static_cast<uint8_t>(c & 0xFF));
    data.push_back(static_cast<uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

class ScriptReader {
 public:
  ScriptReader(std::shared_ptr<Key>* roots, std::vector<std::string>& header,
               const std::function<void(int, const std::string&)>& report)
      : roots_(roots), header_(header), report_(report) {}

  void read(const std::u16string& text) {
    std::vector<std::u16string> physical;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find(u'\n', start);
      if (end == std::u16string::npos) end = text.size();
      physical.emplace_back(text.substr(start, end - start));
      start = end + 1;
    }
    bool sawHeader = false;
    for (size_t i = 0; i < physical.size(); ++i) {
      int lineNumber = static_cast<int>(i) + 1;
      std::u16string line(trim(physical[i]));
      // Hex lists go on over several lines, each but the last ending in a backslash.
      while (!line.empty() && line.back() == u'\\' && line.front() != u'[' && line.front() != u';' &&
             line.front() != u'#' && !endsInsideQuotes(line) && i + 1 < physical.size()) {
        line.pop_back();
        line += trim(physical[++i]);
      }
      if (line.empty()) continue;
      if (line.front() == u';' || line.front() == u'#') {
        if (!sawKey_) header_.push_back(utf16ToUtf8(line));
        continue;
      }
      if (!sawHeader) {
        sawHeader = true;
        if (line == u"REGEDIT4" || line == u"Windows Registry Editor Version 5.00") continue;
        report_(lineNumber, "the first line is not \"REGEDIT4\"");
      }
      if (line.front() == u'[') {
        keyLine(line, lineNumber);
      } else {
        valueLine(line, lineNumber);
      }
    }
  }

 private:
  // A backslash inside an unclosed string is part of the text, not a continuation.
  static bool endsInsideQuotes(const std::u16string& line) {
    bool inside = false;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == u'"') inside = !inside;
      else if (inside && line[i] == u'\\') ++i;
    }
    return inside;
  }

  void keyLine(const std::u16string& line, int lineNumber) {
    if (line.back() != u']') {
      report_(lineNumber, "a key line must end with \"]\"");
      current_.reset();
      return;
    }
    std::u16string_view path(line);
    path = path.substr(1, path.size() - 2);
    bool remove = !path.empty() && path.front() == u'-';
    if (remove) path.remove_prefix(1);
    if (!validName(path)) {
      report_(lineNumber, "a key name with a control character");
      current_.reset();
      return;
    }
    size_t slash = path.find(u'\\');
    std::u16string_view rootName = path.substr(0, slash);
    int root = -1;
    for (int r = 0; r < 4; ++r)
      if (foldName(rootName) == foldName(kRootNames[r]) || foldName(rootName) == foldName(kShortRootNames[r])) root = r;
    if (root < 0) {
      report_(lineNumber, "unknown root key \"" + utf16ToUtf8(rootName) + "\"");
      current_.reset();
      return;
    }
    sawKey_ = true;
    std::vector<std::u16string_view> parts;
    if (slash != std::u16string_view::npos) {
      std::u16string_view rest = path.substr(slash + 1);
      size_t at = 0;
      while (at <= rest.size()) {
        size_t next = rest.find(u'\\', at);
        if (next == std::u16string_view::npos) next = rest.size();
        if (next > at) parts.push_back(rest.substr(at, next - at));
        at = next + 1;
      }
    }
    if (parts.size() > static_cast<size_t>(kMaxDepth)) {
      report_(lineNumber, "a key more than " + std::to_string(kMaxDepth) + " levels deep");
      current_.reset();
      return;
    }
    std::shared_ptr<Key> key = roots_[root];
    if (remove) {
      current_.reset();
      if (parts.empty()) {
        report_(lineNumber, "a root key cannot be deleted");
        return;
      }
      for (size_t i = 0; i + 1 < parts.size() && key; ++i) {
        auto it = key->children.find(foldName(parts[i]));
        key = it == key->children.end() ? nullptr : it->second;
      }
      if (key) {
        auto it = key->children.find(foldName(parts.back()));
        if (it != key->children.end()) {
          markDeleted(*it->second);
          key->children.erase(it);
        }
      }
      return;
    }
    for (auto part : parts) {
      auto& child = key->children[foldName(part)];
      if (!child) {
        child = std::make_shared<Key>();
        child->name = std::u16string(part);
        child->depth = key->depth + 1;
      }
      key = child;
    }
    current_ = key;
  }

  static void markDeleted(Key& key) {
    key.deleted = true;
    for (auto& child : key.children) markDeleted(*child.second);
  }

  // Reads a quoted string at `at` (on the opening quote); leaves `at` after the closing one.
  static bool quoted(std::u16string_view line, size_t& at, std::u16string& out) {
    out.clear();
    for (++at; at < line.size(); ++at) {
      char16_t c = line[at];
      if (c == u'"') {
        ++at;
        return true;
      }
      if (c == u'\\' && at + 1 < line.size() && (line[at + 1] == u'\\' || line[at + 1] == u'"')) c = line[++at];
      out.push_back(c);
    }
    return false;
  }

  void valueLine(const std::u16string& line, int lineNumber) {
    if (!current_) {
      if (!sawKey_) report_(lineNumber, "a value outside of any key");
      else report_(lineNumber, "a value of a key that could not be read");
      return;
    }
    std::u16string_view s(line);
    size_t at = 0;
    std::u16string name;
    if (s[0] == u'@') {
      at = 1;
    } else if (s[0] == u'"') {
      if (!quoted(s, at, name)) {
        report_(lineNumber, "the value name has no closing quote");
        return;
      }
    } else {
      report_(lineNumber, "a value name must be quoted or \"@\"");
      return;
    }
    if (!validName(name)) {
      report_(lineNumber, "a value name with a control character");
      return;
    }
    while (at < s.size() && isBlank(s[at])) ++at;
    if (at >= s.size() || s[at] != u'=') {
      report_(lineNumber, "missing \"=\" after the value name");
      return;
    }
    ++at;
    while (at < s.size() && isBlank(s[at])) ++at;
    std::u16string_view data = s.substr(at);
    Value value;
    value.name = name;
    if (data == u"-") {
      current_->values.erase(foldName(name));
      return;
    }
    if (!data.empty() && data[0] == u'"') {
      std::u16string text;
      size_t end = 0;
      if (!quoted(data, end, text)) {
        report_(lineNumber, "the string value has no closing quote");
        return;
      }
      if (!trim(data.substr(end)).empty()) {
        report_(lineNumber, "text after the closing quote of the string value");
        return;
      }
      value.type = REG_SZ;
      value.data = stringData(text);
    } else if (startsWithIgnoringCase(data, u"dword:")) {
      std::u16string_view digits = trim(data.substr(6));
      if (digits.empty() || digits.size() > 8) {
        report_(lineNumber, "a dword value needs 1 to 8 hex digits");
        return;
      }
      uint32_t v = 0;
      for (char16_t c : digits) {
        int d = hexDigit(c);
        if (d < 0) {
          report_(lineNumber, "a dword value needs 1 to 8 hex digits");
          return;
        }
        v = v * 16 + static_cast<uint32_t>(d);
      }
      value.type = REG_DWORD;
      value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    } else if (startsWithIgnoringCase(data, u"hex")) {
      size_t p = 3;
      value.type = REG_BINARY;
      if (p < data.size() && data[p] == u'(') {
        size_t close = data.find(u')', p);
        uint32_t type = 0;
        bool ok = close != std::u16string_view::npos && close > p + 1 && close - p - 1 <= 8;
        for (size_t k = p + 1; ok && k < close; ++k) {
          int d = hexDigit(data[k]);
          if (d < 0) ok = false;
          else type = type * 16 + static_cast<uint32_t>(d);
        }
        if (!ok) {
          report_(lineNumber, "a hex(type) value needs a hex type number");
          return;
        }
        value.type = type;
        p = close + 1;
      }
      if (p >= data.size() || data[p] != u':') {
        report_(lineNumber, "missing \":\" after hex");
        return;
      }
      if (!hexBytes(data.substr(p + 1), value.data)) {
        report_(lineNumber, "hex data must be bytes of two hex digits separated by commas");
        return;
      }
    } else {
      report_(lineNumber, "unknown value type");
      return;
    }
    auto& slot = current_->values[foldName(name)];
    // A value already there keeps the spelling of its name.
    if (!slot.name.empty()) value.name = slot.name;
    slot = std::move(value);
  }

  static bool hexBytes(std::u16string_view list, std::vector<uint8_t>& out) {
    out.clear();
    list = trim(list);
    if (list.empty()) return true;
    size_t at = 0;
    while (at < list.size()) {
      while (at < list.size() && isBlank(list[at])) ++at;
      int hi = at < list.size() ? hexDigit(list[at]) : -1;
      if (hi < 0) return false;
      ++at;
      int lo = at < list.size() ? hexDigit(list[at]) : -1;
      if (lo >= 0) {
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
        ++at;
      } else {
        out.push_back(static_cast<uint8_t>(hi));
      }
      while (at < list.size() && isBlank(list[at])) ++at;
      if (at == list.size()) break;
      if (list[at] != u',') return false;
      ++at;  // a trailing comma is allowed
    }
    return true;
  }

  std::shared_ptr<Key>* roots_;
  std::vector<std::string>& header_;
  const std::function<void(int, const std::string&)>& report_;
  std::shared_ptr<Key> current_;
  bool sawKey_ = false;
};

std::string escaped(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out.push_back('\\');
    out += utf16ToUtf8(std::u16string_view(&c, 1));
  }
  return out;
}

// The text of a REG_SZ value when it can be written as a quoted string: exactly one
// terminator at the end, no other zero, no line breaks.
bool plainString(const Value& value, std::u16string& text) {
  const auto& d = value.data;
  if (d.size() < 2 || d.size() % 2 != 0) return false;
  size_t count = d.size() / 2;
  text.clear();
  for (size_t i = 0; i < count; ++i) {
    char16_t c = static_cast<char16_t>(d[2 * i] | (d[2 * i + 1] << 8));
    if (i + 1 == count) return c == 0;
    if (c == 0 || c == u'\r' || c == u'\n') return false;
    // Lone surrogates would not survive the UTF-8 file.
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    text.push_back(c);
  }
  return false;
}

void writeHex(std::string& out, std::string prefix, const std::vector<uint8_t>& data) {
  // Lines stay under 80 columns, continued with a backslash as the registry editor does.
  size_t column = prefix.size();
  out += prefix;
  char byte[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    out += byte;
    column += 2;
    if (i + 1 < data.size()) {
      out += ',';
      ++column;
      if (column > 76) {
        out += "\\\n  ";
        column = 2;
      }
    }
  }
  out += '\n';
}

void writeKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += "[" + path + "]\n";
    for (const auto& [folded, value] : key.values) {
      std::string name = value.name.empty() ? "@" : "\"" + escaped(value.name) + "\"";
      std::u16string text;
      if (value.type == REG_SZ && plainString(value, text)) {
        out += name + "=\"" + escaped(text) + "\"\n";
      } else if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t v = static_cast<uint32_t>(value.data[0]) | (static_cast<uint32_t>(value.data[1]) << 8) |
                     (static_cast<uint32_t>(value.data[2]) << 16) | (static_cast<uint32_t>(value.data[3]) << 24);
        char number[16];
        std::snprintf(number, sizeof number, "%08x", v);
        out += name + "=dword:" + number + "\n";
      } else if (value.type == REG_BINARY) {
        writeHex(out, name + "=hex:", value.data);
      } else {
        char type[24];
        std::snprintf(type, sizeof type, "=hex(%x):", static_cast<unsigned>(value.type));
        writeHex(out, name + type, value.data);
      }
    }
    out += "\n";
  }
  for (const auto& [folded, child] : key.children) writeKey(out, *child, path + "\\" + utf16ToUtf8(child->name), false);
}

}  // namespace

void parseScript(const std::string& bytes, std::shared_ptr<Key> roots[4], std::vector<std::string>& header,
                 const std::function<void(int, const std::string&)>& report) {
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE) {
    // UTF-16LE, as the registry editor writes version 5 files.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  } else {
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    text = utf8ToUtf16(std::string_view(bytes).substr(skip));
  }
  ScriptReader(roots, header, report).read(text);
}

std::string writeScript(const std::shared_ptr<Key> roots[4], const std::vector<std::string>& header) {
  std::string out = "REGEDIT4\n\n";
  for (const auto& line : header) out += line + "\n";
  if (!header.empty()) out += "\n";
  for (int r = 0; r < 4; ++r) writeKey(out, *roots[r], utf16ToUtf8(kRootNames[r]), true);
  return out;
}

}  // namespace plat::registry
