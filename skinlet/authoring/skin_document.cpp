#include "authoring/skin_document.h"

#include <algorithm>
#include <cstdlib>
#include <cerrno>
#include <system_error>

#include "windows.h"

namespace skinlet::check::detail {

namespace fs = std::filesystem;

std::string narrow(std::u16string_view text) { return plat::utf16ToUtf8(text); }
std::u16string widen(std::string_view text) { return plat::utf8ToUtf16(text); }
std::string named(std::u16string_view name) { return "'" + narrow(name) + "'"; }
bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

int32_t Node::number(std::u16string_view name) const {
  const Attribute* a = attribute(name);
  return a ? static_cast<int32_t>(_wtol(a->value.c_str())) : 0;
}

std::vector<Attribute> parseAttributes(std::u16string_view tag) {
  std::vector<Attribute> out;
  size_t i = 1;  // after "<"
  while (i < tag.size() && !isSpace(tag[i]) && tag[i] != u'>' && tag[i] != u'/') ++i;
  while (i < tag.size()) {
    while (i < tag.size() && isSpace(tag[i])) ++i;
    if (i >= tag.size() || tag[i] == u'>' || tag[i] == u'/' || tag[i] == u'?') break;
    size_t nameStart = i;
    while (i < tag.size() && !isSpace(tag[i]) && tag[i] != u'=' && tag[i] != u'>') ++i;
    Attribute a;
    a.name = std::u16string(tag.substr(nameStart, i - nameStart));
    while (i < tag.size() && isSpace(tag[i])) ++i;
    if (i < tag.size() && tag[i] == u'=') {
      ++i;
      while (i < tag.size() && isSpace(tag[i])) ++i;
      if (i < tag.size() && (tag[i] == u'"' || tag[i] == u'\'')) {
        char16_t quote = tag[i++];
        size_t end = tag.find(quote, i);
        if (end == std::u16string_view::npos) end = tag.size();
        a.value = CMarkup::UnescapeText(std::u16string(tag.substr(i, end - i)));
        i = end + 1;
      } else {
        size_t valueStart = i;
        while (i < tag.size() && !isSpace(tag[i]) && tag[i] != u'>') ++i;
        a.value = CMarkup::UnescapeText(std::u16string(tag.substr(valueStart, i - valueStart)));
      }
    }
    if (!a.name.empty()) out.push_back(std::move(a));
  }
  return out;
}

int Document::lineAt(size_t offset) const {
  auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
  return static_cast<int>(it - m_lineStarts.begin());
}

void Document::indexLines() {
  m_lineStarts.assign(1, 0);
  const std::u16string& text = xml.GetDoc();
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == u'\n') m_lineStarts.push_back(i + 1);
}

void Document::readTree(Node& node, int depth) {
  const CMarkup::ElemPos& pos = xml.ElemAt(xml.GetPos());
  node.tag = xml.GetTagName();
  node.line = lineAt(static_cast<size_t>(pos.Start));
  std::u16string_view doc = xml.GetDoc();
  size_t start = static_cast<size_t>(pos.Start);
  size_t length = std::min(static_cast<size_t>(pos.StartTagLen()), doc.size() - std::min(start, doc.size()));
  node.attributes = parseAttributes(doc.substr(start, length));
  node.data = xml.GetData();
  if (depth + 1 >= kMaxDepth) return;
  if (!xml.IntoElem()) return;
  while (xml.FindElem()) {
    node.children.emplace_back();
    readTree(node.children.back(), depth + 1);
  }
  xml.OutOfElem();
}

std::u16string deviceOf(const fs::path& host) {
  std::error_code ec;
  fs::path absolute = fs::absolute(host, ec);
  std::u16string device = plat::devicePath((ec ? host : absolute).lexically_normal().string());
  return device;
}

// Why a path is no file the engine could read, or empty when it is a regular file; looked at
// without opening it, so that a named pipe or a device is never waited on.
std::string notAFile(const fs::path& file) {
  std::error_code ec;
  fs::file_status status = fs::status(file, ec);
  if (ec && ec.value() == ELOOP) return "is a link loop";
  if (!fs::exists(status)) {
    std::error_code linkError;
    return fs::is_symlink(fs::symlink_status(file, linkError)) ? "is a link to nothing" : "no such file";
  }
  switch (status.type()) {
    case fs::file_type::regular: return {};
    case fs::file_type::directory: return "is a folder, not a file";
    case fs::file_type::fifo: return "is a named pipe (FIFO), not a file";
    case fs::file_type::socket: return "is a socket, not a file";
    case fs::file_type::character: return "is a character device, not a file";
    case fs::file_type::block: return "is a block device, not a file";
    default: return "is not a plain file";
  }
}

bool loadDocument(const fs::path& file, Report& report, Document& doc) {
  std::string why = notAFile(file);
  if (!why.empty()) {
    report.error(0, why);
    return false;
  }
  std::error_code ec;
  std::uintmax_t size = fs::file_size(file, ec);
  if (ec) {
    report.error(0, "cannot be read: " + ec.message());
    return false;
  }
  if (size > kMaxFileBytes) {
    report.error(0, "is " + std::to_string(size) + " bytes; files over " + std::to_string(kMaxFileBytes) +
                        " bytes are not read");
    return false;
  }
  std::u16string device = deviceOf(file);
  bool loaded = !device.empty() && doc.xml.Load(device);
  doc.indexLines();
  if (!loaded && !plat::lastFileFailure().empty()) {
    // Not opened at all (no permission, or it changed into something else meanwhile).
    report.error(0, "cannot be read: " + plat::lastFileFailure());
    return false;
  }
  if (!loaded) {
    // The load result comes first ("N bytes to M wide chars"), then the parse error.
    std::string error = narrow(doc.xml.GetError());
    size_t comma = error.find(", ");
    if (error.find(" wide chars") != std::string::npos && comma != std::string::npos) error = error.substr(comma + 2);
    int line = 0;
    size_t at = error.find("at offset ");
    if (at != std::string::npos) line = doc.lineAt(static_cast<size_t>(std::atol(error.c_str() + at + 10)));
    report.error(line, "not well-formed XML (" + error + "): the engine loads nothing from this file");
    return false;
  }
  doc.xml.ResetPos();
  if (!doc.xml.FindElem()) return false;
  doc.readTree(doc.root, 0);
  return true;
}

}  // namespace skinlet::check::detail
