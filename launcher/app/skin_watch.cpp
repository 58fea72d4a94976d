#include "app/skin_watch.h"

#include <algorithm>

#include "app/config.h"
#include "app/script_problems.h"
#include "app/skin_wnd.h"
#include "img_res.h"
#include "markup.h"
#include "plat_file.h"
#include "plat_strings.h"
#include "skin_paths.h"
#include "txt_res.h"

namespace app {
namespace {

constexpr const char16_t* kWindowClass = u"SkinWatch";

// Device paths compared the way the unit's volumes compare names: without regard to case, with
// either separator.
std::u16string folded(std::u16string_view path) {
  std::u16string out(path);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    if (c == u'/') c = u'\\';
  }
  while (out.size() > 1 && out.back() == u'\\') out.pop_back();
  return out;
}

std::u16string folderOf(const std::u16string& path) {
  size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
}

std::u16string nameOf(const std::u16string& path) {
  size_t cut = path.find_last_of(u"\\/");
  return cut == std::u16string::npos ? path : path.substr(cut + 1);
}

// Files editors leave beside the one they save (backups, swap files, the probe some write to
// see whether the folder is writable): they never name a part of the skin.
bool editorLitter(const std::u16string& name) {
  if (name.empty() || name[0] == u'.' || name.back() == u'~') return true;
  auto endsWith = [&](std::u16string_view tail) {
    return name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (endsWith(u".swp") || endsWith(u".swx") || endsWith(u".tmp")) return true;
  return std::all_of(name.begin(), name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

void console(const std::u16string& line) { plat::console::write(u"[Vexa APP] " + line + u"\r\n"); }

// What the folders of the skin are, and which of their files matter.
struct SkinLayout {
  std::u16string moduleDir;    // folded; holds "language.xml"
  std::u16string skinFolder;   // folded; holds the scripts and "image.xml"
  std::set<std::u16string> bitmapFolders;
  std::set<std::u16string> languageFolders;
  std::set<std::u16string> moduleNames;  // folded file names of the language modules
  std::vector<std::u16string> watched;   // as given, without duplicates
};

SkinLayout layoutOf(const std::u16string& skin, const CTxtRes* texts) {
  SkinLayout l;
  const std::u16string dir = skinlet::moduleDirectory();
  std::set<std::u16string> seen;
  auto watch = [&](const std::u16string& folder) {
    if (!folder.empty() && seen.insert(folded(folder)).second) l.watched.push_back(folder);
  };
  l.moduleDir = folded(dir);
  const std::u16string skinFolder = dir + u"\\" + skin;
  const std::u16string bitmaps = skinFolder + u"\\Skin";
  l.skinFolder = folded(skinFolder);
  if (!skin.empty()) {
    watch(skinFolder);
    watch(bitmaps);
    l.bitmapFolders.insert(folded(bitmaps));
    // Bitmaps may sit in folders below the bitmap folder: watch each one the table names.
    CMarkup table;
    if (table.Load((skinFolder + u"\\image.xml").c_str()) && table.FindElem(u"IMAGES")) {
      table.IntoElem();
      while (table.FindElem(u"IMAGE")) {
        std::u16string file = table.GetData();
        std::u16string sub = folderOf(file);
        if (sub.empty() || sub.find(u"..") != std::u16string::npos) continue;
        std::u16string folder = bitmaps + u"\\" + sub;
        std::replace(folder.begin(), folder.end(), u'/', u'\\');
        watch(folder);
        l.bitmapFolders.insert(folded(folder));
      }
    }
  }
  // "language.xml" lies in the program's folder; a module named without a path is looked for
  // there and in "\Windows".
  watch(dir);
  l.languageFolders.insert(folded(dir));
  if (texts) {
    for (const CTxtRes::Language& language : texts->Languages()) {
      std::u16string module = language.ModulePath;
      if (module.empty()) continue;
      std::u16string name = nameOf(module);
      if (name.find(u'.') == std::u16string::npos) name += u".dll";
      l.moduleNames.insert(folded(name));
      std::u16string folder = folderOf(module);
      if (folder.empty()) {
        watch(u"\\Windows");
        l.languageFolders.insert(folded(u"\\Windows"));
      } else {
        watch(folder);
        l.languageFolders.insert(folded(folder));
      }
    }
  }
  return l;
}

}  // namespace

CSkinWatch::CSkinWatch(std::shared_ptr<CImgRes> images, std::shared_ptr<CTxtRes> texts)
    : m_Images(std::move(images)), m_Texts(std::move(texts)) {}

CSkinWatch::~CSkinWatch() {
  Stop();
  if (m_hWnd) {
    SetWindowLongW(m_hWnd, GWL_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

void CSkinWatch::AddScreen(CSkinWnd* screen) {
  if (screen) m_Screens.push_back(Screen{screen, m_Images, m_Texts});
}

std::u16string CSkinWatch::SkinName() const {
  for (const Screen& s : m_Screens)
    if (s.window->GetSkinPath()[0]) return s.window->GetSkinPath();
  WCHAR skin[MAX_PATH] = {};
  if (g_pConfig && g_pConfig->GetSkinPath(skin)) return skin;
  return {};
}

std::vector<std::u16string> CSkinWatch::WatchedFolders() { return layoutOf(SkinName(), m_Texts.get()).watched; }

bool CSkinWatch::Start(const plat::FolderWatch::Timing& timing) {
  m_Timing = timing;
  if (!m_hWnd) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // a second watch finds it registered
    // Never shown: it only receives the watch's messages on the window thread.
    m_hWnd = CreateWindowExW(0, kWindowClass, kWindowClass, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance,
                             nullptr);
    if (!m_hWnd) {
      console(u"--watch: no window for the file watch; the skin is not reloaded when it changes");
      return false;
    }
    SetWindowLongW(m_hWnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  return Restart();
}

bool CSkinWatch::Restart() {
  m_Folders = WatchedFolders();
  bool started = m_Watch.start(
      m_Folders,
      [this](const std::vector<std::u16string>& changed) {
        // The watch's thread: note the names, wake the window thread once.
        std::lock_guard<std::mutex> guard(m_Lock);
        m_Pending.insert(changed.begin(), changed.end());
        if (!m_Posted) m_Posted = PostMessageW(m_hWnd, kMsgFilesChanged, 0, 0) != FALSE;
      },
      m_Timing);
  if (!started) {
    console(u"--watch: no file watch; the skin is not reloaded when it changes");
    return false;
  }
  std::u16string list;
  for (const std::u16string& folder : m_Folders) list += (list.empty() ? u"" : u", ") + folder;
  console(u"watching for skin changes: " + list);
  return true;
}

void CSkinWatch::Stop() { m_Watch.stop(); }

LRESULT CALLBACK CSkinWatch::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CSkinWatch*>(GetWindowLongW(hwnd, GWL_USERDATA));
  if (self && message == kMsgFilesChanged) {
    self->OnFilesChanged();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void CSkinWatch::OnFilesChanged() {
  std::vector<std::u16string> changed;
  {
    std::lock_guard<std::mutex> guard(m_Lock);
    changed.assign(m_Pending.begin(), m_Pending.end());
    m_Pending.clear();
    m_Posted = false;
  }
  Apply(changed);
}

int CSkinWatch::Apply(const std::vector<std::u16string>& changed) {
  const std::u16string skin = SkinName();
  const SkinLayout layout = layoutOf(skin, m_Texts.get());

  bool images = false;
  bool texts = false;
  std::set<CSkinWnd*> scripts;
  auto allScripts = [&] {
    for (const Screen& s : m_Screens) scripts.insert(s.window);
  };
  for (const std::u16string& path : changed) {
    const std::u16string p = folded(path);
    // A folder reported as a whole (it came back, or changes were lost): all it holds.
    if (p == layout.skinFolder) {
      images = true;
      allScripts();
    }
    if (layout.bitmapFolders.count(p)) images = true;
    if (layout.languageFolders.count(p)) texts = true;

    const std::u16string folder = folderOf(p);
    const std::u16string name = nameOf(p);
    if (editorLitter(name)) continue;
    if (folder == layout.skinFolder) {
      if (name == u"image.xml") images = true;
      for (const Screen& s : m_Screens)
        if (folded(s.window->GetScriptName()) == name) scripts.insert(s.window);
    }
    // Any file of a bitmap folder: the table's bitmaps, and the pictures scripts name there.
    if (layout.bitmapFolders.count(folder)) images = true;
    if (folder == layout.moduleDir && name == u"language.xml") texts = true;
    if (layout.languageFolders.count(folder) && layout.moduleNames.count(name)) texts = true;
  }
  if (images) allScripts();
  if (!images && !texts && scripts.empty()) return 0;
  ++m_Rounds;

  // New tables first, into objects of their own; the screens take them only with their script.
  std::shared_ptr<CImgRes> newImages = m_Images;
  std::shared_ptr<CTxtRes> newTexts = m_Texts;
  const std::u16string skinFolder = skinlet::moduleDirectory() + u"\\" + skin;
  if (images) {
    auto fresh = std::make_shared<CImgRes>();
    if (fresh->LoadImgResource(u"image.xml", skin.c_str())) {
      newImages = fresh;
    } else {
      std::string problem = documentProblem(plat::hostPath(skinFolder + u"\\image.xml"));
      if (!problem.empty()) plat::console::writeUtf8("[Vexa APP] " + problem + "\n");
      console(u"image.xml does not load; the screens keep the images they have");
    }
  }
  if (texts) {
    auto fresh = std::make_shared<CTxtRes>();  // reads "language.xml" as it is made
    if (fresh->Languages().empty() && m_Texts && !m_Texts->Languages().empty()) {
      std::u16string list = skinlet::moduleDirectory() + u"\\language.xml";
      std::string problem = documentProblem(plat::hostPath(list));
      if (!problem.empty()) plat::console::writeUtf8("[Vexa APP] " + problem + "\n");
      console(u"language.xml lists no language; the screens keep their texts");
    } else {
      fresh->SelectLanguage(0);
      if (!fresh->Module() && m_Texts && m_Texts->Module()) {
        // The module loader has said why on the line before.
        console(u"the language module does not load; the screens keep their texts");
      } else {
        newTexts = fresh;
      }
    }
  }

  int reloaded = 0;
  for (Screen& s : m_Screens) {
    if (!s.window->GetHwnd()) continue;
    if (!scripts.count(s.window) && s.images == newImages && s.texts == newTexts) continue;
    if (s.window->ReloadScript(newImages.get(), newTexts.get())) {
      s.images = newImages;
      s.texts = newTexts;
      ++reloaded;
      console(std::u16string(s.window->GetName()) + u": reloaded " + s.window->GetScriptName());
    } else {
      ++m_Failures;
      console(std::u16string(s.window->GetName()) + u": " + s.window->GetScriptName() +
              u" does not load; the screen keeps its last good script");
      printScriptProblems(plat::hostPath(skinFolder), plat::hostPath(skinFolder + u"\\" + s.window->GetScriptName()));
    }
  }
  // The old tables go once no screen shows pages made from them.
  m_Images = newImages;
  m_Texts = newTexts;
  m_Reloads += reloaded;
  // The table or the language list may name folders that were not watched before.
  if (m_Watch.running() && WatchedFolders() != m_Folders) Restart();
  return reloaded;
}

}  // namespace app
