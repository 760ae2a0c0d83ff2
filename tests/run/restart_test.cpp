// A removal run whose work waits for the restart, then the restart itself
// (a new wineserver, run by ctest between the two stages), then what the
// restart left on disk.
#include "infected_host.h"
#include "fixtures.h"
#include "test_support.h"
#include "tool_run.h"

#include <gtest/gtest.h>

namespace {

const std::string Dir = "C:\\kwtest\\restart\\";

bool HeldByAnotherNow(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

// The holders start in the background; give a loaded machine time.
bool HeldByAnother(const std::string &path)
{
    for (int i = 0; i < 300; ++i) {
        if (HeldByAnotherNow(path))
            return true;
        Sleep(100);
    }
    return false;
}

TEST(RestartStage0, Samples)
{
    std::string dir = FreshTestDir("restart");
    ASSERT_EQ(Dir, dir);
    std::vector<uint8_t> infected = MakeInfectedHost(CleanHostProgram());
    ASSERT_FALSE(infected.empty());
    ASSERT_TRUE(WriteFileBytes(dir + "busy.exe", MakeSignatureSample(0, 6000)));
    ASSERT_TRUE(WriteFileBytes(dir + "host.exe", infected));
    ASSERT_TRUE(WriteFileBytes(dir + "free.dll", MakeSignatureSample(1, 7000)));
}

// busy.exe and host.exe are held open by other programs (hold-files.sh)
// until the restart ends every process of the prefix.
TEST(RestartStage1, LockedFilesAreScheduled)
{
    const std::string dir = Dir;
    ASSERT_TRUE(HeldByAnother(dir + "busy.exe"));
    ASSERT_TRUE(HeldByAnother(dir + "host.exe"));
    std::vector<uint8_t> clean = CleanHostProgram();
    std::vector<uint8_t> infected = MakeInfectedHost(clean);

    ToolRun run = RunTool(BinPath("k-wrndl.exe"), dir);
    ASSERT_TRUE(run.ended);
    std::vector<std::string> expected = {
        "Infected: " + dir + "busy.exe  Deleted, reboot needed",
        "Infected: " + dir + "host.exe  Disinfected, reboot needed",
        "Infected: " + dir + "free.dll  Deleted",
    };
    EXPECT_EQ(SortedLines(expected), MiddleLines(run.console)) << run.console;
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_NE(std::string::npos,
              run.traceAdded.find("Replacing file \"" + dir + "host.exe.dis\"->\"" + dir +
                                  "host.exe\", result=2\r\n"));
    // Until the restart the infected file stays and the repaired copy waits.
    EXPECT_EQ(infected, ReadFileBytes(dir + "host.exe"));
    EXPECT_EQ(clean, ReadFileBytes(dir + "host.exe.dis"));
    EXPECT_TRUE(PathExists(dir + "busy.exe"));
    EXPECT_FALSE(PathExists(dir + "free.dll"));
}

TEST(RestartStage2, TheRestartCarriedItOut)
{
    EXPECT_FALSE(PathExists(Dir + "busy.exe"));
    EXPECT_FALSE(PathExists(Dir + "host.exe.dis"));
    EXPECT_EQ(CleanHostProgram(), ReadFileBytes(Dir + "host.exe"));

    // And a new run finds nothing left.
    ToolRun run = RunTool(BinPath("k-wrndl.exe"), Dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "No infections found.\n"), run.console);
    EXPECT_EQ(0u, run.exitCode);
}

}  // namespace
