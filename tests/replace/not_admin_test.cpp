// The NT family for a user without administrator rights (the not-admin
// seam is linked in): nothing goes to the system's pending operations, and
// renames go to the guard's list while its service runs.
#include "replace_cases.h"

#include "guard_fixture.h"
#include "replace/reboot_rename.h"
#include "replace/replace_file.h"
#include "run/probes.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

#define NT_NOT_ADMIN AF "System is NT.\n" AF "User is not admin.\n"
#define GUARD_SCHEDULED                                                                   \
    NT_NOT_ADMIN AF "Brisquall is loaded and can be used for renaming.\n"                 \
        AF "Brisquall will do the renaming.\n"

class NotAdminTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, IsWindowsNT());
        ASSERT_EQ(0, IsUserAdministrator());
        dir_ = FreshTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        DeleteCommonPathKey();
        ForgetGuardRenamePairs();
    }
    void TearDown() override
    {
        ForgetGuardRenamePairs();
        DeleteCommonPathKey();
        RemoveTree(dir_.substr(0, dir_.size() - 1));
    }

    std::string dir_;
};

TEST_F(NotAdminTest, WithoutGuardNothingIsScheduled)
{
    const ReplaceCase cases[] = {
        {"a held file cannot be deleted", HeldRead, Absent, false, ResultFailed,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n" NT_NOT_ADMIN_REFUSED
            RF "File cannot be deleted during reboot ({s}).\n",
         {}, SourceText, "*"},
        {"a held destination fails the rename", Plain, HeldRead, true, ResultFailed,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            EXISTS("{d}") RF "Dest file exists ({d}).\n" RF "Failed to delete the file ({d}).\n"
            NT_NOT_ADMIN_REFUSED RF "File cannot be deleted during reboot ({d}).\n",
         {}, SourceText, DestinationText},
        {"a held source with no destination: nothing changed", HeldRead, Absent, true,
         ResultFailed,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            MISSING("{d}") RF "Failed to rename the source file ({s}).\n" NT_NOT_ADMIN_REFUSED
            RF "Src file cannot be renamed during reboot({s} -> {d}).\n",
         {}, SourceText, "<absent>"},
        {"a held source after the destination was deleted", HeldRead, Plain, true,
         ResultFailedDestGone,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            EXISTS("{d}") RF "Dest file exists ({d}).\n" RF "Dest file deleted ({d}).\n"
            RF "Failed to rename the source file ({s}).\n" NT_NOT_ADMIN_REFUSED
            RF "Src file cannot be renamed during reboot({s} -> {d}).\n",
         {}, SourceText, "<absent>"},
    };
    for (const ReplaceCase &c : cases)
        RunReplaceCase(dir_, c);

    const ReportCase reports[] = {
        {"delete failed", HeldRead, Absent, false, ResultFailed, "Delete failed\n", 0, 1},
        {"rename failed, destination gone", HeldRead, Plain, true, ResultFailedDestGone,
         "File rename failed\n", 0, 1},
    };
    for (const ReportCase &c : reports)
        RunReportCase(dir_, c);
}

// The guard's service, "Kestrune Brisquall", running for the whole suite.
class GuardLoadedTest : public NotAdminTest {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(InstallService(GuardServiceName, TestServiceCommand(false)));
        ASSERT_TRUE(StartNamedService(GuardServiceName));
        ASSERT_TRUE(WaitForServiceState(GuardServiceName, SERVICE_RUNNING));
    }
    static void TearDownTestSuite() { RemoveService(GuardServiceName); }

    void SetUp() override
    {
        NotAdminTest::SetUp();
        ASSERT_EQ(SERVICE_RUNNING, ServiceState(GuardServiceName));
        ASSERT_TRUE(SetCommonPath(dir_));
        list_ = dir_ + "KRBQ.REN";
    }

    std::string list_;
};

TEST_F(GuardLoadedTest, HeldSourceIsRenamedByTheGuard)
{
    const ReplaceCase cases[] = {
        {"the rename goes to the guard's list", HeldRead, Absent, true, ResultAtRestart,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            MISSING("{d}") RF "Failed to rename the source file ({s}).\n" GUARD_SCHEDULED
            RF "Src file will be renamed during reboot({s} -> {d}).\n",
         {}, SourceText, "<absent>"},
        {"a deletion is never handed to the guard", HeldRead, Absent, false, ResultFailed,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n" NT_NOT_ADMIN_REFUSED
            RF "File cannot be deleted during reboot ({s}).\n",
         {}, SourceText, "*"},
    };
    RunReplaceCase(dir_, cases[0]);
    EXPECT_EQ(RenameListBody({dir_ + "src.exe", dir_ + "dest.exe"}),
              DecodeRenameList(list_).body);
    RunReplaceCase(dir_, cases[1]);
    EXPECT_EQ(RenameListBody({dir_ + "src.exe", dir_ + "dest.exe"}),
              DecodeRenameList(list_).body);
}

TEST_F(GuardLoadedTest, ListKeepsEveryPairOfTheRun)
{
    const char *pairs[][2] = {
        {"C:\\APPS\\ONE.EXE", "C:\\APPS\\ONE.NEW"},
        {"C:\\APPS\\TWO.EXE", "C:\\APPS\\TWO.NEW"},
        {"C:\\APPS\\THREE.EXE", "C:\\APPS\\THREE.NEW"},
    };
    std::vector<std::string> expected;
    for (const auto &pair : pairs) {
        TraceCapture capture;
        EXPECT_EQ(1, AddFileToAutomaticRenameList(pair[0], pair[1]));
        EXPECT_EQ(GUARD_SCHEDULED, capture.Text());
        expected.push_back(pair[0]);
        expected.push_back(pair[1]);
        // Each scheduling writes the list anew, with all pairs so far.
        EXPECT_EQ(RenameListBody(expected), DecodeRenameList(list_).body);
    }
}

TEST_F(GuardLoadedTest, ListThatCannotBeWrittenIsNotCountedAsScheduled)
{
    EXPECT_EQ(1, AddFileToAutomaticRenameList("C:\\A.EXE", "C:\\A.NEW"));

    DeleteCommonPathKey();
    {
        TraceCapture capture;
        EXPECT_EQ(0, AddFileToAutomaticRenameList("C:\\B.EXE", "C:\\B.NEW"));
        EXPECT_EQ(NT_NOT_ADMIN AF "Brisquall is loaded and can be used for renaming.\n"
                      AF "Brisquall cannot do the renaming.\n",
                  capture.Text());
    }

    // The pair that failed is not carried into later lists.
    ASSERT_TRUE(SetCommonPath(dir_));
    EXPECT_EQ(1, AddFileToAutomaticRenameList("C:\\C.EXE", "C:\\C.NEW"));
    EXPECT_EQ(RenameListBody({"C:\\A.EXE", "C:\\A.NEW", "C:\\C.EXE", "C:\\C.NEW"}),
              DecodeRenameList(list_).body);
}

TEST_F(NotAdminTest, StoppedGuardServiceIsNotUsed)
{
    ASSERT_TRUE(InstallService(GuardServiceName, TestServiceCommand(false)));
    ASSERT_TRUE(SetCommonPath(dir_));
    TraceCapture capture;
    EXPECT_EQ(0, AddFileToAutomaticRenameList("C:\\A.EXE", "C:\\A.NEW"));
    EXPECT_EQ(NT_NOT_ADMIN_REFUSED, capture.Text());
    EXPECT_FALSE(PathExists(dir_ + "KRBQ.REN"));
    RemoveService(GuardServiceName);
}

}  // namespace
