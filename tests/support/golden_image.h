// Golden pictures: an image is compared with tests/golden/<name>.png per channel with a
// tolerance; on a difference the actual picture and a difference picture are written to the
// test's temporary folder and named in the failure. HU_UPDATE_GOLDEN=1 rewrites the golden
// file instead (look at it before committing).
#pragma once

#include <cstdint>
#include <string>

namespace test_support {

// pixels: width x height values 0x00RRGGBB, rows top-down. When requiredFont is given and that
// file is missing, the picture holds text drawn with some other font: nothing is compared.
void expectGolden(const std::string& name, const uint32_t* pixels, int width, int height, int tolerance = 0,
                  const char* requiredFont = nullptr);

}  // namespace test_support
