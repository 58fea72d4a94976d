#include <gtest/gtest.h>

#include "core/kernel_object.h"

namespace {

// A file or search handle left open by a test is a leak in the code under test.
class NoLeakedHandles : public testing::Environment {
 public:
  void SetUp() override { before_ = plat::openHandleCount(); }
  void TearDown() override { EXPECT_EQ(plat::openHandleCount(), before_) << "kernel handles left open"; }

 private:
  size_t before_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new NoLeakedHandles);
  return RUN_ALL_TESTS();
}
