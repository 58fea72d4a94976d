// Skin files as the checker reads them: the document through the engine's own markup class and
// file path, and a small element tree over it that keeps the line of every element.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/skin_check.h"
#include "markup.h"

namespace skinlet::check::detail {

// The tree is only as deep as a script's structure (root, page, section, item, property);
// anything nested deeper is never read by the loader and is not walked either.
constexpr int kMaxDepth = 6;

std::string narrow(std::u16string_view text);
std::u16string widen(std::string_view text);
// A name as messages quote it: 'name'.
std::string named(std::u16string_view name);
bool isSpace(char16_t c);

// Collects the findings of one file.
class Report {
 public:
  Report(std::vector<Finding>& out, std::string file) : m_out(out), m_file(std::move(file)) {}
  void error(int line, std::string message) { add(line, Severity::Error, std::move(message)); }
  void warning(int line, std::string message) { add(line, Severity::Warning, std::move(message)); }
  const std::string& file() const { return m_file; }

 private:
  void add(int line, Severity severity, std::string message) {
    m_out.push_back(Finding{m_file, line, severity, std::move(message)});
  }
  std::vector<Finding>& m_out;
  std::string m_file;
};

struct Attribute {
  std::u16string name;
  std::u16string value;
};

struct Node {
  std::u16string tag;
  int line = 0;
  std::vector<Attribute> attributes;
  std::u16string data;
  std::vector<Node> children;
  bool read = false;  // the loader reads it

  const Attribute* attribute(std::u16string_view name) const {
    for (const Attribute& a : attributes)
      if (a.name == name) return &a;
    return nullptr;
  }
  // The attribute's value read as the loader reads numbers (0 when it is missing).
  int32_t number(std::u16string_view name) const;
};

// The attributes of a start tag ("<name a="1" ...>"), as the document's attribute search
// tokenises them, values unescaped.
std::vector<Attribute> parseAttributes(std::u16string_view tag);

class Document {
 public:
  CMarkup xml;
  Node root;

  // The line (from 1) of a character offset of the document text.
  int lineAt(size_t offset) const;
  void indexLines();
  // The element at the main position and, to kMaxDepth, everything inside it.
  void readTree(Node& node, int depth);

 private:
  std::vector<size_t> m_lineStarts;
};

// The device path of a host file: the platform maps it back under the unit root (the host's
// "/" when no unit is set), so that files are found and decoded as the engine finds them.
std::u16string deviceOf(const std::filesystem::path& host);

// Loads a document after the checks a file from outside needs (exists, is a file, is not too
// large, can be read, is well-formed) and reads its tree; false, with a finding, when it
// cannot be used.
bool loadDocument(const std::filesystem::path& file, Report& report, Document& doc);

}  // namespace skinlet::check::detail
