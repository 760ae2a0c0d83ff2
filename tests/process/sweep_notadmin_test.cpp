// The sweep of a user without administrator rights (linked with the
// not-admin seam): a locked program file cannot be scheduled for deletion.
#include "process_fixture.h"
#include "sweep_pass.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(Process, LockedFileOfNonAdministratorIsNotDeleted)
{
    PendingRenamesRestorer restorer;
    std::string dir = FreshTestDir("sweep-notadmin");
    std::string path = dir + "infected.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();
    HeldFile held(path, "read");
    ASSERT_TRUE(held.Held());
    StartWatching(dir);

    Pass pass = RunPass();

    EXPECT_EQ(1, pass.result);
    EXPECT_EQ(1, pass.found);
    EXPECT_TRUE(program.Ended());
    EXPECT_EQ("Deleting infected process: " + path + " Delete failed\n", pass.console);
    EXPECT_EQ(1, pass.failures);
    EXPECT_EQ(0, pass.reboots);
    EXPECT_TRUE(PathExists(path));
    EXPECT_NE(std::string::npos, pass.trace.find(DeletingLine(path, 4))) << pass.trace;
}

}  // namespace
