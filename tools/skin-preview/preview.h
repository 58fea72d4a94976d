// The skin preview: one page of a screen script painted by the engine in a screen of the
// launcher's own kind, on the headless display, with no launcher running.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace skinpreview {

// Screen pixels, 0x00RRGGBB, rows top-down.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Files the preview reads whole are refused above this size: a script or table of this size
// is not a skin, and loading it would only cost time and memory.
constexpr uintmax_t kMaxXmlBytes = 4u << 20;

// Where a skin folder sits in a unit, as the platform must be started to load it the way the
// launcher does: the skin folder lives in the program's folder, beside "language.xml".
struct SkinLocation {
  std::string skinFolder;       // host path, absolute
  std::string unitRoot;         // host folder standing for "\"
  std::u16string moduleFile;    // device path of the program
  std::u16string skinName;      // the skin folder's own name
};
// False, with a message, when the folder does not exist or is not a folder.
bool LocateSkin(const std::string& folder, SkinLocation& out, std::string& error);

// The screen scripts of a skin folder: every ".xml" file but the image table, sorted.
std::vector<std::string> ScriptsOf(const std::string& skinFolder);

struct Request {
  std::string script;  // file name in the skin folder
  int page = 0;        // counted from 0, as the engine counts its pages
  int language = -1;   // a LANGID of "language.xml"; -1: its first language
  bool focus = false;  // put the remote focus on the widget with this action id
  int focusAction = 0;
};

// Renders pages of one skin. The platform must have been started on the skin's location
// (PrepareSkinPlatform) and the headless display opened on this thread.
class Previewer {
 public:
  explicit Previewer(SkinLocation location);
  ~Previewer();
  Previewer(const Previewer&) = delete;
  Previewer& operator=(const Previewer&) = delete;

  // Loads the image table; false, with a message, when it is too large to be a skin's.
  bool Open(std::string& error);
  // The languages of "language.xml", in its order.
  std::vector<int> Languages() const;
  // Paints the page into `out`; false, with a message, when no picture can be made. `pages`
  // (when given) receives the number of pages of the script once it has loaded.
  bool Render(const Request& request, Picture& out, std::string& error, int* pages = nullptr);
  // What the last Render made that the author should know of, though a picture was made.
  const std::vector<std::string>& Notes() const { return m_notes; }

 private:
  struct State;
  SkinLocation m_location;
  std::unique_ptr<State> m_state;
  std::vector<std::string> m_notes;
};

// Starts the platform on the skin's location, never writing into it, with a frozen clock
// (timers do not run, so a page shows its first state) and the headless display.
void PrepareSkinPlatform(const SkinLocation& location, bool echoConsole);
void EndSkinPlatform();

// Writes a picture as a PNG (host path); false when the file cannot be written.
bool WritePng(const std::string& path, const Picture& picture);

}  // namespace skinpreview
