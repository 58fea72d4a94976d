#include <gtest/gtest.h>

#include "gdi/gdi_objects.h"

namespace {

// Every object the tests make must be deleted again: a leaked handle means a leaked bitmap.
class NoLeakedObjects : public testing::Environment {
 public:
  void SetUp() override { before_ = plat::gdi::liveObjectCount(); }
  void TearDown() override { EXPECT_EQ(plat::gdi::liveObjectCount(), before_) << "GDI objects left undeleted"; }

 private:
  size_t before_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new NoLeakedObjects);
  return RUN_ALL_TESTS();
}
