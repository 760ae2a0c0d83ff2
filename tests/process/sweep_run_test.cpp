// Whole runs of the tool with crafted processes: the passes of the sweep,
// the 9x family's enumeration, and a machine without the process-status
// libraries. Each run walks an empty folder, so the sweep is all it does.
#include "process_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const char Rescan[] = "Infected processes found, rescanning processes\n";
const char PassOk[] = "There were infected proceses, terminated with status =OK\n";
const char NoneFound[] = "No infected processes were found\n";
const char NoInfections[] = "No infections found.\n";

bool EndsWith(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Keeps one copy of a program running, restarting it whenever it ends, and
// holds its file open so that it cannot be deleted.
class Watchdog {
public:
    explicit Watchdog(const std::string &program) : process_(NULL)
    {
        char name[64];
        snprintf(name, sizeof name, "kwrndl-watchdog-%lu", GetCurrentProcessId());
        HANDLE started = CreateEventA(NULL, TRUE, FALSE, name);
        HANDLE process = StartProgram("\"" + BinPath("respawner.exe") + "\" \"" + program + "\" " +
                                      name);
        if (process != NULL && started != NULL) {
            HANDLE both[2] = {started, process};
            if (WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0)
                process_ = process;
        }
        if (process != NULL && process_ == NULL) {
            TerminateProcess(process, 0);
            CloseHandle(process);
        }
        if (started != NULL)
            CloseHandle(started);
    }
    ~Watchdog()
    {
        if (process_ == NULL)
            return;
        TerminateProcess(process_, 0);
        WaitForSingleObject(process_, 30000);
        CloseHandle(process_);
    }
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;
    bool Started() const { return process_ != NULL; }

private:
    HANDLE process_;
};

// A sweep that meets an infected process in every pass stops after the third.
TEST(SweepRun, ThreePassesWhileTheInfectionComesBack)
{
    PendingRenamesRestorer restorer;
    std::string dir = FreshTestDir("run-watched");
    std::string empty = FreshTestDir("run-watched-empty");
    std::string path = dir + "watched.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    ToolRun run;
    {
        Watchdog watchdog(path);
        ASSERT_TRUE(watchdog.Started());
        run = RunTool(BinPath("k-wrndl.exe"), empty);
    }
    EndProgramsUnder(dir);

    ASSERT_TRUE(run.ended);
    std::string line = "Deleting infected process: " + path + " Deleted, reboot needed\n";
    // The sweep does not count infections, so the run reports none.
    EXPECT_EQ(Banner() + line + line + line + NoInfections, run.console);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(2u, CountOf(run.traceAdded, Rescan)) << run.traceAdded;
    EXPECT_EQ(3u, CountOf(run.traceAdded, PassOk)) << run.traceAdded;
    EXPECT_EQ(0u, CountOf(run.traceAdded, NoneFound));
    EXPECT_EQ("", MissingInOrder(run.traceAdded, {PassOk, Rescan, PassOk, Rescan, PassOk,
                                                  "Exiting, return value 0\n"}))
        << run.traceAdded;
    EXPECT_TRUE(EndsWith(run.traceAdded, "Exiting, return value 0\n")) << run.traceAdded;
}

// Wine's snapshot of a 9x-mode program names each process by its base name
// only (real 9x gives the full path); the run's current directory is the
// program's folder so that the name still leads to the file.
TEST(SweepRun, NineXFamilyUsesTheSnapshot)
{
    std::string tool = ToolCopy("k-wrndl-w98.exe");
    ASSERT_FALSE(tool.empty()) << GetLastError();
    ASSERT_TRUE(SetProgramWindowsVersion("k-wrndl-w98.exe", "win98"));
    std::string dir = FreshTestDir("run-98");
    std::string empty = FreshTestDir("run-98-empty");
    std::string path = dir + "infected98.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();

    ToolRun run = RunTool(tool, empty, dir.c_str());

    ASSERT_TRUE(run.ended);
    EXPECT_EQ(Banner() + "Deleting infected process: infected98.exe Deleted\n" + NoInfections,
              run.console);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(program.Ended());
    EXPECT_FALSE(PathExists(path));
    char infection[128];
    snprintf(infection, sizeof infection, "Process infected98.exe (PID=0x%x) is infection\n",
             (unsigned int)program.Pid());
    EXPECT_EQ("", MissingInOrder(run.traceAdded,
                                 {infection, "Process infected98.exe terminated with status 1\n",
                                  "Deleting file \"infected98.exe\", result=1\n", PassOk}))
        << run.traceAdded;
    // PSAPI would have named the file in full.
    EXPECT_EQ(0u, CountOf(run.traceAdded, path)) << run.traceAdded;
}

struct LibraryCase {
    const char *name;
    const char *library;  // NULL: nothing missing
};

void PrintTo(const LibraryCase &c, std::ostream *os)
{
    *os << c.name;
}

class SweepRunWithout : public testing::TestWithParam<LibraryCase> {};

// Without PSAPI.DLL or VDMDBG.DLL the NT method lists nothing: the run goes
// on as on an empty machine.
TEST_P(SweepRunWithout, MissingLibraryMeansEmptyMachine)
{
    const LibraryCase &c = GetParam();
    std::string exeName = std::string("k-wrndl-") + c.name + ".exe";
    std::string tool = ToolCopy(exeName);
    ASSERT_FALSE(tool.empty()) << GetLastError();
    if (c.library != NULL) {
        ASSERT_TRUE(DisableLibraryFor(exeName, c.library));
    }
    std::string dir = FreshTestDir(std::string("run-") + c.name);
    std::string empty = FreshTestDir(std::string("run-") + c.name + "-empty");
    std::string path = dir + "infected.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();

    ToolRun run = RunTool(tool, empty);

    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    if (c.library != NULL) {
        EXPECT_EQ(Banner() + NoInfections, run.console);
        EXPECT_TRUE(program.StillRunning());
        EXPECT_TRUE(PathExists(path));
        // Not one process reached the matcher.
        EXPECT_EQ(0u, CountOf(run.traceAdded, "Scanning: ")) << run.traceAdded;
        EXPECT_EQ(1u, CountOf(run.traceAdded, NoneFound)) << run.traceAdded;
    } else {
        EXPECT_EQ(Banner() + "Deleting infected process: " + path + " Deleted\n" + NoInfections,
                  run.console);
        EXPECT_TRUE(program.Ended());
        EXPECT_FALSE(PathExists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(Process, SweepRunWithout,
                         testing::Values(LibraryCase{"all", NULL},
                                         LibraryCase{"novdmdbg", "vdmdbg"},
                                         LibraryCase{"nopsapi", "psapi"}),
                         [](const testing::TestParamInfo<LibraryCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
