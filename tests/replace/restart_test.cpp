// Locked files scheduled for the restart, and a restart of the prefix to
// carry them out. ctest runs the steps in order, in a prefix of their own:
// Schedule (as NT through the pending operations, and as restart98_test.exe,
// the same program with Wine's version win98, through WININIT.INI), then
// restart-prefix.sh, then AfterRestart.
#include "replace_cases.h"

#include "replace/replace_file.h"
#include "run/probes.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const char NtDir[] = "C:\\kwtest\\restart-nt\\";
const char Win98Dir[] = "C:\\kwtest\\restart-98\\";

// Other sections, comments and earlier entries that must come through.
const char Win98Before[] = "; from setup\n[386Enh]\nwoafont=app850.fon\n\n[rename]\n; earlier\n";

std::string Wininit()
{
    return WindowsDir() + "\\WININIT.INI";
}

std::string ShortPath(const std::string &path)
{
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : "<no short path>";
}

struct Files {
    std::string dir;
    std::string deleted;      // held: deleted at the restart
    std::string deletedToo;   // a second one
    std::string repaired;     // renamed onto infected, which is held
    std::string infected;
    std::string moving;       // held: renamed to moved, a free name
    std::string moved;
};

// The replaced program has an 8.3 name: through WININIT.INI it is deleted
// before the move, after which its short name is all that is left of it,
// and the move creates the file under that name.
Files FilesIn(const std::string &dir)
{
    return {dir,
            dir + "deleted at restart.exe",
            dir + "deleted as well.exe",
            dir + "repaired copy.exe",
            dir + "infected.exe",
            dir + "moving program.exe",
            dir + "moved program.exe"};
}

// Schedules everything with the files held open by other processes; the
// holders end with the test, the restart comes after.
void ScheduleLockedWork(const Files &f)
{
    ASSERT_TRUE(WriteFileText(f.deleted, "deleted"));
    ASSERT_TRUE(WriteFileText(f.deletedToo, "deleted too"));
    ASSERT_TRUE(WriteFileText(f.repaired, "repaired"));
    ASSERT_TRUE(WriteFileText(f.infected, "infected"));
    ASSERT_TRUE(WriteFileText(f.moving, "moving"));
    HeldFile holders[] = {{f.deleted, "read"},
                            {f.deletedToo, "read"},
                            {f.infected, "read"},
                            {f.moving, "read"}};
    for (const HeldFile &holder : holders)
        ASSERT_TRUE(holder.Held());

    EXPECT_EQ(ResultAtRestart, ReplaceFile("", f.deleted.c_str(), NULL));
    EXPECT_EQ(ResultAtRestart, ReplaceFile("", f.deletedToo.c_str(), NULL));
    EXPECT_EQ(ResultAtRestart, ReplaceFile("", f.repaired.c_str(), f.infected.c_str()));
    EXPECT_EQ(ResultAtRestart, ReplaceFile("", f.moving.c_str(), f.moved.c_str()));
}

void ExpectWorkDone(const Files &f)
{
    EXPECT_EQ("<absent>", Describe(f.deleted));
    EXPECT_EQ("<absent>", Describe(f.deletedToo));
    EXPECT_EQ("<absent>", Describe(f.repaired));
    EXPECT_EQ("repaired", Describe(f.infected));
    EXPECT_EQ("<absent>", Describe(f.moving));
    EXPECT_EQ("moving", Describe(f.moved));
}

TEST(RestartNt, Schedule)
{
    ASSERT_EQ(1, IsWindowsNT());
    ASSERT_EQ(1, IsUserAdministrator());
    Files f = FilesIn(FreshTestDir("restart-nt"));
    ClearPendingFileRenameOperations();
    ScheduleLockedWork(f);
    auto nt = [](const std::string &path) { return "\\??\\" + path; };
    std::vector<std::string> expected = {
        nt(f.deleted),  "",          nt(f.deletedToo), "",
        nt(f.infected), "",          nt(f.repaired),   "!" + nt(f.infected),
        nt(f.moving),   "!" + nt(f.moved),
    };
    EXPECT_EQ(expected, PendingFileRenameOperations());
}

TEST(RestartNt, AfterRestart)
{
    ASSERT_TRUE(PendingFileRenameOperations().empty()) << "the prefix was not restarted";
    ExpectWorkDone(FilesIn(NtDir));
}

TEST(Restart98, Schedule)
{
    ASSERT_EQ(0, IsWindowsNT()) << "needs the win98 version for this program";
    Files f = FilesIn(FreshTestDir("restart-98"));
    ASSERT_TRUE(WriteFileText(Wininit(), CrLf(Win98Before)));
    ScheduleLockedWork(f);
    // The placeholder holds the free name until the move replaces it.
    EXPECT_EQ("Delete me!", Describe(f.moved));
    std::string expected = std::string(Win98Before) + "nul=" + ShortPath(f.deleted) +
                           "\nnul=" + ShortPath(f.deletedToo) + "\nnul=" + ShortPath(f.infected) +
                           "\n" + ShortPath(f.infected) + "=" + ShortPath(f.repaired) + "\n" +
                           ShortPath(f.moved) + "=" + ShortPath(f.moving);
    EXPECT_EQ(CrLf(expected), ReadFileText(Wininit()));
}

TEST(Restart98, AfterRestart)
{
    ASSERT_EQ(0, IsWindowsNT());
    // Wine keeps the processed file as WININIT.BAK.
    ASSERT_EQ("<absent>", Describe(Wininit())) << "the prefix was not restarted";
    EXPECT_NE("<absent>", Describe(WindowsDir() + "\\WININIT.BAK"));
    ExpectWorkDone(FilesIn(Win98Dir));
}

}  // namespace
