// The skin checker. A script is read twice: once into a small element tree that keeps line
// numbers, which is walked against the loader's read orders (skin_schema.h) to find every
// element the loader would pass over, and once by the loader itself into tagMenu records,
// whose values (inherited defaults included) are exactly what the engine would use. Images
// are loaded through the engine's bitmap path, texts looked up in the language modules the
// way the engine finds them.
#include "authoring/skin_check.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>

#include "authoring/skin_document.h"
#include "ir_links.h"
#include "markup.h"
#include "skin_loader.h"
#include "skin_schema.h"
#include "windows.h"

namespace skinlet::check {
namespace {

namespace fs = std::filesystem;
using schema::Carries;
using schema::RowInfo;

using namespace detail;

// ---------------------------------------------------------------------------------------------
// Names: the nearest known name for a misspelt one.

size_t editDistance(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// " (did you mean 'X'?)" when a known name is close enough to be what was meant.
std::string suggestion(std::u16string_view name, const std::vector<std::u16string>& known) {
  if (name.size() > 64) return "";  // no name of ours is that long
  const std::u16string* best = nullptr;
  size_t bestDistance = 0;
  for (const std::u16string& candidate : known) {
    size_t d = editDistance(name, candidate);
    if (!best || d < bestDistance) {
      best = &candidate;
      bestDistance = d;
    }
  }
  if (!best) return "";
  size_t allowed = std::max<size_t>(2, std::max(name.size(), best->size()) / 3);
  if (bestDistance > allowed) return "";
  return "; did you mean " + named(*best) + "?";
}

// ---------------------------------------------------------------------------------------------
// Read orders: which children the loader reads, and why it passes over the others.

struct Step {
  std::u16string tag;
  bool repeated;
};

enum class Role { Property, Default, Item, Section };

struct Context {
  std::string where;                  // "in TEXT", "in page", ...
  std::vector<Step> steps;            // in search order
  std::vector<Role> roles;            // per step
  std::vector<std::u16string> known;  // names for suggestions
};

// Runs the loader's forward searches over `children` and reports every child it passes over.
// Returns, per child, the step that read it (-1: not read).
std::vector<int> followReadOrder(std::vector<Node>& children, const Context& context, Report& report) {
  const size_t n = children.size();
  std::vector<int> stepOf(n, -1);
  std::vector<long> searchedAfter(context.steps.size(), -1);
  long position = -1;
  for (size_t s = 0; s < context.steps.size(); ++s) {
    const Step& step = context.steps[s];
    searchedAfter[s] = position;
    for (size_t j = static_cast<size_t>(position + 1); j < n; ++j) {
      if (children[j].tag != step.tag) continue;
      stepOf[j] = static_cast<int>(s);
      position = static_cast<long>(j);
      if (!step.repeated) break;
    }
  }
  // First child read by each step, and the last page property read: every explanation below
  // is then found without another pass over the children.
  std::vector<long> firstOf(context.steps.size(), -1);
  long lastProperty = -1;
  for (size_t k = 0; k < n; ++k) {
    if (stepOf[k] < 0) continue;
    size_t s = static_cast<size_t>(stepOf[k]);
    if (firstOf[s] < 0) firstOf[s] = static_cast<long>(k);
    if (context.roles[s] == Role::Property) lastProperty = static_cast<long>(k);
  }
  std::map<std::u16string_view, size_t> stepByTag;
  for (size_t s = context.steps.size(); s-- > 0;) stepByTag[context.steps[s].tag] = s;
  for (size_t j = 0; j < n; ++j) {
    Node& child = children[j];
    child.read = stepOf[j] >= 0;
    if (child.read) continue;
    auto found = stepByTag.find(child.tag);
    if (found == stepByTag.end()) {
      report.error(child.line, "unknown element " + named(child.tag) + " " + context.where + " is not read" +
                                   suggestion(child.tag, context.known));
      continue;
    }
    const size_t s = found->second;
    const Step* step = &context.steps[s];
    long blocker = searchedAfter[s];
    // A second element of a row that is read once: the first one found is the one read.
    const long first = firstOf[s];
    if (first >= 0 && first < static_cast<long>(j) && !step->repeated) {
      std::string what = context.roles[s] == Role::Section ? "a second " + named(child.tag) + " section"
                                                           : "a second " + named(child.tag);
      report.error(child.line, what + " " + context.where + " is ignored: only the first (line " +
                                   std::to_string(children[static_cast<size_t>(first)].line) + ") is read");
      continue;
    }
    if (blocker < 0) continue;  // cannot happen: a child not read stands before the search start
    const Node& b = children[static_cast<size_t>(blocker)];
    const int bs = stepOf[static_cast<size_t>(blocker)];
    const std::string bLine = " (line " + std::to_string(b.line) + ")";
    const Role role = context.roles[s];
    const Role bRole = context.roles[static_cast<size_t>(bs)];
    if (role == Role::Item && bRole == Role::Default) {
      report.error(child.line, named(child.tag) + " is not loaded: the default " + named(b.tag) + bLine +
                                   " stands after it, and items are searched only after the last default");
    } else if (role == Role::Section && bRole == Role::Property) {
      report.error(child.line, "section " + named(child.tag) + " is not loaded: the page property " + named(b.tag) +
                                   bLine + " stands after it; properties come first");
    } else if (role == Role::Section && lastProperty > static_cast<long>(j)) {
      const Node& property = children[static_cast<size_t>(lastProperty)];
      report.error(child.line, "section " + named(child.tag) + " is not loaded: the page property " +
                                   named(property.tag) + " (line " + std::to_string(property.line) +
                                   ") stands after it; properties come first");
    } else if (firstOf[static_cast<size_t>(bs)] < static_cast<long>(j)) {
      // An earlier element of the blocker's repeated row stands before this child: the later
      // repetition is what moved the search past it.
      report.error(child.line, named(child.tag) + " " + context.where + " is not read: " + named(b.tag) +
                                   " is repeated after it" + bLine + ", and every " + named(b.tag) +
                                   " is read before " + named(child.tag) + " is searched");
    } else {
      std::string kind = role == Role::Section ? "section " : "";
      report.error(child.line, kind + named(child.tag) + " " + context.where + " is out of order: it is read after " +
                                   named(b.tag) + bLine + " and must stand after it");
    }
  }
  return stepOf;
}

Context rowContext(std::span<const RowInfo> rows, Role role, std::string where) {
  Context c;
  c.where = std::move(where);
  for (const RowInfo& row : rows) {
    c.steps.push_back(Step{row.tag, row.repeated});
    c.roles.push_back(role);
    c.known.emplace_back(row.tag);
  }
  return c;
}

// How the loader's number reading (_wtol) takes a value: the number it gives, and whether that
// is the number written (only blanks, a sign and decimal digits, within 32 bits).
bool readsAsWritten(std::u16string_view value, int64_t& number) {
  size_t i = 0;
  while (i < value.size() && isSpace(value[i])) ++i;
  size_t digitsFrom = i;
  if (i < value.size() && (value[i] == u'+' || value[i] == u'-')) digitsFrom = ++i;
  int64_t magnitude = 0;
  while (i < value.size() && value[i] >= u'0' && value[i] <= u'9' && magnitude <= (int64_t{1} << 33))
    magnitude = magnitude * 10 + (value[i++] - u'0');
  size_t end = value.size();
  while (end > i && isSpace(value[end - 1])) --end;
  number = static_cast<int32_t>(_wtol(std::u16string(value).c_str()));
  const bool negative = digitsFrom > 0 && value[digitsFrom - 1] == u'-';
  const int64_t written = negative ? -magnitude : magnitude;
  return i > digitsFrom && i == end && written == number;
}

// The attributes of a read element: names its row does not read, attributes it lacks (they
// read as 0), and values the number reading takes otherwise than written.
void checkAttributes(const Node& node, const RowInfo& row, Report& report) {
  std::vector<std::u16string> known;
  for (const char16_t* name : schema::attributesOf(row.carries)) known.emplace_back(name);
  for (const Attribute& a : node.attributes) {
    if (std::find(known.begin(), known.end(), a.name) == known.end()) {
      std::string message = "unknown attribute " + named(a.name) + " of " + named(node.tag) + " is not read";
      std::string hint = suggestion(a.name, known);
      if (hint.empty() && !known.empty()) {
        message += " (" + named(node.tag) + " reads ";
        for (size_t i = 0; i < known.size(); ++i) message += (i ? ", " : "") + named(known[i]);
        message += ")";
      }
      report.error(node.line, message + hint);
      continue;
    }
    if (&a != node.attribute(a.name)) continue;  // a repeated name: only the first is read
    int64_t number = 0;
    if (!readsAsWritten(a.value, number)) {
      report.error(node.line, "value " + named(a.value) + " of " + named(a.name) + " in " + named(node.tag) +
                                  " is read as " + std::to_string(number) + " (only decimal integers are read)");
    } else if (row.carries == Carries::Colour && (number < 0 || number > 255)) {
      report.error(node.line, "colour component " + named(a.name) + " = " + std::to_string(number) + " in " +
                                  named(node.tag) + " keeps only its low 8 bits: it is read as " +
                                  std::to_string(number & 0xFF));
    }
  }
  // Which missing attributes change what the engine does: for the links of progress bars and
  // table items a missing direction is action id (or position) 0, not "stay"; button links are
  // computed and the remaining entries are optional.
  std::vector<std::u16string> required = known;
  if (row.carries == Carries::Directions) {
    required.clear();
    if (node.tag != u"BtnIrDirect")
      for (int d = IR_LEFT; d <= IR_BOTTOM; ++d) required.emplace_back(schema::kDirectionAttributes[d]);
  }
  for (const std::u16string& name : required)
    if (!node.attribute(name)) {
      std::string effect =
          row.carries == Carries::Directions ? ": the link goes to 0, not nowhere (write -1 for none)" : "";
      report.warning(node.line, named(node.tag) + " has no " + named(name) + " and it is read as 0" + effect);
    }
}

// Elements whose own attributes the loader never reads (pages, sections, items).
void checkNoAttributes(const Node& node, Report& report) {
  for (const Attribute& a : node.attributes)
    report.error(node.line, "attribute " + named(a.name) + " of " + named(node.tag) +
                                " is not read: values are given as child elements");
}

// ---------------------------------------------------------------------------------------------
// What a script refers to: the image table and the language modules.

// The reason the platform writes on the debug console when it refuses a file ("SHLoadDIBitmap:
// PATH: why", "LoadLibraryExW: "PATH" is not a language module: why"), caught while a load runs.
class ConsoleReason {
 public:
  explicit ConsoleReason(std::string prefix) : m_prefix(std::move(prefix)) {
    m_sink = plat::console::addSink([this](const std::string& line) {
      if (line.compare(0, m_prefix.size(), m_prefix) != 0) return;
      std::lock_guard<std::mutex> guard(m_lock);
      m_line = line;
    });
  }
  ~ConsoleReason() { plat::console::removeSink(m_sink); }
  ConsoleReason(const ConsoleReason&) = delete;
  ConsoleReason& operator=(const ConsoleReason&) = delete;

  // The text after the marker, without the line end; empty when nothing was said.
  std::string after(const std::string& marker) {
    std::lock_guard<std::mutex> guard(m_lock);
    size_t at = m_line.rfind(marker);
    if (at == std::string::npos) return "";
    std::string reason = m_line.substr(at + marker.size());
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
      reason.pop_back();
    while (!reason.empty() && reason.front() == ' ') reason.erase(0, 1);
    return reason;
  }

 private:
  std::string m_prefix;
  std::mutex m_lock;
  std::string m_line;
  int m_sink = 0;
};

struct ImageEntry {
  int line = 0;
  std::u16string file;
  bool loads = false;
  int width = 0;
  int height = 0;
};

struct LanguageModule {
  std::string name;
  int langId = 0;
  HMODULE handle = nullptr;
};

struct Resources {
  std::map<int, ImageEntry> images;  // by 16-bit id; the first entry of an id
  bool haveImageTable = false;
  std::vector<LanguageModule> modules;
  bool haveLanguages = false;
  std::u16string skinFilesDevice;  // "<skin>\Skin\" as a device path
  // Why the Skin folder cannot be looked into ("permission denied"), or empty: one finding says
  // it, instead of one "does not exist" for every file in it.
  std::string skinFolderUnreadable;

  Resources() = default;
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;
  ~Resources() {
    for (LanguageModule& m : modules)
      if (m.handle) FreeLibrary(m.handle);
  }
};

std::u16string deviceJoin(std::u16string base, std::u16string_view name) {
  if (!base.empty() && base.back() != u'\\') base += u'\\';
  return base + std::u16string(name);
}

bool deviceFileExists(const std::u16string& device) {
  DWORD attributes = GetFileAttributesW(device.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Why a folder cannot be listed and looked into, or empty when it can (or is not there).
std::string folderUnreadable(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return {};
  if (::access(folder.c_str(), R_OK | X_OK) == 0) return {};
  std::string reason = std::strerror(errno);
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  return reason;
}

void readImageTable(const fs::path& skinFolder, Resources& res, std::vector<Finding>* out) {
  std::vector<Finding> ignored;
  Report report(out ? *out : ignored, (skinFolder / "image.xml").string());
  Document doc;
  if (!loadDocument(skinFolder / "image.xml", report, doc)) return;
  res.haveImageTable = true;
  if (doc.root.tag != u"IMAGES") {
    report.error(doc.root.line, "the root element is " + named(doc.root.tag) + ", not 'IMAGES': no image is loaded" +
                                    suggestion(doc.root.tag, {u"IMAGES"}));
    return;
  }
  if (!res.skinFolderUnreadable.empty() && out)
    out->push_back(Finding{(skinFolder / "Skin").string(), 0, Severity::Error,
                           "cannot be read: " + res.skinFolderUnreadable + ": no bitmap or file in it loads"});
  for (const Node& image : doc.root.children) {
    if (image.tag != u"IMAGE") {
      report.error(image.line, "unknown element " + named(image.tag) + " in IMAGES is not read" +
                                   suggestion(image.tag, {u"IMAGE"}));
      continue;
    }
    for (const Attribute& a : image.attributes)
      if (a.name != u"ImgId")
        report.error(image.line,
                     "unknown attribute " + named(a.name) + " of 'IMAGE' is not read" + suggestion(a.name, {u"ImgId"}));
    const int id = static_cast<uint16_t>(image.number(u"ImgId"));
    ImageEntry entry;
    entry.line = image.line;
    entry.file = image.data;
    std::u16string device = deviceJoin(res.skinFilesDevice, image.data);
    if (image.data.empty()) {
      report.error(image.line, "image " + std::to_string(id) + " names no bitmap file");
    } else if (!res.skinFolderUnreadable.empty()) {
      // Said once for the folder.
    } else if (!deviceFileExists(device)) {
      report.error(image.line, "bitmap " + named(image.data) + " of image " + std::to_string(id) +
                                   " does not exist in the Skin folder");
    } else {
      ConsoleReason why("SHLoadDIBitmap: ");
      if (HBITMAP bitmap = SHLoadDIBitmap(device.c_str())) {
        BITMAP info{};
        GetObjectW(bitmap, sizeof info, &info);
        entry.loads = true;
        entry.width = info.bmWidth;
        entry.height = std::abs(info.bmHeight);
        DeleteObject(bitmap);
      } else {
        // The loader's line names the host file, then why: "SHLoadDIBitmap: <file>: <why>".
        std::string reason = why.after(plat::hostPath(device) + ": ");
        report.error(image.line, "bitmap " + named(image.data) + " of image " + std::to_string(id) +
                                     " does not load (" + (reason.empty() ? "not a bitmap the engine reads" : reason) +
                                     ")");
      }
    }
    auto [it, fresh] = res.images.emplace(id, entry);
    if (!fresh)
      report.warning(image.line, "image id " + std::to_string(id) + " is listed twice (first at line " +
                                     std::to_string(it->second.line) + "): which one a screen gets is not defined");
  }
}

// Where a language module named in language.xml is found. The engine takes a bare name from the
// program's folder (the language folder) and a name with a path from the unit's root; when no
// unit root is set (a checker run on the desktop), the language folder's parent stands for it,
// as "Windows" stands below the root in a unit.
std::u16string moduleDevicePath(const fs::path& languageFolder, const std::u16string& name) {
  if (name.empty()) return name;
  if (name.find_first_of(u"\\/") == std::u16string::npos) return deviceJoin(deviceOf(languageFolder), name);
  if (!plat::unitRoot().empty()) return name;
  std::error_code ec;
  fs::path folder = fs::absolute(languageFolder, ec).lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();
  const size_t skip = name[0] == u'\\' || name[0] == u'/' ? 1 : 0;
  return deviceJoin(deviceOf(folder.parent_path()), std::u16string_view(name).substr(skip));
}

void readLanguages(const fs::path& languageFolder, Resources& res, std::vector<Finding>* out) {
  std::vector<Finding> ignored;
  Report report(out ? *out : ignored, (languageFolder / "language.xml").string());
  Document doc;
  if (!loadDocument(languageFolder / "language.xml", report, doc)) return;
  if (doc.root.tag != u"LANGUAGES") {
    report.error(doc.root.line, "the root element is " + named(doc.root.tag) +
                                    ", not 'LANGUAGES': no language is listed" +
                                    suggestion(doc.root.tag, {u"LANGUAGES"}));
    return;
  }
  res.haveLanguages = true;
  for (const Node& language : doc.root.children) {
    if (language.tag != u"LANGUAGE") {
      report.error(language.line, "unknown element " + named(language.tag) + " in LANGUAGES is not read" +
                                      suggestion(language.tag, {u"LANGUAGE"}));
      continue;
    }
    LanguageModule module;
    module.langId = static_cast<uint16_t>(language.number(u"LANGID"));
    module.name = narrow(language.data);
    if (language.data.size() >= SL_TEXT_LEN) {
      report.error(language.line,
                   "module path is longer than " + std::to_string(SL_TEXT_LEN - 1) + " characters and is cut");
    }
    std::u16string device = moduleDevicePath(languageFolder, language.data.substr(0, SL_TEXT_LEN - 1));
    ConsoleReason why("LoadLibraryExW: ");
    module.handle = device.empty() ? nullptr : LoadLibraryExW(device.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module.handle) {
      std::string reason = why.after("is not a language module:");
      if (reason.empty()) reason = why.after("\" ");  // there but unusable: "cannot be read: ..."
      if (reason.empty()) reason = "not found";
      report.error(language.line, "language module " + named(language.data) + " (" + std::to_string(module.langId) +
                                      ") does not load (" + reason + "): its texts are missing from every screen");
      continue;
    }
    res.modules.push_back(std::move(module));
  }
}

// ---------------------------------------------------------------------------------------------
// One script.

// Tags whose "value" is a text id of the language modules.
bool isTextIdRow(std::u16string_view tag) {
  return tag == u"TxtTextureID" || tag == u"BtnTxtId" || tag == u"SldTxtId" || tag == u"TblTxtId";
}

// The section defaults that were read, by element name, in document order.
using Defaults = std::map<std::u16string, std::vector<const Node*>, std::less<>>;

struct ItemNodes {
  const Node* item = nullptr;                // the item element
  std::shared_ptr<const Defaults> defaults;  // its section's (for inherited values)
  // The element that gave the value of row `tag`: the item's own, else the section default.
  int lineOf(std::u16string_view tag) const {
    for (const Node& c : item->children)
      if (c.read && c.tag == tag) return c.line;
    auto it = defaults->find(tag);
    return it != defaults->end() ? it->second.front()->line : item->line;
  }
  // The elements that gave a repeated list, in list order: defaults first.
  std::vector<const Node*> elements(std::u16string_view tag) const {
    std::vector<const Node*> out;
    auto it = defaults->find(tag);
    if (it != defaults->end()) out = it->second;
    for (const Node& c : item->children)
      if (c.read && c.tag == tag) out.push_back(&c);
    return out;
  }
};

struct PageNodes {
  const Node* page = nullptr;
  std::map<std::u16string, std::vector<ItemNodes>> items;  // by section name, read items in order
};

std::string sizeText(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }

class ScriptChecker {
 public:
  ScriptChecker(const Resources& res, Report& report) : m_res(res), m_report(report) {}

  void run(Document& doc) {
    Node& root = doc.root;
    std::vector<Node*> pages;
    if (root.tag == schema::kRootName) {
      Context c;
      c.where = "in SL_MENUS";
      c.steps.push_back(Step{schema::kPageName, true});
      c.roles.push_back(Role::Item);
      c.known.emplace_back(schema::kPageName);
      followReadOrder(root.children, c, m_report);
      for (Node& child : root.children)
        if (child.read) pages.push_back(&child);
      if (pages.empty()) m_report.error(root.line, "'SL_MENUS' holds no 'MENU': the screen has no page");
    } else if (root.tag == schema::kPageName) {
      pages.push_back(&root);
    } else {
      m_report.error(root.line, "the root element is " + named(root.tag) + ", not 'SL_MENUS': the screen has no page" +
                                    suggestion(root.tag, {schema::kRootName, schema::kPageName}));
      return;
    }
    std::vector<PageNodes> pageNodes;
    for (Node* page : pages) pageNodes.push_back(checkPage(*page));

    // The values as the engine holds them, read by the loader itself.
    std::vector<tagMenu> menus;
    loadPages(doc.xml, menus, nullptr);
    if (menus.size() != pageNodes.size()) return;
    for (size_t p = 0; p < menus.size(); ++p) checkValues(menus[p], pageNodes[p]);
  }

 private:
  PageNodes checkPage(Node& page) {
    PageNodes nodes;
    nodes.page = &page;
    checkNoAttributes(page, m_report);
    Context c = rowContext(schema::kPageRows, Role::Property, "in MENU");
    for (const schema::Section& section : schema::kSections) {
      c.steps.push_back(Step{section.name, false});
      c.roles.push_back(Role::Section);
      c.known.emplace_back(section.name);
    }
    std::vector<int> stepOf = followReadOrder(page.children, c, m_report);
    const size_t pageRowCount = schema::kPageRows.size();
    for (size_t j = 0; j < page.children.size(); ++j) {
      Node& child = page.children[j];
      if (stepOf[j] < 0) continue;
      size_t s = static_cast<size_t>(stepOf[j]);
      if (s < pageRowCount) {
        checkElement(child, schema::kPageRows[s]);
      } else {
        const schema::Section& section = schema::kSections[s - pageRowCount];
        nodes.items[section.name] = checkSection(child, section);
      }
    }
    return nodes;
  }

  std::vector<ItemNodes> checkSection(Node& sectionNode, const schema::Section& section) {
    checkNoAttributes(sectionNode, m_report);
    std::string where = "in " + narrow(section.name);
    Context c = rowContext(section.rows, Role::Default, where);
    c.steps.push_back(Step{section.item, true});
    c.roles.push_back(Role::Item);
    c.known.emplace_back(section.item);
    std::vector<int> stepOf = followReadOrder(sectionNode.children, c, m_report);
    std::vector<ItemNodes> items;
    auto defaults = std::make_shared<Defaults>();
    for (size_t j = 0; j < sectionNode.children.size(); ++j)
      if (stepOf[j] >= 0 && static_cast<size_t>(stepOf[j]) < section.rows.size())
        (*defaults)[sectionNode.children[j].tag].push_back(&sectionNode.children[j]);
    for (size_t j = 0; j < sectionNode.children.size(); ++j) {
      Node& child = sectionNode.children[j];
      if (stepOf[j] < 0) continue;
      size_t s = static_cast<size_t>(stepOf[j]);
      if (s < section.rows.size()) {
        checkElement(child, section.rows[s]);
        continue;
      }
      checkNoAttributes(child, m_report);
      Context ic = rowContext(section.rows, Role::Property, "in " + narrow(section.item));
      std::vector<int> itemSteps = followReadOrder(child.children, ic, m_report);
      for (size_t k = 0; k < child.children.size(); ++k)
        if (itemSteps[k] >= 0) checkElement(child.children[k], section.rows[static_cast<size_t>(itemSteps[k])]);
      items.push_back(ItemNodes{&child, defaults});
    }
    return items;
  }

  // One read element: its attributes, and the image, text or file it names.
  void checkElement(const Node& node, const RowInfo& row) {
    checkAttributes(node, row, m_report);
    if (row.carries == Carries::Image || row.carries == Carries::ImageAndFile) checkImage(node);
    if (schema::carriesFile(row.carries)) checkFile(node);
    if (row.carries == Carries::Value && isTextIdRow(row.tag)) checkText(node);
  }

  void checkImage(const Node& node) {
    const int32_t id = node.number(schema::kImageAttributes[0]);
    // A negative id is how a script says "no image": it is never looked up with success.
    if (id < 0 || !m_res.haveImageTable || !m_res.skinFolderUnreadable.empty()) return;
    auto it = id <= 0xFFFF ? m_res.images.find(id) : m_res.images.end();
    if (it == m_res.images.end()) {
      m_report.error(node.line, "image " + std::to_string(id) + " of " + named(node.tag) + " is not in image.xml");
    } else if (!it->second.loads) {
      m_report.error(node.line, "image " + std::to_string(id) + " of " + named(node.tag) + ": its bitmap " +
                                    named(it->second.file) + " does not load (image.xml line " +
                                    std::to_string(it->second.line) + ")");
    }
  }

  void checkFile(const Node& node) {
    if (node.data.empty()) return;  // the table's path is then the folder itself: nothing is opened
    if (!m_res.skinFolderUnreadable.empty()) return;  // said once for the folder
    std::u16string device = deviceJoin(m_res.skinFilesDevice, node.data);
    if (!deviceFileExists(device))
      m_report.error(node.line,
                     "file " + named(node.data) + " of " + named(node.tag) + " does not exist in the Skin folder");
  }

  void checkText(const Node& node) {
    const int32_t id = node.number(schema::kValueAttributes[0]);
    // A negative id is a text set at run time.
    if (id < 0 || !m_res.haveLanguages) return;
    const UINT textId = static_cast<uint16_t>(id);
    for (const LanguageModule& module : m_res.modules) {
      WCHAR* text = nullptr;
      if (LoadStringW(module.handle, textId, reinterpret_cast<LPWSTR>(&text), 0) > 0) continue;
      m_report.error(node.line, "text " + std::to_string(textId) + " of " + named(node.tag) +
                                    " is missing from language module " + named(widen(module.name)) + " (" +
                                    std::to_string(module.langId) + ")");
    }
  }

  // ---- values as loaded

  void checkValues(const tagMenu& menu, const PageNodes& nodes) {
    const tagArea& view = menu.MainViewPort;
    const bool haveView = view.Width > 0 && view.Hight > 0;
    auto lineOfPageRow = [&](std::u16string_view tag) {
      for (const Node& c : nodes.page->children)
        if (c.read && c.tag == tag) return c.line;
      return 0;
    };
    if (haveView) {
      if (int line = lineOfPageRow(u"BACKGRUOND"))
        checkBitmapSize(menu.BgImgId, view, line, "background", "the page's MVIEWPORT");
      if (int line = lineOfPageRow(u"BGMASK"))
        checkBitmapSize(menu.MaskImgId, view, line, "mask", "the page's MVIEWPORT");
    }
    auto itemsOf = [&](const char16_t* section) -> const std::vector<ItemNodes>& {
      static const std::vector<ItemNodes> none;
      auto it = nodes.items.find(section);
      return it == nodes.items.end() ? none : it->second;
    };
    // Each list of records pairs with the items read, in order.
    auto paired = [&](auto& list, const char16_t* section) {
      return list.size() == itemsOf(section).size() ? &itemsOf(section) : nullptr;
    };

    std::vector<Touch> touches;
    if (auto* items = paired(menu.Buttons, u"BUTTONS")) {
      // The links the engine gives each button on load (action ids shared by two buttons are
      // told elsewhere; the first one's links stand here).
      std::vector<tagButton> sorted = menu.Buttons;
      skinlet::computeButtonLinks(sorted);
      std::map<int32_t, tagButton> computed;
      for (const tagButton& b : sorted) computed.emplace(b.ActionID, b);
      for (size_t i = 0; i < menu.Buttons.size(); ++i) {
        const tagButton& b = menu.Buttons[i];
        const ItemNodes& n = (*items)[i];
        const int areaLine = n.lineOf(u"BtnArea");
        for (const char16_t* tag : {u"BtnImgUp", u"BtnImgDn", u"BtnImgGray", u"BtnImgIr"}) {
          const std::vector<tagImgItem>& list = tag == std::u16string_view(u"BtnImgUp")     ? b.ImgUp
                                                : tag == std::u16string_view(u"BtnImgDn")   ? b.ImgDn
                                                : tag == std::u16string_view(u"BtnImgGray") ? b.ImgGray
                                                                                            : b.ImgIr;
          std::vector<const Node*> elements = n.elements(tag);
          for (size_t k = 0; k < list.size() && k < elements.size(); ++k)
            checkBitmapSize(list[k].imgId, b.BtnArea, elements[k]->line, narrow(tag),
                            "its button's BtnArea (line " + std::to_string(areaLine) + ")");
        }
        if (haveView) {
          checkInside(b.BtnArea, view, areaLine, "button " + std::to_string(b.ActionID) + "'s BtnArea");
          checkInside(b.TouchArea, view, n.lineOf(u"BtnTouchArea"),
                      "button " + std::to_string(b.ActionID) + "'s BtnTouchArea");
        }
        touches.push_back(Touch{b.TouchArea, n.lineOf(u"BtnTouchArea"), "button " + std::to_string(b.ActionID)});
        checkComputedLinks(n, b, computed);
      }
      checkHotKeyModes(menu, *items);
    }
    if (auto* items = paired(menu.Pictures, u"PICTURES")) {
      for (size_t i = 0; i < menu.Pictures.size(); ++i) {
        const tagPicture& p = menu.Pictures[i];
        const ItemNodes& n = (*items)[i];
        const int areaLine = n.lineOf(u"PicArea");
        std::vector<const Node*> elements = n.elements(u"PicImg");
        for (size_t k = 0; k < p.Images.size() && k < elements.size(); ++k)
          checkBitmapSize(p.Images[k].imgId, p.PicArea, elements[k]->line, "PicImg",
                          "its picture's PicArea (line " + std::to_string(areaLine) + ")");
        if (haveView) checkInside(p.PicArea, view, areaLine, "picture " + std::to_string(p.ActionID) + "'s PicArea");
      }
    }
    if (haveView) {
      checkAreas(menu.Texts, itemsOf(u"TEXTS"), &tagTexture::TxtArea, u"TxtArea", "text", view);
      checkAreas(menu.Progresses, itemsOf(u"PROGRESSES"), &tagProgress::PrgArea, u"PrgArea", "progress bar", view);
      checkAreas(menu.EightSegs, itemsOf(u"EIGHTSEGS"), &tagEightSeg::SegArea, u"SegArea", "segment display", view);
      checkAreas(menu.Sectors, itemsOf(u"SECTORS"), &tagSector::SecArea, u"SecArea", "sector", view);
      checkAreas(menu.Gifs, itemsOf(u"GIFS"), &tagGif::GifArea, u"GifArea", "animation", view);
      checkAreas(menu.Slides, itemsOf(u"SLIDE"), &tagSlide::SldArea, u"SldArea", "slide", view);
      checkAreas(menu.Tables, itemsOf(u"TABLES"), &tagTable::ItemArea, u"TblItemArea", "table item", view);
      checkAreas(menu.Tables, itemsOf(u"TABLES"), &tagTable::TouchArea, u"TblTouchArea", "table item", view);
      checkAreas(menu.Signals, itemsOf(u"SIGNALBAR"), &tagSignal::SigArea, u"SigArea", "signal bar", view);
      checkAreas(menu.Satellites, itemsOf(u"SATELLITES"), &tagSatellite::SatDisplayArea, u"SatDisplayArea",
                 "satellite view", view);
    }
    // Bitmaps copied at the size of their widget's area (not stretched): progress tracks, table
    // rows. Only an element that was read gives an id.
    auto sizeOf = [&](const ItemNodes& n, const char16_t* tag, int32_t id, const tagArea& area, const char16_t* areaTag,
                      const std::string& widget) {
      std::vector<const Node*> given = n.elements(tag);
      if (given.empty()) return;
      checkBitmapSize(id, area, given.back()->line, narrow(tag),
                      "its " + widget + "'s " + narrow(areaTag) + " (line " + std::to_string(n.lineOf(areaTag)) + ")");
    };
    if (auto* items = paired(menu.Progresses, u"PROGRESSES")) {
      for (size_t i = 0; i < menu.Progresses.size(); ++i) {
        const tagProgress& p = menu.Progresses[i];
        sizeOf((*items)[i], u"PrgImgBack", p.BackImgId, p.PrgArea, u"PrgArea", "progress bar");
        sizeOf((*items)[i], u"PrgImgIrBack", p.IrBackImgId, p.PrgArea, u"PrgArea", "progress bar");
      }
    }
    if (auto* items = paired(menu.Tables, u"TABLES")) {
      for (size_t i = 0; i < menu.Tables.size(); ++i) {
        const tagTable& t = menu.Tables[i];
        sizeOf((*items)[i], u"TblImgNameDir", t.DirImgId, t.ItemArea, u"TblItemArea", "table item");
        sizeOf((*items)[i], u"TblImgNameFile", t.FileImgId, t.ItemArea, u"TblItemArea", "table item");
        sizeOf((*items)[i], u"TblImgNameBg", t.BgImgId, t.ItemArea, u"TblItemArea", "table item");
      }
    }
    if (auto* items = paired(menu.Progresses, u"PROGRESSES")) {
      for (size_t i = 0; i < menu.Progresses.size(); ++i)
        touches.push_back(Touch{menu.Progresses[i].PrgArea, (*items)[i].lineOf(u"PrgArea"),
                                "progress bar " + std::to_string(menu.Progresses[i].ActionID)});
      checkProgressLinks(menu, *items);
    }
    if (auto* items = paired(menu.Tables, u"TABLES")) {
      for (size_t i = 0; i < menu.Tables.size(); ++i)
        touches.push_back(Touch{menu.Tables[i].TouchArea, (*items)[i].lineOf(u"TblTouchArea"),
                                "table item " + std::to_string(menu.Tables[i].ActionID)});
      checkTableLinks(menu, *items);
    }
    checkOverlaps(touches);
    checkUniqueActions(menu.Texts, itemsOf(u"TEXTS"), u"TxtActionID", "text");
    checkUniqueActions(menu.Buttons, itemsOf(u"BUTTONS"), u"BtnActionID", "button");
    checkUniqueActions(menu.Pictures, itemsOf(u"PICTURES"), u"PicActionID", "picture");
    checkUniqueActions(menu.Progresses, itemsOf(u"PROGRESSES"), u"PrgActionID", "progress bar");
    checkUniqueActions(menu.EightSegs, itemsOf(u"EIGHTSEGS"), u"SegActionID", "segment display");
    checkUniqueActions(menu.Sectors, itemsOf(u"SECTORS"), u"SecActionID", "sector");
    checkUniqueActions(menu.Gifs, itemsOf(u"GIFS"), u"GifActionID", "animation");
    checkUniqueActions(menu.Slides, itemsOf(u"SLIDE"), u"SldActionID", "slide");
    checkUniqueActions(menu.Tables, itemsOf(u"TABLES"), u"TblActionID", "table item");
    checkUniqueActions(menu.Signals, itemsOf(u"SIGNALBAR"), u"SigActionID", "signal bar");
    checkUniqueActions(menu.Satellites, itemsOf(u"SATELLITES"), u"SatActionID", "satellite view");
  }

  void checkBitmapSize(int32_t id, const tagArea& area, int line, const std::string& what, const std::string& shownIn) {
    if (id < 0 || id > 0xFFFF || area.Width <= 0 || area.Hight <= 0) return;
    auto it = m_res.images.find(id);
    if (it == m_res.images.end() || !it->second.loads) return;
    const ImageEntry& e = it->second;
    if (e.width == area.Width && e.height == area.Hight) return;
    m_report.warning(line, what + " image " + std::to_string(id) + " is " + sizeText(e.width, e.height) + " but " +
                               shownIn + " is " + sizeText(area.Width, area.Hight));
  }

  void checkInside(const tagArea& a, const tagArea& view, int line, const std::string& what) {
    if (a.Width <= 0 || a.Hight <= 0) return;
    const int64_t right = int64_t{a.LocX} + a.Width;
    const int64_t bottom = int64_t{a.LocY} + a.Hight;
    if (a.LocX >= 0 && a.LocY >= 0 && right <= view.Width && bottom <= view.Hight) return;
    m_report.warning(line, what + " (" + std::to_string(a.LocX) + "," + std::to_string(a.LocY) + " " +
                               sizeText(a.Width, a.Hight) + ") reaches outside the page's viewport (" +
                               sizeText(view.Width, view.Hight) + ")");
  }

  template <class R>
  void checkAreas(const std::vector<R>& list, const std::vector<ItemNodes>& items, tagArea R::*area,
                  const char16_t* tag, const std::string& what, const tagArea& view) {
    if (list.size() != items.size()) return;
    for (size_t i = 0; i < list.size(); ++i)
      checkInside(list[i].*area, view, items[i].lineOf(tag),
                  what + " " + std::to_string(list[i].ActionID) + "'s " + narrow(tag));
  }

  static constexpr long kMaxOverlapComparisons = 4'000'000;
  static constexpr int kMaxOverlapReports = 200;

  struct Touch {
    tagArea area;
    int line;
    std::string what;
  };

  void checkOverlaps(const std::vector<Touch>& touches) {
    auto overlap = [](const tagArea& a, const tagArea& b) {
      if (a.Width <= 0 || a.Hight <= 0 || b.Width <= 0 || b.Hight <= 0) return false;
      return int64_t{a.LocX} < int64_t{b.LocX} + b.Width && int64_t{b.LocX} < int64_t{a.LocX} + a.Width &&
             int64_t{a.LocY} < int64_t{b.LocY} + b.Hight && int64_t{b.LocY} < int64_t{a.LocY} + a.Hight;
    };
    // Sorted by left edge, each area is compared only with those that start before its right
    // edge; a page of thousands of overlapping areas is cut short after enough reports.
    std::vector<size_t> order(touches.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return touches[a].area.LocX < touches[b].area.LocX; });
    int reported = 0;
    long comparisons = 0;
    for (size_t x = 0; x < order.size(); ++x) {
      const Touch& a = touches[order[x]];
      for (size_t y = x + 1; y < order.size(); ++y) {
        const Touch& b = touches[order[y]];
        if (int64_t{b.area.LocX} >= int64_t{a.area.LocX} + a.area.Width) break;
        if (++comparisons > kMaxOverlapComparisons || reported >= kMaxOverlapReports) return;
        if (!overlap(a.area, b.area)) continue;
        const bool aFirst = order[x] < order[y];
        const Touch& first = aFirst ? a : b;
        const Touch& later = aFirst ? b : a;
        m_report.warning(later.line, "the touch area of " + later.what + " overlaps that of " + first.what + " (line " +
                                         std::to_string(first.line) + "): a touch there goes to one of them only");
        ++reported;
      }
    }
  }

  // Widget operations find a widget by its action id within its kind: the first one answers.
  template <class R>
  void checkUniqueActions(const std::vector<R>& list, const std::vector<ItemNodes>& items, const char16_t* tag,
                          const std::string& what) {
    if (list.size() != items.size()) return;
    std::map<int32_t, size_t> first;
    for (size_t i = 0; i < list.size(); ++i) {
      auto [it, fresh] = first.emplace(list[i].ActionID, i);
      if (fresh) continue;
      m_report.warning(items[i].lineOf(tag), what + " action id " + std::to_string(list[i].ActionID) +
                                                 " is given twice on the page (first at line " +
                                                 std::to_string(items[it->second].item->line) +
                                                 "): the screen's operations reach only the first");
    }
  }

  // A hot-key mode chain goes from button to button by action id; a mode naming no button of the
  // page ends the chain there.
  void checkHotKeyModes(const tagMenu& menu, const std::vector<ItemNodes>& items) {
    std::set<int32_t> actions;
    for (const tagButton& b : menu.Buttons) actions.insert(b.ActionID);
    for (size_t i = 0; i < menu.Buttons.size(); ++i) {
      const int32_t next = menu.Buttons[i].NextMode;
      if (next > 0 && !actions.count(next))
        m_report.error(items[i].lineOf(u"BtnIrHotKeyMode"),
                       "the nextMode of button " + std::to_string(menu.Buttons[i].ActionID) + " names action id " +
                           std::to_string(next) + ", which no button of the page has: the hot-key chain ends there");
    }
  }

  // Every load computes the buttons' arrow-key links from their positions: a link a script gives
  // that differs from the computed one is replaced (one written as computed, or -1, does no harm).
  void checkComputedLinks(const ItemNodes& n, const tagButton& button, const std::map<int32_t, tagButton>& computed) {
    auto it = computed.find(button.ActionID);
    if (it == computed.end()) return;
    for (const Node* element : n.elements(u"BtnIrDirect")) {
      const Node& c = *element;
      for (int d = IR_LEFT; d <= IR_BOTTOM; ++d) {
        const Attribute* a = c.attribute(schema::kDirectionAttributes[d]);
        if (!a) continue;
        const int32_t written = static_cast<int32_t>(_wtol(a->value.c_str()));
        const int32_t used = it->second.IrDirect[d];
        // -1 is how scripts write "no link": nothing the author relies on.
        if (written == used || written == -1) continue;
        m_report.warning(c.line, "the " + narrow(a->name) + " link " + std::to_string(written) + " of button " +
                                     std::to_string(button.ActionID) + " is not used: the engine computes " +
                                     std::to_string(used) + " from the button positions");
      }
    }
  }

  static constexpr int kArrows[4] = {IR_LEFT, IR_RIGHT, IR_TOP, IR_BOTTOM};
  static int opposite(int d) {
    switch (d) {
      case IR_LEFT:
        return IR_RIGHT;
      case IR_RIGHT:
        return IR_LEFT;
      case IR_TOP:
        return IR_BOTTOM;
      default:
        return IR_TOP;
    }
  }

  void checkProgressLinks(const tagMenu& menu, const std::vector<ItemNodes>& items) {
    const auto& bars = menu.Progresses;
    std::map<int, long> barByAction;  // the first bar of an action id, as the engine finds it
    for (size_t i = bars.size(); i-- > 0;) barByAction[bars[i].ActionID] = static_cast<long>(i);
    std::set<int> buttonActions;
    for (const tagButton& b : menu.Buttons) buttonActions.insert(b.ActionID);
    auto barIndex = [&](int id) -> long {
      auto it = barByAction.find(id);
      return it == barByAction.end() ? -1 : it->second;
    };
    auto isButton = [&](int id) { return buttonActions.count(id) > 0; };
    for (size_t i = 0; i < bars.size(); ++i) {
      const int line = items[i].lineOf(u"PrgIrDirect");
      for (int d : kArrows) {
        const int link = bars[i].IrDirect[d];
        if (link == -1) continue;
        long j = barIndex(link);
        if (j < 0 && !isButton(link)) {
          m_report.error(line, "the " + narrow(schema::kDirectionAttributes[d]) + " link of progress bar " +
                                   std::to_string(bars[i].ActionID) + " names action id " + std::to_string(link) +
                                   ", which no button or progress bar of the page has");
        } else if (j >= 0 && static_cast<size_t>(j) != i &&
                   bars[static_cast<size_t>(j)].IrDirect[opposite(d)] != bars[i].ActionID) {
          m_report.warning(line, "the " + narrow(schema::kDirectionAttributes[d]) + " link of progress bar " +
                                     std::to_string(bars[i].ActionID) + " to " + std::to_string(link) +
                                     " is one-way: " + narrow(schema::kDirectionAttributes[opposite(d)]) + " of " +
                                     std::to_string(link) + " does not lead back");
        }
      }
    }
    // The focus starts at action id 0 (or, on a screen that sets none, on the first bar).
    long start = barIndex(0);
    if (start < 0) start = 0;
    std::vector<bool> reached =
        reach(bars.size(), static_cast<size_t>(start), [&](size_t i, int d) { return barIndex(bars[i].IrDirect[d]); });
    for (size_t i = 0; i < bars.size(); ++i)
      if (!reached[i])
        m_report.warning(items[i].item->line, "progress bar " + std::to_string(bars[i].ActionID) +
                                                  " cannot be reached with the arrow keys from progress bar " +
                                                  std::to_string(bars[static_cast<size_t>(start)].ActionID));
  }

  void checkTableLinks(const tagMenu& menu, const std::vector<ItemNodes>& items) {
    const auto& rows = menu.Tables;
    const long count = static_cast<long>(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      // Table items are focused by their list position, compared with their action ids.
      if (rows[i].ActionID != static_cast<int32_t>(i))
        m_report.warning(items[i].lineOf(u"TblActionID"), "table item at position " + std::to_string(i) +
                                                              " has action id " + std::to_string(rows[i].ActionID) +
                                                              ": the arrow keys find table items by position, "
                                                              "so its action id must be " +
                                                              std::to_string(i));
      const int line = items[i].lineOf(u"TblIrDirect");
      for (int d : kArrows) {
        const int link = rows[i].IrDirect[d];
        if (link == -1) continue;
        if (link < 0 || link >= count) {
          m_report.error(line, "the " + narrow(schema::kDirectionAttributes[d]) + " link of table item " +
                                   std::to_string(i) + " names position " + std::to_string(link) +
                                   ", but the table has " + std::to_string(count) + " items");
        } else if (static_cast<size_t>(link) != i &&
                   rows[static_cast<size_t>(link)].IrDirect[opposite(d)] != static_cast<int>(i)) {
          m_report.warning(line, "the " + narrow(schema::kDirectionAttributes[d]) + " link of table item " +
                                     std::to_string(i) + " to " + std::to_string(link) +
                                     " is one-way: " + narrow(schema::kDirectionAttributes[opposite(d)]) + " of " +
                                     std::to_string(link) + " does not lead back");
        }
      }
    }
    long start = -1;
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].ActionID == 0) {
        start = static_cast<long>(i);
        break;
      }
    if (start < 0) return;  // reported above: item 0 has another action id
    std::vector<bool> reached = reach(rows.size(), static_cast<size_t>(start), [&](size_t i, int d) -> long {
      const int link = rows[i].IrDirect[d];
      return link >= 0 && link < count ? link : -1;
    });
    for (size_t i = 0; i < rows.size(); ++i)
      if (!reached[i])
        m_report.warning(items[i].item->line,
                         "table item " + std::to_string(i) +
                             " cannot be reached with the arrow keys from item 0, where the focus starts");
  }

  template <class Next>
  static std::vector<bool> reach(size_t count, size_t start, Next next) {
    std::vector<bool> reached(count, false);
    if (count == 0) return reached;
    std::vector<size_t> todo{start};
    reached[start] = true;
    while (!todo.empty()) {
      size_t i = todo.back();
      todo.pop_back();
      for (int d : kArrows) {
        long j = next(i, d);
        if (j >= 0 && static_cast<size_t>(j) < count && !reached[static_cast<size_t>(j)]) {
          reached[static_cast<size_t>(j)] = true;
          todo.push_back(static_cast<size_t>(j));
        }
      }
    }
    return reached;
  }

  const Resources& m_res;
  Report& m_report;
};

void sortFindings(std::vector<Finding>& findings) {
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
    if (a.file != b.file) return a.file < b.file;
    return a.line < b.line;
  });
  findings.erase(std::unique(findings.begin(), findings.end(),
                             [](const Finding& a, const Finding& b) {
                               return a.file == b.file && a.line == b.line && a.severity == b.severity &&
                                      a.message == b.message;
                             }),
                 findings.end());
}

fs::path languageFolderOf(const fs::path& skinFolder, const Options& options) {
  if (!options.languageFolder.empty()) return options.languageFolder;
  // Named as the skin folder was (relative stays relative), so that findings read alike.
  fs::path folder = skinFolder.lexically_normal();
  if (!folder.has_filename()) folder = folder.parent_path();
  if (folder.has_parent_path() && folder.filename() != "." && folder.filename() != "..") return folder.parent_path();
  std::error_code ec;
  fs::path absolute = fs::absolute(folder, ec).lexically_normal();
  if (!absolute.has_filename()) absolute = absolute.parent_path();
  return ec ? folder / ".." : absolute.parent_path();
}

void prepare(const fs::path& skinFolder, const Options& options, Resources& res, std::vector<Finding>* out) {
  res.skinFilesDevice = deviceJoin(deviceOf(skinFolder), u"Skin");
  res.skinFolderUnreadable = folderUnreadable(skinFolder / "Skin");
  readImageTable(skinFolder, res, out);
  readLanguages(languageFolderOf(skinFolder, options), res, out);
}

bool folderUsable(const fs::path& skinFolder, std::vector<Finding>& findings) {
  std::error_code ec;
  if (!fs::is_directory(skinFolder, ec)) {
    findings.push_back(Finding{skinFolder.string(), 0, Severity::Error,
                               fs::exists(skinFolder, ec) ? "is not a folder" : "no such folder"});
    return false;
  }
  return true;
}

void checkScriptWith(const fs::path& script, const Resources& res, std::vector<Finding>& findings) {
  Report report(findings, script.string());
  Document doc;
  if (!loadDocument(script, report, doc)) return;
  ScriptChecker(res, report).run(doc);
}

// Every XML file of the folder but its image table is a screen script: the launcher names its
// scripts "..._Script.xml", a skin's author may name further ones as they like.
bool isScriptName(const fs::path& file) {
  std::string name = file.filename().string();
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string suffix = ".xml";
  if (name == "image.xml" || name == "language.xml") return false;
  return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::vector<Finding> checkSkin(const fs::path& skinFolder) { return checkSkin(skinFolder, Options{}); }

std::vector<Finding> checkSkin(const fs::path& skinFolder, const Options& options) {
  std::vector<Finding> findings;
  if (!folderUsable(skinFolder, findings)) return findings;
  Resources res;
  prepare(skinFolder, options, res, &findings);
  std::vector<fs::path> scripts;
  std::error_code ec;
  // Whatever a script's name stands for is checked: a folder, a named pipe or a link that leads
  // nowhere in its place is a script the engine cannot load, and is reported as one.
  for (fs::directory_iterator it(skinFolder, ec), end; !ec && it != end; it.increment(ec))
    if (isScriptName(it->path())) scripts.push_back(it->path());
  std::sort(scripts.begin(), scripts.end());
  if (scripts.empty())
    findings.push_back(Finding{skinFolder.string(), 0, Severity::Error, "holds no screen script (*.xml besides image.xml)"});
  for (const fs::path& script : scripts) checkScriptWith(script, res, findings);
  sortFindings(findings);
  return findings;
}

std::vector<Finding> checkScript(const fs::path& skinFolder, const fs::path& script) {
  return checkScript(skinFolder, script, Options{});
}

std::vector<Finding> checkScript(const fs::path& skinFolder, const fs::path& script, const Options& options) {
  std::vector<Finding> findings;
  if (!folderUsable(skinFolder, findings)) return findings;
  Resources res;
  // The tables' own findings belong to checkSkin; a script is told only what it refers to.
  prepare(skinFolder, options, res, nullptr);
  checkScriptWith(script.is_absolute() || script.has_parent_path() ? script : skinFolder / script, res, findings);
  sortFindings(findings);
  return findings;
}

std::string format(const Finding& finding) {
  std::string out = finding.file;
  if (finding.line > 0) out += ":" + std::to_string(finding.line);
  out += finding.severity == Severity::Error ? ": error: " : ": warning: ";
  out += finding.message;
  return out;
}

}  // namespace skinlet::check
