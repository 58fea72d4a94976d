// One generic item loader driven by a table of rows per record kind, and one generic section
// loader driven by a table of sections (both tables in skin_schema.h). A row names a child
// element and how its value goes into the record; the rows stand in the order the document
// must give the elements.
#include "skin_loader.h"

#include "skin_schema.h"

namespace skinlet {
namespace schema {

// The item loader: one forward search per row among the children of the element at the
// main position. A repeated row takes every later element of its name; the next row is
// then searched after the last repetition. Unknown elements are passed over.
template <class R>
void loadItem(CMarkup& xml, R& record, CImgRes* images) {
  ItemReader reader(xml, images);
  xml.ResetChildPos();
  for (const Row<R>& row : Rows<R>::rows) {
    if (row.info.repeated) {
      size_t k = 0;
      while (xml.FindChildElem(row.info.tag)) row.read(record, reader, k++);
    } else if (xml.FindChildElem(row.info.tag)) {
      row.read(record, reader, 0);
    }
  }
}

// The section loader, the same for every kind: the section's own children fill a default
// record; every item starts as a copy of it. Items are searched after the last default found.
template <class R, std::vector<R> tagMenu::*List>
void loadSection(CMarkup& xml, const char16_t* itemName, tagMenu& page, CImgRes* images) {
  R defaults{};
  loadItem(xml, defaults, images);
  xml.IntoElem();
  while (xml.FindElem(itemName)) {
    std::vector<R>& list = page.*List;
    list.push_back(defaults);
    loadItem(xml, list.back(), images);
  }
  xml.OutOfElem();
}

}  // namespace schema

void loadPage(CMarkup& xml, tagMenu& page, CImgRes* images) {
  // Global properties are the page's own "item rows"; the sections are searched after the
  // last one found (or from the first child when there was none).
  schema::loadItem(xml, page, images);
  xml.IntoElem();
  for (const schema::Section& section : schema::kSections) {
    if (xml.FindElem(section.name)) section.load(xml, section.item, page, images);
  }
  xml.OutOfElem();
}

void loadPages(CMarkup& xml, std::vector<tagMenu>& menus, CImgRes* images) {
  xml.ResetPos();
  xml.FindElem(schema::kRootName);
  xml.IntoElem();
  while (xml.FindElem(schema::kPageName)) {
    menus.emplace_back();
    loadPage(xml, menus.back(), images);
  }
}

}  // namespace skinlet
