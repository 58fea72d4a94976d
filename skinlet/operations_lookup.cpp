// The eleven private index lookups, one per widget kind, all through skinlet::indexOf.
#include "operations_lookup.h"

int CSkinlet::GetTxtListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Texts, id); }
int CSkinlet::GetBtnListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Buttons, id); }
int CSkinlet::GetPrgListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Progresses, id); }
int CSkinlet::GetSegListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::EightSegs, id); }
int CSkinlet::GetGifListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Gifs, id); }
int CSkinlet::GetSldListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Slides, id); }
int CSkinlet::GetTblListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Tables, id); }
int CSkinlet::GetSigListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Signals, id); }
int CSkinlet::GetPicListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Pictures, id); }
int CSkinlet::GetSatListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Satellites, id); }
int CSkinlet::GetSecListIndex(int id) { return skinlet::indexOf(CurrentPage(), &tagMenu::Sectors, id); }
