// Name and version of the shell, as shown on the console and reported to the microcontroller.
#pragma once

namespace app {
const char16_t* programVersion();
}
