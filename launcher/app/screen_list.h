// The launcher's screens: which script each one shows, the name of its window class and the
// extended style it is created with. The launcher creates its screens from these, and the
// skin preview creates a screen of the same kind so that a page looks as it does on the unit.
#pragma once

#include "windows.h"

namespace app {

struct ScreenKind {
  const WCHAR* name;
  const WCHAR* script;
  DWORD exStyle;
};

// Across the top, never activated (so that the main window keeps the keys).
inline constexpr ScreenKind kStatusBarScreen{u"StatusBar", u"StatusBar_Script.xml", 0x08000008};
// The main window: activated when shown.
inline constexpr ScreenKind kMainMenuScreen{u"MainMenu", u"Main_Menu_Script.xml", 0x40000000};

// The kind of the screen that shows `script` (compared without regard to case, as the unit's
// file system does); a script the launcher does not know is shown as an ordinary screen that
// is activated when shown, like the main window.
inline ScreenKind ScreenKindOfScript(const WCHAR* script) {
  for (const ScreenKind& kind : {kStatusBarScreen, kMainMenuScreen})
    if (script && lstrcmpiW(script, kind.script) == 0) return kind;
  return ScreenKind{u"Screen", script, kMainMenuScreen.exStyle};
}

}  // namespace app
