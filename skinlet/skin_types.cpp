#include "skin_types.h"

tagRECT AreaToRect(const tagArea& area) {
  return tagRECT{area.LocX, area.LocY, area.LocX + area.Width, area.LocY + area.Hight};
}

tagArea RectToArea(const tagRECT& rect) {
  return tagArea{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

tagRECT ExtendRect(const tagRECT& rect, int n) {
  return tagRECT{rect.left - n, rect.top - n, rect.right + n, rect.bottom + n};
}

tagArea ExtendArea(const tagArea& area, int n) {
  return tagArea{area.LocX - n, area.LocY - n, area.Width + 2 * n, area.Hight + 2 * n};
}
