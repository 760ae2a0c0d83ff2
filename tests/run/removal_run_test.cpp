// Whole runs of the tool on crafted trees: console output, exit code and
// the trace it appends to k-wrndl.log.
#include "fixtures.h"
#include "test_support.h"
#include "tool_run.h"

#include <gtest/gtest.h>

namespace {

const char RightsMessage[] =
    "Please log on to this workstation with administrator rights and\nrun the tool again.";
const char Removed[] = "Infections were found and removed.\n";
const char Error[] = "Infections were found.  An error occurred in the disinfection process.\n";
const char Restart[] = "Restarting the computer is needed to complete the disinfection process.\n"
                       "Please restart the computer now.\n";

std::string Tool()
{
    return BinPath("k-wrndl.exe");
}

// A copy of a build under another name that Wine runs as Windows 98.
std::string As98(const char *build, const char *name)
{
    std::string dir = "C:\\kwtest\\bin\\";
    MakeDirs("C:\\kwtest\\bin");
    std::string copy = dir + name;
    EXPECT_TRUE(CopyProgram(BinPath(build), copy)) << GetLastError();
    EXPECT_TRUE(SetProgramWindowsVersion(name, "win98"));
    return copy;
}

std::vector<uint8_t> Clean(uint32_t size)
{
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i)
        data[i] = (uint8_t)(i * 13 + 5);
    return data;
}

bool EndsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void ExpectTraceFrame(const ToolRun &run, int code)
{
    EXPECT_EQ(0u, run.traceAdded.find("K-Wrndl v2.00.5230\r\n")) << run.traceAdded;
    char exiting[64];
    snprintf(exiting, sizeof exiting, "Exiting, return value %d\r\n", code);
    EXPECT_TRUE(EndsWith(run.traceAdded, exiting)) << run.traceAdded;
}

TEST(RemovalRun, CleanTreeFindsNothing)
{
    std::string dir = FreshTestDir("clean");
    ASSERT_TRUE(WriteFileBytes(dir + "tool.exe", Clean(9000)));
    ASSERT_TRUE(WriteFileBytes(dir + "empty.dll", {}));
    ASSERT_TRUE(MakeDirs(dir + "sub"));
    ASSERT_TRUE(WriteFileBytes(dir + "sub\\lib.dll", Clean(80000)));

    ToolRun run = RunTool(Tool(), dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + dir + "sub\n" + "No infections found.\n"), run.console);
    EXPECT_EQ(0u, run.exitCode);
    ExpectTraceFrame(run, 0);
    EXPECT_NE(std::string::npos, run.traceAdded.find("No infected processes were found\r\n"));
    EXPECT_NE(std::string::npos, run.traceAdded.find("\r\n" + dir + "sub\r\n"));
    EXPECT_EQ(std::string::npos, run.traceAdded.find("Infected"));
    // The outcome of a clean run is not traced.
    EXPECT_EQ(std::string::npos, run.traceAdded.find("No infections found"));
}

TEST(RemovalRun, TraceIsAppendedAcrossRuns)
{
    std::string dir = FreshTestDir("append");
    ToolRun first = RunTool(Tool(), dir);
    ToolRun second = RunTool(Tool(), dir);
    ASSERT_TRUE(first.ended && second.ended);
    EXPECT_EQ(first.traceBefore + first.traceAdded, second.traceBefore);
    ExpectTraceFrame(second, 0);
    EXPECT_EQ(std::string::npos, second.traceAdded.find("\n\n"));
    EXPECT_EQ(std::string::npos, second.traceAdded.find("\r\r"));
}

struct Sample {
    const char *name;
    int row;        // -1: clean bytes
    uint32_t size;
    bool reported;  // an "Infected: " line in report-only mode
};

// Every row, and the near misses beside them.
const Sample ReportSamples[] = {
    {"row0.exe", 0, 8000, true},
    {"row1.DLL", 1, 7000, true},
    {"row2.ex", 2, 9300, true},
    {"row3.dl", 3, 72192, true},
    {"host4.exe", 4, 72193, true},
    {"sub\\deeper\\row0.e1", 0, 5632, true},
    {"row0.txt", 0, 8000, false},       // not a candidate extension
    {"row0.ex_", 0, 8000, false},
    {"row3big.exe", 3, 72193, false},   // row 3 holds only at exactly 72192 bytes
    {"row3small.exe", 3, 72191, false},
    {"host4min.exe", 4, 72192, true},
    {"host4short.exe", 4, 72191, false},  // one byte short of the minimum size
    {"row0short.exe", 0, 5631, false},  // region cannot be read whole
    {"clean.exe", -1, 80000, false},
};

std::vector<uint8_t> Make(const Sample &s)
{
    if (s.row < 0)
        return Clean(s.size);
    if (s.row == 0 && s.size < 5632) {
        // The region of a 5632-byte sample, cut by one byte.
        std::vector<uint8_t> data = MakeSignatureSample(0, 5632);
        data.resize(s.size);
        return data;
    }
    if (s.row == 3 && s.size != 72192) {
        std::vector<uint8_t> data = MakeSignatureSample(3, 72192);
        data.resize(s.size, 0x55);
        return data;
    }
    if (s.row == 4 && s.size < 72192) {
        std::vector<uint8_t> data = Clean(s.size);
        ForceSignatureRow(data, 4);  // the region is right, the size is not
        return data;
    }
    return MakeSignatureSample(s.row, s.size);
}

TEST(RemovalRun, ReportOnlyListsEveryRowAndTouchesNothing)
{
    std::string dir = FreshTestDir("report");
    ASSERT_TRUE(MakeDirs(dir + "sub\\deeper"));
    std::vector<std::string> expected = {dir + "sub", dir + "sub\\deeper"};
    for (const Sample &s : ReportSamples) {
        ASSERT_TRUE(WriteFileBytes(dir + s.name, Make(s))) << s.name;
        if (s.reported)
            expected.push_back("Infected: " + dir + s.name);
    }

    ToolRun run = RunTool(Tool(), dir + " -nodelete");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(SortedLines(expected), MiddleLines(run.console)) << run.console;
    EXPECT_TRUE(EndsWith(run.console, CrLf(Removed))) << run.console;
    EXPECT_EQ(1u, run.exitCode);
    ExpectTraceFrame(run, 1);
    EXPECT_NE(std::string::npos, run.traceAdded.find(CrLf(Removed)));
    EXPECT_NE(std::string::npos,
              run.traceAdded.find("Infected (signature ID 4, disinfectable=1): " + dir +
                                  "host4.exe\r\n"));
    EXPECT_NE(std::string::npos,
              run.traceAdded.find("Infected (signature ID 3, disinfectable=0): " + dir +
                                  "row3.dl\r\n"));
    for (const Sample &s : ReportSamples)
        EXPECT_EQ(Make(s), ReadFileBytes(dir + s.name)) << s.name;
}

struct OptionCase {
    const char *option;
    bool reportOnly;
};

TEST(RemovalRun, OnlyTheWholeSecondArgumentSelectsReportOnly)
{
    const OptionCase cases[] = {
        {"/nodelete", true}, {"/NODELETE", true}, {"-NoDelete", true},
        {"nodelete", false}, {"-nodeletex", false}, {"--nodelete", false},
    };
    int n = 0;
    for (const OptionCase &c : cases) {
        std::string dir = FreshTestDir("option" + std::to_string(n++));
        std::string file = dir + "row0.exe";
        ASSERT_TRUE(WriteFileBytes(file, MakeSignatureSample(0, 6000)));
        ToolRun run = RunTool(Tool(), dir + " " + c.option + " ignored");
        ASSERT_TRUE(run.ended);
        std::string line = c.reportOnly ? "Infected: " + file + "\n"
                                        : "Infected: " + file + "  Deleted\n";
        EXPECT_EQ(CrLf(Banner() + line + Removed), run.console) << c.option;
        EXPECT_EQ(1u, run.exitCode) << c.option;
        EXPECT_EQ(c.reportOnly, PathExists(file)) << c.option;
    }
}

TEST(RemovalRun, LoneOptionIsTheDirectoryToSearch)
{
    // "-nodelete" alone is a relative prefix: the walk lists -nodelete*.* of
    // the current directory and glues each name behind the prefix.
    std::string dir = FreshTestDir("lone");
    ASSERT_TRUE(WriteFileBytes(dir + "-nodelete.exe", MakeSignatureSample(0, 6000)));
    ToolRun run = RunTool(Tool(), "-nodelete", dir.c_str());
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Error scanning file -nodelete-nodelete.exe\n" +
                   "No infections found.\n"),
              run.console);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(PathExists(dir + "-nodelete.exe"));
}

TEST(RemovalRun, PrefixWithoutBackslashGluesNames)
{
    std::string dir = FreshTestDir("glue");
    ASSERT_TRUE(WriteFileBytes(dir + "glue1.exe", MakeSignatureSample(0, 6000)));
    ToolRun run = RunTool(Tool(), dir + "glue");
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Error scanning file " + dir + "glueglue1.exe\n" +
                   "No infections found.\n"),
              run.console);
    EXPECT_EQ(0u, run.exitCode);
}

TEST(RemovalRun, RemovalDeletesMalwareFiles)
{
    std::string dir = FreshTestDir("remove");
    ASSERT_TRUE(WriteFileBytes(dir + "a.exe", MakeSignatureSample(1, 7000)));
    ASSERT_TRUE(WriteFileBytes(dir + "keep.exe", Clean(7000)));
    ToolRun run = RunTool(Tool(), dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Infected: " + dir + "a.exe  Deleted\n" + Removed), run.console);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_FALSE(PathExists(dir + "a.exe"));
    EXPECT_TRUE(PathExists(dir + "keep.exe"));
    ExpectTraceFrame(run, 1);
    EXPECT_NE(std::string::npos,
              run.traceAdded.find("Deleting file \"" + dir + "a.exe\", result=1\r\n"));
}

TEST(RemovalRun, LockedMalwareNeedsRestart)
{
    std::string dir = FreshTestDir("locked");
    std::string file = dir + "busy.exe";
    ASSERT_TRUE(WriteFileBytes(file, MakeSignatureSample(2, 9216)));
    HeldFile held(file, "read");
    ASSERT_TRUE(held.Held());
    ToolRun run = RunTool(Tool(), dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Infected: " + file + "  Deleted, reboot needed\n" + Removed +
                   Restart),
              run.console);
    EXPECT_EQ(2u, run.exitCode);
    ExpectTraceFrame(run, 2);
    EXPECT_NE(std::string::npos,
              run.traceAdded.find("Restarting the computer is needed to complete the "
                                  "disinfection process.\r\nExiting"));
}

TEST(RemovalRun, UnscheduledDeletionIsAnError)
{
    // On Windows 98 a locked file is scheduled through WININIT.INI; a
    // directory of that name cannot be written, so nothing is scheduled.
    std::string tool = As98("k-wrndl.exe", "kw98fail.exe");
    std::string ini = WindowsDir() + "\\WININIT.INI";
    RemoveTree(ini);
    ASSERT_TRUE(MakeDirs(ini));
    std::string dir = FreshTestDir("unscheduled");
    std::string file = dir + "busy.exe";
    ASSERT_TRUE(WriteFileBytes(file, MakeSignatureSample(0, 6000)));
    HeldFile held(file, "read");
    ASSERT_TRUE(held.Held());
    ToolRun run = RunTool(tool, dir);
    held.Release();
    RemoveTree(ini);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Infected: " + file + "  Delete failed\n" + Error), run.console);
    EXPECT_EQ(3u, run.exitCode);
    ExpectTraceFrame(run, 3);
    EXPECT_NE(std::string::npos, run.traceAdded.find(CrLf(Error)));
}

TEST(RemovalRun, FailureAndRestartTogetherGiveCodeThreeAndBothMessages)
{
    std::string dir = FreshTestDir("mixed");
    std::string busy = dir + "busy.exe", refused = dir + "unschedulable.exe";
    ASSERT_TRUE(WriteFileBytes(busy, MakeSignatureSample(0, 6000)));
    ASSERT_TRUE(WriteFileBytes(refused, MakeSignatureSample(1, 7000)));
    HeldFile heldBusy(busy, "read"), heldRefused(refused, "read");
    ASSERT_TRUE(heldBusy.Held() && heldRefused.Held());
    ToolRun run = RunTool(BinPath("k-wrndl-unschedulable.exe"), dir);
    ASSERT_TRUE(run.ended);
    std::vector<std::string> expected = {"Infected: " + busy + "  Deleted, reboot needed",
                                         "Infected: " + refused + "  Delete failed"};
    EXPECT_EQ(SortedLines(expected), MiddleLines(run.console)) << run.console;
    EXPECT_TRUE(EndsWith(run.console, CrLf(std::string(Error) + Restart))) << run.console;
    EXPECT_EQ(3u, run.exitCode);
    ExpectTraceFrame(run, 3);
    EXPECT_NE(std::string::npos,
              run.traceAdded.find(CrLf(std::string(Error) +
                                       "Restarting the computer is needed to complete the "
                                       "disinfection process.\nExiting")));
}

TEST(RemovalRun, NonAdministratorOnNtIsStoppedAtOnce)
{
    std::string dir = FreshTestDir("rights");
    std::string file = dir + "row0.exe";
    ASSERT_TRUE(WriteFileBytes(file, MakeSignatureSample(0, 6000)));
    ToolRun run = RunTool(BinPath("k-wrndl-notadmin.exe"), dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + RightsMessage), run.console);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ("K-Wrndl v2.00.5230\r\n", run.traceAdded);
    EXPECT_TRUE(PathExists(file));
}

TEST(RemovalRun, NineXFamilyHasNoRightsCheck)
{
    std::string tool = As98("k-wrndl-notadmin.exe", "kw98user.exe");
    std::string dir = FreshTestDir("rights98");
    std::string file = dir + "row0.exe";
    ASSERT_TRUE(WriteFileBytes(file, MakeSignatureSample(0, 6000)));
    ToolRun run = RunTool(tool, dir);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(CrLf(Banner() + "Infected: " + file + "  Deleted\n" + Removed), run.console);
    EXPECT_EQ(1u, run.exitCode);
    ExpectTraceFrame(run, 1);
}

}  // namespace
