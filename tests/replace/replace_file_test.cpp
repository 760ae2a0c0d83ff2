// ReplaceFile and its reporting routines on real files, as an administrator
// of the NT family: what cannot be done now goes to the system's pending
// operations through MoveFileExA.
#include "replace_cases.h"

#include "replace/reboot_rename.h"
#include "replace/replace_file.h"
#include "run/probes.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

class ReplaceFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1, IsWindowsNT());
        ASSERT_EQ(1, IsUserAdministrator());
        dir_ = FreshTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ClearPendingFileRenameOperations();
    }
    void TearDown() override
    {
        ClearPendingFileRenameOperations();
        RemoveTree(dir_.substr(0, dir_.size() - 1));
    }

    std::string dir_;
};

TEST_F(ReplaceFileTest, EachOutcomeOnRealFiles)
{
    const ReplaceCase cases[] = {
        {"deleting a missing file", Absent, Absent, false, ResultNotFound,
         RF "Delete operation ({s}).\n" MISSING("{s}") RF "Src file does not exist ({s}).\n",
         {}, "<absent>", "*"},
        {"deleting a directory", Directory, Absent, false, ResultNotFound,
         RF "Delete operation ({s}).\n" MISSING("{s}") RF "Src file does not exist ({s}).\n",
         {}, "<dir>", "*"},
        {"a file that does not open for reading is left alone", HeldExclusive, Absent, false,
         ResultNotFound,
         RF "Delete operation ({s}).\n" MISSING("{s}") RF "Src file does not exist ({s}).\n",
         {}, SourceText, "*"},
        {"deleting a file nobody holds", Plain, Absent, false, ResultDone,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "File was deleted ({s}).\n",
         {}, "<absent>", "*"},
        {"a sharing violation schedules the deletion", HeldRead, Absent, false, ResultAtRestart,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n" NT_ADMIN_SCHEDULED
            RF "File will be deleted during reboot ({s}).\n",
         {"\\??\\{s}", ""}, SourceText, "*"},
        {"a read-only file is denied and scheduled", ReadOnly, Absent, false, ResultAtRestart,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n" NT_ADMIN_SCHEDULED
            RF "File will be deleted during reboot ({s}).\n",
         {"\\??\\{s}", ""}, SourceText, "*"},
        {"a running program's file is denied and scheduled", Running, Absent, false,
         ResultAtRestart,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n" NT_ADMIN_SCHEDULED
            RF "File will be deleted during reboot ({s}).\n",
         {"\\??\\{s}", ""}, "*", "*"},
        {"a device opens but does not delete", Device, Absent, false, ResultNotFound,
         RF "Delete operation ({s}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            RF "Failed to delete the file ({s}).\n"
            RF "File not found or it is a directory ({s}).\n",
         {}, "*", "*"},
        {"a path too long for the buffer touches nothing", TooLong, Absent, false,
         ResultNotFound, RF "Path too long ({s}).\n", {}, "*", "*"},

        {"renaming a missing file", Absent, Plain, true, ResultNotFound,
         RF "Rename operation ({s} -> {d}).\n" MISSING("{s}") RF "Src file does not exist ({s}).\n",
         {}, "<absent>", DestinationText},
        {"renaming onto a free name", Plain, Absent, true, ResultDone,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            MISSING("{d}") RF "Src file was successfully renamed ({s} -> {d}).\n",
         {}, "<absent>", SourceText},
        {"renaming onto a file nobody holds", Plain, Plain, true, ResultDone,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            EXISTS("{d}") RF "Dest file exists ({d}).\n" RF "Dest file deleted ({d}).\n"
            RF "Src file was successfully renamed ({s} -> {d}).\n",
         {}, "<absent>", SourceText},
        {"renaming onto a held file schedules both steps, in order", Plain, HeldRead, true,
         ResultAtRestart,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            EXISTS("{d}") RF "Dest file exists ({d}).\n" RF "Failed to delete the file ({d}).\n"
            NT_ADMIN_SCHEDULED RF "File will be deleted during reboot ({d}).\n"
            NT_ADMIN_SCHEDULED RF "Src file will be deleted during reboot ({s}).\n",
         {"\\??\\{d}", "", "\\??\\{s}", "!\\??\\{d}"}, SourceText, DestinationText},
        {"a held source is renamed at the restart", HeldRead, Absent, true, ResultAtRestart,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            MISSING("{d}") RF "Failed to rename the source file ({s}).\n" NT_ADMIN_SCHEDULED
            RF "Src file will be renamed during reboot({s} -> {d}).\n",
         {"\\??\\{s}", "!\\??\\{d}"}, SourceText, "<absent>"},
        {"a destination that does not open counts as absent", Plain, HeldExclusive, true,
         ResultAtRestart,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            MISSING("{d}") RF "Failed to rename the source file ({s}).\n" NT_ADMIN_SCHEDULED
            RF "Src file will be renamed during reboot({s} -> {d}).\n",
         {"\\??\\{s}", "!\\??\\{d}"}, SourceText, DestinationText},
        {"a destination that cannot be deleted fails the rename", Plain, Device, true,
         ResultFailed,
         RF "Rename operation ({s} -> {d}).\n" EXISTS("{s}") RF "Src file exists ({s}).\n"
            EXISTS("{d}") RF "Dest file exists ({d}).\n" RF "Failed to delete the file ({d}).\n"
            RF "Dest file is a directory ({d}).\n",
         {}, SourceText, "*"},
        {"a destination path too long fails with nothing changed", Plain, TooLong, true,
         ResultFailed, RF "Path too long ({d}).\n", {}, SourceText, "*"},
    };

    for (const ReplaceCase &c : cases)
        RunReplaceCase(dir_, c);
}

TEST_F(ReplaceFileTest, DirectoryPrefixIsJoinedWithoutSeparator)
{
    ASSERT_TRUE(WriteFileText(dir_ + "a.exe", SourceText));
    EXPECT_EQ(ResultDone, ReplaceFile(dir_.c_str(), "a.exe", "b.exe"));
    EXPECT_EQ(SourceText, Describe(dir_ + "b.exe"));
    EXPECT_EQ(ResultDone, ReplaceFile(dir_.substr(0, dir_.size() - 1).c_str(), "\\b.exe", NULL));
    EXPECT_EQ("<absent>", Describe(dir_ + "b.exe"));
}

TEST_F(ReplaceFileTest, ReportsFinishTheLineAndCount)
{
    const ReportCase cases[] = {
        {"nothing to delete", Absent, Absent, false, ResultNotFound, "\n", 0, 0},
        {"deleted", Plain, Absent, false, ResultDone, "Deleted\n", 0, 0},
        {"deletion scheduled", HeldRead, Absent, false, ResultAtRestart,
         "Deleted, reboot needed\n", 1, 0},
        {"nothing to rename", Absent, Plain, true, ResultNotFound, "\n", 0, 0},
        {"renamed", Plain, Plain, true, ResultDone, "File renamed\n", 0, 0},
        {"rename scheduled", Plain, HeldRead, true, ResultAtRestart,
         "File renamed, reboot needed\n", 1, 0},
        {"rename failed", Plain, Device, true, ResultFailed, "File rename failed\n", 0, 1},
    };
    for (const ReportCase &c : cases)
        RunReportCase(dir_, c);
}

TEST_F(ReplaceFileTest, RefusedPendingOperationIsReported)
{
    TraceCapture capture;
    // MoveFileExA refuses an empty name even for a restart.
    EXPECT_EQ(0, AddFileToAutomaticRenameList("", NULL));
    EXPECT_EQ(RebootLines({"System is NT.\n", "User is admin.\n",
                           "Operation cannot be executed during reboot.\n"}),
              capture.Text());
    EXPECT_TRUE(PendingFileRenameOperations().empty());
}

}  // namespace
