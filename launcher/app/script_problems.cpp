#include "app/script_problems.h"

#include <cctype>
#include <cstdint>

#include "authoring/skin_check.h"
#include "markup.h"
#include "plat_file.h"
#include "plat_strings.h"
#include "windows.h"

namespace app {
namespace {

// "line L column C" of a character offset of the document.
std::string position(const std::u16string& doc, size_t offset, size_t* lineOut) {
  size_t line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset && i < doc.size(); ++i) {
    if (doc[i] == u'\n') {
      ++line;
      lineStart = i + 1;
    }
  }
  if (lineOut) *lineOut = line;
  return "line " + std::to_string(line) + " column " + std::to_string(offset - lineStart + 1);
}

// The parser's message with every "offset N" told as a line and column; the line of the first
// one comes back in `firstLine` (1 when the message names no offset).
std::string withLines(const std::u16string& doc, const std::string& message, size_t& firstLine) {
  static const std::string kMark = "offset ";
  std::string out;
  firstLine = 0;
  size_t from = 0;
  auto digitAt = [&](size_t i) { return i < message.size() && std::isdigit(static_cast<unsigned char>(message[i])); };
  for (;;) {
    size_t at = message.find(kMark, from);
    if (at == std::string::npos || !digitAt(at + kMark.size())) {
      out += message.substr(from);
      break;
    }
    size_t end = at + kMark.size();
    size_t offset = 0;
    while (digitAt(end) && offset <= (SIZE_MAX - 9) / 10)
      offset = offset * 10 + static_cast<size_t>(message[end++] - '0');
    size_t line = 0;
    out += message.substr(from, at - from);
    out += position(doc, offset, &line);
    if (firstLine == 0) firstLine = line;
    from = end;
  }
  if (firstLine == 0) firstLine = 1;
  return out;
}

}  // namespace

std::string documentProblem(const std::filesystem::path& file) {
  const std::string where = file.string();
  std::u16string device = plat::devicePath(where);
  CMarkup xml;
  bool wellFormed = xml.Load(device.c_str());
  std::string error = plat::utf16ToUtf8(xml.GetError());
  if (!wellFormed) {
    if (xml.GetDoc().empty()) {
      if (!error.empty() && error.find(" bytes to ") == std::string::npos) return where + ": cannot be read: " + error;
      return where + ":1: the file is empty";
    }
    // A load that read the file reports "N bytes to M wide chars" before the parser's message.
    size_t cut = error.find(" wide chars, ");
    if (cut != std::string::npos) error = error.substr(cut + 13);
    else if (error.find(" wide chars") != std::string::npos) error.clear();
    if (error.empty()) error = "not well-formed: the document must hold exactly one root element";
    size_t line = 1;
    std::string message = withLines(xml.GetDoc(), error, line);
    return where + ":" + std::to_string(line) + ": " + message;
  }
  return {};
}

std::string scriptLoadProblem(const std::filesystem::path& script) {
  std::string problem = documentProblem(script);
  if (!problem.empty()) return problem;
  const std::string where = script.string();
  CMarkup xml;
  if (!xml.Load(plat::devicePath(where).c_str())) return where + ": changed while it was read";
  // Well-formed: the loader reads "MENU" pages below a root "SL_MENUS", or a root "MENU".
  if (!xml.FindElem()) return where + ":1: no root element";
  std::string root = plat::utf16ToUtf8(xml.GetTagName());
  if (root == "MENU") return {};
  if (root != "SL_MENUS") return where + ":1: the root element is " + root + ", not SL_MENUS: the script gives no page";
  xml.IntoElem();
  if (!xml.FindElem(u"MENU")) return where + ":1: SL_MENUS holds no MENU: the script gives no page";
  return {};
}

void printScriptProblems(const std::filesystem::path& skinFolder, const std::filesystem::path& script) {
  const std::filesystem::path path = script.is_absolute() ? script : skinFolder / script;
  std::string problem = scriptLoadProblem(path);
  if (!problem.empty()) plat::console::writeUtf8("[Vexa APP] " + problem + "\n");

  // Then what the skin checker finds in the script; a document that is not well-formed was told
  // above with lines and columns, so the checker's own line for it is left out.
  for (const skinlet::check::Finding& finding : skinlet::check::checkScript(skinFolder, path)) {
    if (!problem.empty() && finding.message.rfind("not well-formed XML", 0) == 0) continue;
    plat::console::writeUtf8("[Vexa APP] " + skinlet::check::format(finding) + "\n");
  }
}

}  // namespace app
