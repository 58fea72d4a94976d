#include "app/app_info.h"

namespace app {
const char16_t* programVersion() { return u"V1.0.0"; }
}  // namespace app
