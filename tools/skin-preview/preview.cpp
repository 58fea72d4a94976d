// Renders a page the way a launcher screen shows it: the same screen class (CSkinWnd) with
// the same window style, the shared image table of the skin and a language table that reads
// "language.xml" from the program's folder, then the window's pixels read from the screen.
#include "preview.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/screen_list.h"
#include "app/skin_wnd.h"
#include "img_res.h"
#include "plat_core.h"
#include "plat_display.h"
#include "plat_strings.h"
#include "plat_time.h"
#include "plat_window.h"
#include "txt_res.h"

// The platform holds the one copy of the PNG writer (its screen snapshots use it).
#include <stb/stb_image_write.h>

namespace fs = std::filesystem;

namespace skinpreview {

namespace {

bool sameNameIgnoringCase(const std::string& a, const char* b) {
  std::string lower = a;
  std::string other = b;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  std::transform(other.begin(), other.end(), other.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower == other;
}

// Dispatches this thread's messages until none is left; a window that never stops asking to
// be painted cannot keep us here. A quit posted by a screen's destruction is dropped: the
// preview has no message loop that it could end.
void pumpUntilIdle() {
  MSG message;
  for (int n = 0; n < 100000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// A table that is there must be a plain file: reading a pipe or a device could wait forever.
bool unreadable(const fs::path& file, std::string& error) {
  std::error_code code;
  if (!fs::exists(file, code) || fs::is_regular_file(file, code)) return false;
  error = file.string() + " is not a file";
  return true;
}

bool tooLarge(const fs::path& file, std::string& error) {
  std::error_code code;
  if (unreadable(file, error)) return true;
  uintmax_t size = fs::file_size(file, code);
  if (code || size <= kMaxXmlBytes) return false;
  error = file.string() + " is " + std::to_string(size) + " bytes, more than a skin's " +
          std::to_string(kMaxXmlBytes) + " byte limit for one XML file";
  return true;
}

template <class Record>
bool hasAction(const std::vector<Record>& list, int action) {
  return std::any_of(list.begin(), list.end(), [action](const Record& r) { return r.ActionID == action; });
}

}  // namespace

struct Previewer::State {
  CImgRes images;
  int serial = 0;
};

bool LocateSkin(const std::string& folder, SkinLocation& out, std::string& error) {
  std::error_code code;
  fs::path path = fs::weakly_canonical(fs::absolute(folder, code), code);
  if (code || !fs::exists(path, code)) {
    error = "skin folder " + folder + " does not exist";
    return false;
  }
  if (!fs::is_directory(path, code)) {
    error = folder + " is not a folder";
    return false;
  }
  fs::path parent = path.parent_path();
  if (path.filename().empty() || parent == path) {
    error = folder + " cannot be a skin folder: a skin lives in the program's folder";
    return false;
  }
  out.skinFolder = path.string();
  out.skinName = plat::utf8ToUtf16(path.filename().string());
  // A skin of a unit (".../Windows/<skin>") is seen from the unit's root, as the launcher sees
  // it, so that the unit's own fonts count; any other folder stands for the program's folder.
  if (sameNameIgnoringCase(parent.filename().string(), "Windows") && parent.parent_path() != parent) {
    out.unitRoot = parent.parent_path().string();
    out.moduleFile = u"\\Windows\\launcher.exe";
  } else {
    out.unitRoot = parent.string();
    out.moduleFile = u"\\launcher.exe";
  }
  return true;
}

std::vector<std::string> ScriptsOf(const std::string& skinFolder) {
  std::vector<std::string> scripts;
  std::error_code code;
  for (fs::directory_iterator it(skinFolder, code), end; !code && it != end; it.increment(code)) {
    std::string name = it->path().filename().string();
    if (name.size() < 5 || !sameNameIgnoringCase(name.substr(name.size() - 4), ".xml")) continue;
    if (sameNameIgnoringCase(name, "image.xml") || !it->is_regular_file(code)) continue;
    scripts.push_back(name);
  }
  std::sort(scripts.begin(), scripts.end());
  return scripts;
}

void PrepareSkinPlatform(const SkinLocation& location, bool echoConsole) {
  plat::Options options;
  options.unitRoot = location.unitRoot;
  options.moduleFileName = location.moduleFile;
  // The preview looks at a skin; it never writes into the folder it was given.
  options.persistRegistry = false;
  plat::startup(options);
  plat::console::setEcho(echoConsole);
  plat::clock::freeze();
  plat::display::Options display;
  display.backend = plat::display::Backend::Headless;
  display.presentOnIdle = false;
  plat::display::open(display);
}

void EndSkinPlatform() {
  plat::display::close();
  plat::window::reset();
  pumpUntilIdle();
  if (plat::clock::frozen()) plat::clock::unfreeze();
  plat::shutdown();
}

Previewer::Previewer(SkinLocation location) : m_location(std::move(location)), m_state(std::make_unique<State>()) {}

Previewer::~Previewer() { m_state->images.UnLoadImgResource(); }

bool Previewer::Open(std::string& error) {
  fs::path folder(m_location.skinFolder);
  if (tooLarge(folder / "image.xml", error)) return false;
  if (tooLarge(folder.parent_path() / "language.xml", error)) return false;
  // A skin without an image table still paints its texts and shapes; the launcher goes on too.
  m_state->images.LoadImgResource(u"image.xml", m_location.skinName.c_str());
  return true;
}

std::vector<int> Previewer::Languages() const {
  CTxtRes texts;
  std::vector<int> ids;
  for (const CTxtRes::Language& language : texts.Languages()) ids.push_back(language.LangId);
  return ids;
}

bool Previewer::Render(const Request& request, Picture& out, std::string& error, int* pages) {
  m_notes.clear();
  const fs::path script = fs::path(m_location.skinFolder) / request.script;
  std::error_code code;
  if (request.script.empty() || request.script.find('/') != std::string::npos ||
      request.script.find('\\') != std::string::npos) {
    error = "script " + request.script + ": give the file name of a script in the skin folder";
    return false;
  }
  if (!fs::is_regular_file(script, code)) {
    error = "script " + script.string() + (fs::exists(script, code) ? " is not a file" : " does not exist");
    return false;
  }
  if (tooLarge(script, error)) return false;

  auto texts = std::make_unique<CTxtRes>();
  int language = request.language;
  if (language < 0 && !texts->Languages().empty()) language = texts->Languages().front().LangId;
  if (language >= 0) {
    const auto& listed = texts->Languages();
    if (std::none_of(listed.begin(), listed.end(), [language](const auto& l) { return l.LangId == language; })) {
      error = "language " + std::to_string(language) + " is not listed in language.xml (listed:";
      for (const auto& l : listed) error += " " + std::to_string(l.LangId);
      error += listed.empty() ? " none)" : ")";
      return false;
    }
    // The launcher's screens load the texts of the user's language when their script loads.
    if (!SetUserDefaultUILanguage(static_cast<LANGID>(language))) {
      error = "language " + std::to_string(language) + " is not a language identifier";
      return false;
    }
  }

  const std::u16string scriptName = plat::utf8ToUtf16(request.script);
  app::ScreenKind kind = app::ScreenKindOfScript(scriptName.c_str());
  // Every render gets a class of its own: a screen finds an existing window of its class and
  // would show that one instead.
  const std::u16string className =
      std::u16string(kind.name) + u"#" + plat::utf8ToUtf16(std::to_string(++m_state->serial));
  CSkinWnd screen;
  screen.SetName(className.c_str(), kind.name);
  screen.SetResources(&m_state->images, texts.get());
  screen.SetScript(scriptName.c_str(), m_location.skinName.c_str());
  if (!screen.Create(nullptr, nullptr, SW_SHOW, kind.exStyle)) {
    // A file that did not even open says why; otherwise its content was at fault.
    const std::string failure = plat::lastFileFailure();
    error = "script " + script.string() +
            (failure.empty() ? " does not load (not well-formed XML, or no page)" : " cannot be read: " + failure);
    pumpUntilIdle();
    return false;
  }
  pumpUntilIdle();
  // Every refusal from here on closes the screen first.
  auto refuse = [&](std::string why) {
    error = std::move(why);
    screen.DestroyWnd();
    pumpUntilIdle();
    return false;
  };
  if (language >= 0 && !texts->Module()) {
    for (const auto& l : texts->Languages())
      if (l.LangId == language) {
        m_notes.push_back("the module of language " + std::to_string(language) + " (" +
                          plat::utf16ToUtf8(l.ModulePath) + ") does not load: the page has no texts");
        break;
      }
  }
  if (language < 0) m_notes.push_back("language.xml lists no language: the page has no texts");

  CSkinlet& view = screen.View();
  const int count = static_cast<int>(view.Pages().size());
  if (pages) *pages = count;
  if (request.page < 0 || request.page >= count)
    return refuse("page " + std::to_string(request.page) + " is past the last page of " + request.script +
                  " (it has " + std::to_string(count) +
                  (count == 1 ? " page, 0)" : " pages, 0 to " + std::to_string(count - 1) + ")"));
  if (request.page != view.SL_menuGetCurrentItem()) {
    view.SL_menuSetCurrentItem(request.page);
    pumpUntilIdle();
  }

  if (request.focus) {
    const tagMenu& page = view.Pages()[static_cast<size_t>(request.page)];
    const int action = request.focusAction;
    const bool onButton = hasAction(page.Buttons, action) || hasAction(page.Progresses, action);
    if (!onButton && !hasAction(page.Tables, action))
      return refuse("no button, progress bar or table item of page " + std::to_string(request.page) +
                    " has action id " + std::to_string(action));
    // A table item holds the focus only where the screen lets the keys into its table.
    view.SL_btnIrOnItem(onButton ? 1 : 0);
    view.SL_prgIrOnItem(onButton ? 1 : 0);
    view.SL_tblIrOnItem(onButton ? 0 : 1);
    view.SL_IrSetActionId(action);
    // The first remote key only shows where the focus is: a key up on a direction key.
    SendMessageW(screen.GetHwnd(), WM_KEYUP, VK_LEFT, 0);
    pumpUntilIdle();
  }

  RECT window = {};
  GetWindowRect(screen.GetHwnd(), &window);
  RECT onScreen = {};
  RECT whole = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (!IntersectRect(&onScreen, &window, &whole))
    return refuse("the window of " + request.script + " has no part on the screen (MVIEWPORT " +
                  std::to_string(window.left) + "," + std::to_string(window.top) + " " +
                  std::to_string(window.right - window.left) + "x" + std::to_string(window.bottom - window.top) +
                  ")");
  if (!EqualRect(&onScreen, &window))
    m_notes.push_back("the window of " + request.script + " reaches past the " + std::to_string(whole.right) + "x" +
                      std::to_string(whole.bottom) + " screen: the picture shows the part on the screen");
  out.width = onScreen.right - onScreen.left;
  out.height = onScreen.bottom - onScreen.top;
  out.pixels.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      out.pixels[static_cast<size_t>(y) * out.width + x] = plat::display::pixel(onScreen.left + x, onScreen.top + y);

  screen.DestroyWnd();
  pumpUntilIdle();
  return true;
}

bool WritePng(const std::string& path, const Picture& picture) {
  if (picture.width <= 0 || picture.height <= 0) return false;
  std::vector<unsigned char> rgb(picture.pixels.size() * 3);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    rgb[i * 3] = static_cast<unsigned char>(picture.pixels[i] >> 16);
    rgb[i * 3 + 1] = static_cast<unsigned char>(picture.pixels[i] >> 8);
    rgb[i * 3 + 2] = static_cast<unsigned char>(picture.pixels[i]);
  }
  return stbi_write_png(path.c_str(), picture.width, picture.height, 3, rgb.data(), picture.width * 3) != 0;
}

}  // namespace skinpreview
