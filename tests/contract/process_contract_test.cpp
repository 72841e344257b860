// What the install folder's rule relies on from `Process`: the shell names the user's own Local
// AppData folder, as an absolute path, every time it is asked.

#include "contract.h"
#include "paths/paths.h"

namespace orvane::contract {
namespace {

TEST_P(ProcessContract, KnownLocalAppDataIsTheProfilesAbsoluteFolder) {
  const std::optional<PlatformPath> expected = world().profile_local_app_data();
  ASSERT_TRUE(expected) << "the profile names no Local AppData folder";
  const std::optional<PlatformPath> known = process().known_local_app_data();
  EXPECT_EQ(known, expected);
  ASSERT_TRUE(known);
  EXPECT_TRUE(is_absolute(*known)) << from_wide_lossy(*known);
  EXPECT_EQ(process().known_local_app_data(), known) << "asked a second time";
}

INSTANTIATE_TEST_SUITE_P(Contract, ProcessContract, ::testing::Values(&side_under_test()), side_name);

}  // namespace
}  // namespace orvane::contract
