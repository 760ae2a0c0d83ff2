// One sweep pass on the NT family against real crafted processes, and the
// privilege switch it relies on.
#include "process/sweep.h"
#include "process_fixture.h"
#include "sweep_pass.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

enum FileState { Unlocked, HeldByOther, MovedAway };

struct DeleteCase {
    const char *name;
    FileState state;
    int replaceResult;
    const char *consoleEnd;
    int reboots;
    bool fileStays;
};

void PrintTo(const DeleteCase &c, std::ostream *os)
{
    *os << c.name;
}

class SweepDeletes : public testing::TestWithParam<DeleteCase> {};

TEST_P(SweepDeletes, TerminatesThenDeletesProgramFile)
{
    const DeleteCase &c = GetParam();
    PendingRenamesRestorer restorer;
    std::string dir = FreshTestDir(std::string("sweep-") + c.name);
    std::string path = dir + "infected.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();
    std::unique_ptr<HeldFile> held;
    if (c.state == HeldByOther) {
        held.reset(new HeldFile(path, "read"));
        ASSERT_TRUE(held->Held());
    }
    StartWatching(dir);
    if (c.state == MovedAway)
        watch.moveAway = path;
    ASSERT_EQ(0, DebugPrivilegeEnabled());

    Pass pass = RunPass();

    EXPECT_EQ(1, pass.result);
    EXPECT_EQ(1, pass.found);
    EXPECT_TRUE(program.Ended());
    EXPECT_EQ("Deleting infected process: " + path + " " + c.consoleEnd, pass.console);
    EXPECT_EQ(c.reboots, pass.reboots);
    EXPECT_EQ(0, pass.failures);
    EXPECT_EQ(c.fileStays, PathExists(path));
    if (c.state == MovedAway) {
        EXPECT_TRUE(PathExists(path + ".moved"));
    }
    EXPECT_EQ("", MissingInOrder(pass.trace,
                                 {InfectionLine(path, program.Pid()),
                                  "Process " + path + " terminated with status 1\n",
                                  DeletingLine(path, c.replaceResult),
                                  "There were infected proceses, terminated with status =OK\n"}))
        << pass.trace;
    // PSAPI names the program file in full, and the debug privilege is on
    // for the pass only.
    ASSERT_EQ(1u, watch.calls.size());
    EXPECT_TRUE(SamePath(path, watch.calls[0])) << watch.calls[0];
    EXPECT_TRUE(watch.debugEnabled[0]);
    EXPECT_EQ(0, DebugPrivilegeEnabled());
}

INSTANTIATE_TEST_SUITE_P(Process, SweepDeletes,
                         testing::Values(DeleteCase{"unlocked", Unlocked, 1, "Deleted\n", 0, false},
                                         DeleteCase{"locked", HeldByOther, 2,
                                                    "Deleted, reboot needed\n", 1, true},
                                         DeleteCase{"vanished", MovedAway, 0, "\n", 0, false}),
                         [](const testing::TestParamInfo<DeleteCase> &info) {
                             return std::string(info.param.name);
                         });

// The second copy holds the image while the first one's file is deleted, so
// that deletion is put off; the second copy is then met, ended and its file
// deleted at once.
TEST(Process, TwoProcessesFromOneFile)
{
    PendingRenamesRestorer restorer;
    std::string dir = FreshTestDir("sweep-twice");
    std::string path = dir + "twin.exe";
    ASSERT_TRUE(WriteInfectedProgram(path)) << GetLastError();
    RunningProgram first(path);
    RunningProgram second(path);
    ASSERT_TRUE(first.Started() && second.Started()) << GetLastError();
    StartWatching(dir);

    Pass pass = RunPass();

    EXPECT_EQ(1, pass.result);
    EXPECT_EQ(1, pass.found);
    EXPECT_TRUE(first.Ended());
    EXPECT_TRUE(second.Ended());
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ("Deleting infected process: " + path + " Deleted, reboot needed\n" +
                  "Deleting infected process: " + path + " Deleted\n",
              pass.console);
    EXPECT_EQ(1, pass.reboots);
    EXPECT_EQ(2u, watch.calls.size());
}

struct GuardCase {
    const char *name;
    bool guardedFirst;
};

void PrintTo(const GuardCase &c, std::ostream *os)
{
    *os << c.name;
}

class SweepUnterminable : public testing::TestWithParam<GuardCase> {};

// A process that may be read but not ended: its file is still deleted (put
// off, as the image is in use), and the pass's status is the outcome of the
// last infected process it handled.
TEST_P(SweepUnterminable, StatusFollowsLastProcess)
{
    const GuardCase &c = GetParam();
    PendingRenamesRestorer restorer;
    std::string dir = FreshTestDir(std::string("sweep-") + c.name);
    std::string guardedPath = dir + "guarded.exe", plainPath = dir + "plain.exe";
    ASSERT_TRUE(WriteInfectedProgram(guardedPath) && WriteInfectedProgram(plainPath));
    // Wine lists processes in the order they were started.
    RunningProgram first(c.guardedFirst ? guardedPath : plainPath,
                         c.guardedFirst ? RunningProgram::NoTerminate : RunningProgram::Open);
    RunningProgram second(c.guardedFirst ? plainPath : guardedPath,
                          c.guardedFirst ? RunningProgram::Open : RunningProgram::NoTerminate);
    const RunningProgram &guarded = c.guardedFirst ? first : second;
    const RunningProgram &plain = c.guardedFirst ? second : first;
    ASSERT_TRUE(guarded.Started() && plain.Started()) << GetLastError();
    StartWatching(dir);

    Pass pass = RunPass();

    ASSERT_EQ(2u, watch.calls.size());
    ASSERT_TRUE(SamePath(c.guardedFirst ? guardedPath : plainPath, watch.calls[0]))
        << "processes were not offered in the order they started";
    EXPECT_EQ(c.guardedFirst ? 1 : 0, pass.result);
    EXPECT_EQ(1, pass.found);
    EXPECT_TRUE(guarded.StillRunning());
    EXPECT_TRUE(plain.Ended());
    EXPECT_NE(std::string::npos,
              pass.trace.find("cannot open infected process " + guardedPath + ", Error=5\n"))
        << pass.trace;
    EXPECT_EQ(std::string::npos, pass.trace.find("Process " + guardedPath + " terminated"));
    EXPECT_NE(std::string::npos,
              pass.trace.find("Process " + plainPath + " terminated with status 1\n"));
    std::string last = c.guardedFirst ? "OK" : "NOT OK";
    EXPECT_NE(std::string::npos,
              pass.trace.find("There were infected proceses, terminated with status =" + last +
                              "\n"))
        << pass.trace;
    std::string guardedLine =
        "Deleting infected process: " + guardedPath + " Deleted, reboot needed\n";
    std::string plainLine = "Deleting infected process: " + plainPath + " Deleted\n";
    EXPECT_EQ(c.guardedFirst ? guardedLine + plainLine : plainLine + guardedLine, pass.console);
    EXPECT_EQ(1, pass.reboots);
    EXPECT_TRUE(PathExists(guardedPath));
    EXPECT_FALSE(PathExists(plainPath));
}

INSTANTIATE_TEST_SUITE_P(Process, SweepUnterminable,
                         testing::Values(GuardCase{"guarded_first", true},
                                         GuardCase{"guarded_last", false}),
                         [](const testing::TestParamInfo<GuardCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(Process, CleanProcessesAreLeftAlone)
{
    std::string dir = FreshTestDir("sweep-clean");
    std::string path = dir + "clean.exe";
    ASSERT_TRUE(WriteCleanProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();
    StartWatching(dir);

    Pass pass = RunPass();

    EXPECT_EQ(1, pass.result);
    EXPECT_EQ(0, pass.found);
    EXPECT_EQ("", pass.console);
    EXPECT_TRUE(program.StillRunning());
    EXPECT_TRUE(PathExists(path));
    EXPECT_EQ("", MissingInOrder(pass.trace, {"Scanning: " + path + " \n",
                                              "No infected processes were found\n"}))
        << pass.trace;
    EXPECT_EQ(std::string::npos, pass.trace.find("There were"));
    EXPECT_EQ(0, pass.reboots + pass.failures);
}

struct PrivilegeCase {
    const char *name;
    const char *privilege;
    DWORD tokenAccess;  // 0: no token at all
    int enable;
    int result;
    DWORD lastError;    // when the result is 0
};

void PrintTo(const PrivilegeCase &c, std::ostream *os)
{
    *os << c.name;
}

class SetTokenPrivileges : public testing::TestWithParam<PrivilegeCase> {};

TEST_P(SetTokenPrivileges, JudgesByLastError)
{
    const PrivilegeCase &c = GetParam();
    HANDLE query = NULL;
    ASSERT_TRUE(
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &query));
    int before = PrivilegeState(query, c.privilege);
    HANDLE token = NULL;
    bool ready = c.tokenAccess == 0 || OpenProcessToken(GetCurrentProcess(), c.tokenAccess, &token);
    // Each case starts from the opposite state, so that success shows.
    if (before >= 0)
        ready = ready && SetTokenPrivilege(query, c.privilege, !c.enable) == 1;
    EXPECT_TRUE(ready);

    SetLastError(0xdeadbeef);
    int result = ready ? SetTokenPrivilege(token, c.privilege, c.enable) : -1;
    DWORD error = GetLastError();
    int after = PrivilegeState(query, c.privilege);

    EXPECT_EQ(c.result, result);
    if (c.result == 1) {
        EXPECT_EQ(c.enable, after);
    } else {
        EXPECT_EQ(c.lastError, error);
        EXPECT_EQ(before >= 0 ? !c.enable : before, after);
    }
    if (before >= 0)
        SetTokenPrivilege(query, c.privilege, before);
    if (token != NULL)
        CloseHandle(token);
    CloseHandle(query);
}

const DWORD AdjustAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

INSTANTIATE_TEST_SUITE_P(
    Process, SetTokenPrivileges,
    testing::Values(
        PrivilegeCase{"enable_debug", "SeDebugPrivilege", AdjustAccess, 1, 1, 0},
        PrivilegeCase{"disable_debug", "SeDebugPrivilege", AdjustAccess, 0, 1, 0},
        // On from the start in every token.
        PrivilegeCase{"disable_change_notify", "SeChangeNotifyPrivilege", AdjustAccess, 0, 1, 0},
        // Wine's token does not hold it: the call "succeeds" with
        // ERROR_NOT_ALL_ASSIGNED.
        PrivilegeCase{"not_held", "SeCreateTokenPrivilege", AdjustAccess, 1, 0,
                      ERROR_NOT_ALL_ASSIGNED},
        PrivilegeCase{"unknown_name", "SeNoSuchPrivilege", AdjustAccess, 1, 0,
                      ERROR_NO_SUCH_PRIVILEGE},
        PrivilegeCase{"token_without_adjust", "SeDebugPrivilege", TOKEN_QUERY, 1, 0,
                      ERROR_ACCESS_DENIED},
        PrivilegeCase{"no_token", "SeDebugPrivilege", 0, 1, 0, ERROR_INVALID_HANDLE}),
    [](const testing::TestParamInfo<PrivilegeCase> &info) { return std::string(info.param.name); });

}  // namespace
