#include "img_res.h"

#include <algorithm>

#include "markup.h"
#include "skin_paths.h"

CImgRes::CImgRes() = default;

CImgRes::~CImgRes() { UnLoadImgResource(); }

int CImgRes::LoadImgResource(const WCHAR* file, const WCHAR* folder) {
  if (!file || !folder) return 0;
  if (!skinlet::setBaseToModulePath(u".")) return 0;
  std::u16string rel;
  if (!skinlet::scriptRelativeName(folder, file, rel)) return 0;
  CMarkup xml;
  if (!xml.Load(skinlet::baseFile(rel))) {
    // A skin without its image table draws every screen blank: say which file and why.
    std::u16string path = skinlet::baseFile(rel);
    NKDbgPrintfW(u"CImgRes: %s loads no image: %s\n", path.c_str(), skinlet::whyNotLoaded(path).c_str());
    return 0;
  }
  if (!skinlet::setBaseToSkinFolder(folder)) return 0;

  size_t before = m_List.size();
  int missing = 0;
  if (!xml.FindElem(u"IMAGES")) NKDbgPrintfW(u"CImgRes: %s loads no image: no IMAGES element\n", file);
  else {
    xml.IntoElem();
    while (xml.FindElem(u"IMAGE")) {
      tagImgRes entry{};
      entry.imgId = static_cast<uint16_t>(_wtol(xml.GetAttrib(u"ImgId").c_str()));
      std::u16string name = xml.GetData();
      entry.hImg = SHLoadDIBitmap(skinlet::baseFile(name));
      if (!entry.hImg) {
        NKDbgPrintfW(u"No image file(id:%d) in \"image.xml\"!\n", static_cast<int>(entry.imgId));
        ++missing;
      }
      m_List.push_back(entry);
    }
    xml.OutOfElem();
    size_t listed = m_List.size() - before;
    if (listed == 0) NKDbgPrintfW(u"CImgRes: %s loads no image: no IMAGE entries\n", file);
    else if (static_cast<size_t>(missing) == listed)
      NKDbgPrintfW(u"CImgRes: %s loads no image: none of its %d picture files could be loaded\n", file,
                   static_cast<int>(listed));
  }
  // Stable, so that equal ids keep their document order (the search then meets one of them).
  std::stable_sort(m_List.begin(), m_List.end(),
                   [](const tagImgRes& a, const tagImgRes& b) { return a.imgId < b.imgId; });
  return 1;
}

HBITMAP CImgRes::GetImgHandle(int id) {
  int low = 0;
  int high = static_cast<int>(m_List.size()) - 1;
  while (low <= high) {
    int middle = (low + high) / 2;
    int entry = m_List[static_cast<size_t>(middle)].imgId;
    if (id < entry) {
      high = middle - 1;
    } else if (id > entry) {
      low = middle + 1;
    } else {
      return m_List[static_cast<size_t>(middle)].hImg;
    }
  }
  return nullptr;
}

void CImgRes::UnLoadImgResource() {
  for (tagImgRes& entry : m_List) {
    if (entry.hImg) DeleteObject(entry.hImg);
  }
  m_List.clear();
}

void CImgRes::ResPrint() {
  for (const tagImgRes& entry : m_List) {
    // Handles are printed as the device's 32-bit values.
    NKDbgPrintfW(u"imgId:%d[ hImg:0x%x ]\n", static_cast<int>(entry.imgId),
                 static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry.hImg)));
  }
}
