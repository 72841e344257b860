// Cases that leave the profile changed on purpose, for the check that the profile guard puts it
// back (kit_under_wine.py runs them; run-tests.cmd never does: they are disabled).

#include "setup_case.h"

namespace kit {
namespace {

using ProfileGuardProof = SetupCase;

// Installs, makes the environment key unwritable, and ends the process on the spot, as a crash
// or a closed console does: nothing of the run is left to put the profile back but its file.
TEST_F(ProfileGuardProof, DISABLED_RunDiesWithTheProfileChanged) {
  ASSERT_EQ(run(L"/S").status, 0u);
  ASSERT_EQ(user_path(), std::optional(expand_sz(folder())));
  ASSERT_EQ(deny_writes(environment_key), ERROR_SUCCESS);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 99);
}

// The same, ending in a failed check: the guard puts everything back after the case.
TEST_F(ProfileGuardProof, DISABLED_CaseFailsWithTheProfileChanged) {
  ASSERT_EQ(run(L"/S").status, 0u);
  ASSERT_EQ(deny_writes(environment_key), ERROR_SUCCESS);
  FAIL() << "failing on purpose, with Path, the uninstall entry and the key's access list changed";
}

}  // namespace
}  // namespace kit
