// CImgRes: the skin's image table ("image.xml"), one per program, shared by every view.
// Bitmaps are looked up by 16-bit id with a binary search over the sorted list.
#pragma once

#include <vector>

#include "skin_types.h"

class CImgRes {
 public:
  CImgRes();
  ~CImgRes();
  CImgRes(const CImgRes&) = delete;
  CImgRes& operator=(const CImgRes&) = delete;

  // Appends the entries of image table `file` in skin `folder`; 1 when the document was read.
  int LoadImgResource(const WCHAR* file, const WCHAR* folder);
  // The bitmap of image `id`, or null.
  HBITMAP GetImgHandle(int id);
  // Deletes every bitmap and empties the table.
  void UnLoadImgResource();
  // One console line per entry, in table order.
  void ResPrint();

  // The entries in table order (tests and tools).
  const std::vector<tagImgRes>& Entries() const { return m_List; }

 private:
  std::vector<tagImgRes> m_List;
};
