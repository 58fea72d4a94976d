// Creation and destruction of the child controls of every page: buttons, progress bars,
// slides and eight-segment displays get windows of their own in the screen window, animated
// pictures a player each.
#include "controls/button_control.h"
#include "controls/progress_control.h"
#include "controls/segment_control.h"
#include "controls/slide_control.h"
#include "gif/animation_player.h"
#include "skin_paths.h"
#include "skinlet.h"

namespace {

constexpr int32_t kGifOnScreen = 0x10;

template <class Record>
void releaseControls(std::vector<Record>& records) {
  for (Record& record : records) {
    delete record.Control;  // the control destroys its window when it still has one
    record.Control = nullptr;
  }
}

}  // namespace

int CSkinlet::SL_LoadImages() {
  // A page may hold thousands of controls: their windows are laid out once, not once each.
  plat::window::LayoutBatch batch;
  // A second call without an unload would orphan the first set of controls.
  SL_UnLoadImages();
  for (tagMenu& page : Menus) {
    for (tagButton& button : page.Buttons) {
      auto* control = new ButtonControl(hViewWnd, hInstance);
      button.Control = control;
      if (button.TxtType > 0 && button.StateIndex >= 0 &&
          static_cast<size_t>(button.StateIndex) < button.TextIds.size()) {
        const int32_t id = button.TextIds[static_cast<size_t>(button.StateIndex)];
        if (id >= 0) {
          const WCHAR* text = SL_resGetItem(static_cast<unsigned short>(id));
          skinlet::copyCut(button.Text, SL_TEXT_LEN, text ? text : u"");
        }
      }
      control->SetRecord(button);
      control->Create(button);
    }
    btnShowAll(&page, 0);

    for (tagProgress& progress : page.Progresses) {
      auto* control = new ProgressControl(hViewWnd, hInstance);
      progress.Control = control;
      control->SetRecord(progress);
      control->Create(progress);
    }
    prgShowAll(&page, 0);

    for (tagGif& gif : page.Gifs) {
      gif.Player = new AnimationPlayer(hViewWnd, gif.ActionID, (gif.ActionType & kGifOnScreen) != 0);
    }

    for (tagSlide& slide : page.Slides) {
      if (slide.ActionType != 1) continue;
      auto* control = new SlideControl(hViewWnd, hInstance);
      slide.Control = control;
      control->Create(slide);
      control->SetItems(&page.Slides);
      break;  // only the first such item hosts the page's slide control
    }

    for (tagEightSeg& segment : page.EightSegs) {
      auto* control = new SegmentControl(hViewWnd, hInstance);
      segment.Control = control;
      control->SetRecord(segment);
      control->Create(segment);
    }
    segShowAll(&page, 0);
  }
  return 1;
}

int CSkinlet::SL_UnLoadImages() {
  plat::window::LayoutBatch batch;
  for (tagMenu& page : Menus) {
    releaseControls(page.Buttons);
    releaseControls(page.Progresses);
    for (tagGif& gif : page.Gifs) {
      delete gif.Player;  // stops a playing animation first
      gif.Player = nullptr;
    }
    releaseControls(page.EightSegs);
    releaseControls(page.Slides);
  }
  return 1;
}
