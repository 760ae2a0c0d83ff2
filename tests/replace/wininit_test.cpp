// Scheduling on the Windows 95/98/Me family: this program runs with Wine's
// version set to win98 for its name, and writes the real
// C:\windows\WININIT.INI of its prefix.
#include "replace_cases.h"

#include "replace/reboot_rename.h"
#include "run/probes.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

std::string ShortPath(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "<no short path>";
}

class WininitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0, IsWindowsNT()) << "needs the win98 version for this program";
        wininit_ = WindowsDir() + "\\WININIT.INI";
        RemoveTree(wininit_);
        dir_ = FreshTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        RemoveTree(wininit_);
        RemoveTree(dir_.substr(0, dir_.size() - 1));
    }

    std::string File(const char *name, const char *text)
    {
        std::string path = dir_ + name;
        EXPECT_TRUE(WriteFileText(path, text)) << path;
        return path;
    }

    std::string wininit_;
    std::string dir_;
};

TEST_F(WininitTest, DeletionsAppendNulEntriesInCallOrder)
{
    std::string first = File("first victim.exe", "1");
    std::string second = File("second victim.exe", "2");
    {
        TraceCapture capture;
        EXPECT_EQ(1, AddFileToAutomaticRenameList(first.c_str(), NULL));
        EXPECT_EQ(RebootLines({"System is not NT.\n", "Operation will be executed during reboot.\n"}),
                  capture.Text());
    }
    // A missing file is created holding only the section and its entry.
    EXPECT_EQ(CrLf("[rename]\nnul=" + ShortPath(first)), ReadFileText(wininit_));

    EXPECT_EQ(1, AddFileToAutomaticRenameList(second.c_str(), NULL));
    EXPECT_EQ(CrLf("[rename]\nnul=" + ShortPath(first) + "\nnul=" + ShortPath(second)),
              ReadFileText(wininit_));
    EXPECT_EQ("1", ReadFileText(first));
}

TEST_F(WininitTest, ExistingSectionsAndCommentsStay)
{
    const std::string before = CrLf("; written by setup\n[386Enh]\nwoafont=app850.fon\n\n"
                                    "[Rename]\n; earlier\nNUL=C:\\OLD.EXE\n");
    ASSERT_TRUE(WriteFileText(wininit_, before));
    std::string victim = File("victim.exe", "v");
    EXPECT_EQ(1, AddFileToAutomaticRenameList(victim.c_str(), NULL));
    EXPECT_EQ(before + "nul=" + ShortPath(victim), ReadFileText(wininit_));
}

TEST_F(WininitTest, MoveToAFreeNameLeavesAPlaceholder)
{
    std::string src = File("repaired copy.exe", "repaired");
    std::string dest = dir_ + "program name.exe";
    {
        TraceCapture capture;
        EXPECT_EQ(1, AddFileToAutomaticRenameList(src.c_str(), dest.c_str()));
        EXPECT_EQ(RebootLines({"System is not NT.\n"}) +
                      Expand(MISSING("{d}"), src, dest) +
                      RebootLines({"Operation will be executed during reboot.\n"}),
                  capture.Text());
    }
    // The short name exists only for an existing file; the move replaces it.
    EXPECT_EQ("Delete me!", ReadFileText(dest));
    EXPECT_EQ(CrLf("[rename]\n" + ShortPath(dest) + "=" + ShortPath(src)),
              ReadFileText(wininit_));
}

TEST_F(WininitTest, MoveOntoAnExistingFileKeepsIt)
{
    std::string src = File("repaired copy.exe", "repaired");
    std::string dest = File("program name.exe", "infected");
    {
        TraceCapture capture;
        EXPECT_EQ(1, AddFileToAutomaticRenameList(src.c_str(), dest.c_str()));
        EXPECT_EQ(RebootLines({"System is not NT.\n"}) + Expand(EXISTS("{d}"), src, dest) +
                      RebootLines({"Operation will be executed during reboot.\n"}),
                  capture.Text());
    }
    EXPECT_EQ("infected", ReadFileText(dest));
    EXPECT_EQ(CrLf("[rename]\n" + ShortPath(dest) + "=" + ShortPath(src)),
              ReadFileText(wininit_));
}

TEST_F(WininitTest, FailuresScheduleNothing)
{
    std::string present = File("present.exe", "p");
    std::string missing = dir_ + "missing.exe";
    std::string noDir = dir_ + "no such dir\\dest.exe";
    struct Case {
        const char *what;
        std::string existing;
        const char *newPath;
        bool wininitIsDirectory;
        std::string trace;
    } cases[] = {
        {"the existing file has no short name", missing, NULL, false,
         RebootLines({"System is not NT.\n", "GetShortPathName() call failed.\n"})},
        {"no placeholder can be made for the new name", present, noDir.c_str(), false,
         RebootLines({"System is not NT.\n"}) + Expand(MISSING("{d}"), present, noDir) +
             RebootLines({"GetShortPathName() call failed.\n"})},
        {"WININIT.INI cannot be written", present, NULL, true,
         RebootLines({"System is not NT.\n", "Operation cannot be executed during reboot.\n"})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(wininit_);
        if (c.wininitIsDirectory) {
            ASSERT_TRUE(MakeDirs(wininit_));
        }
        TraceCapture capture;
        EXPECT_EQ(0, AddFileToAutomaticRenameList(c.existing.c_str(), c.newPath));
        EXPECT_EQ(c.trace, capture.Text());
        EXPECT_EQ(c.wininitIsDirectory ? "<dir>" : "<absent>", Describe(wininit_));
    }
    RemoveTree(wininit_);
}

}  // namespace
