// The automatic remote-key links of a page's buttons, shared by the engine's load and the skin
// checker (which tells an author when a link written in a script is replaced by them).
#pragma once

#include <vector>

#include "skin_types.h"

namespace skinlet {

// Sorts the buttons by position (reading order) and sets each one's left, right, up and down
// links; the other four entries of the direction tables stay as they are.
void computeButtonLinks(std::vector<tagButton>& buttons);

}  // namespace skinlet
