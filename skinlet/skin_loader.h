// The screen-script loader: turns the "MENU" elements of a script into tagMenu records.
// Every search moves forward only; missing elements leave zero or inherited values and the
// loader reports nothing about script content.
#pragma once

#include <vector>

#include "skin_types.h"

class CMarkup;
class CImgRes;

namespace skinlet {

// Loads every page of a script document: finds "SL_MENUS" among the top-level elements,
// enters it and reads each "MENU" in document order (a root "MENU" is read as the only page).
// Image references are looked up in `images` (may be null: every handle stays null).
void loadPages(CMarkup& xml, std::vector<tagMenu>& menus, CImgRes* images);

// Loads one page; `xml` stands on its "MENU" element and is left there.
void loadPage(CMarkup& xml, tagMenu& page, CImgRes* images);

}  // namespace skinlet
