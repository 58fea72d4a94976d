// Xlib calls of the tests, kept apart: Xlib's macros (Bool, None, Status...) clash with gtest.
#include <X11/Xlib.h>

#include <string>

namespace hu::test {

bool sendXlibEventToMissingWindow(const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (!display) return false;
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.format = 32;
  // Far past any id the server has handed out.
  XSendEvent(display, static_cast<Window>(0x7FFFFF0), False, NoEventMask, &e);
  XSync(display, False);  // the error comes back here
  XCloseDisplay(display);
  return true;
}

}  // namespace hu::test
