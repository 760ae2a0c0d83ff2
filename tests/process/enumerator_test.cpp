// Process enumeration on both families' methods, against real processes.
#include "process/process_enumerator.h"
#include "process_fixture.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Offered {
    std::string path;
    int reserved;
    DWORD pid;
    bool psapiLoaded;
    bool vdmdbgLoaded;
};

struct Listing {
    std::vector<Offered> offered;
    int answer;  // what the callback returns
};

int Record(const char *path, int reserved, DWORD pid, void *userData)
{
    Listing *listing = static_cast<Listing *>(userData);
    Offered entry = {path, reserved, pid, GetModuleHandleA("PSAPI.DLL") != NULL,
                     GetModuleHandleA("VDMDBG.DLL") != NULL};
    listing->offered.push_back(entry);
    return listing->answer;
}

std::vector<const Offered *> EntriesOf(const Listing &listing, DWORD pid)
{
    std::vector<const Offered *> entries;
    for (const Offered &entry : listing.offered) {
        if (entry.pid == pid)
            entries.push_back(&entry);
    }
    return entries;
}

struct MethodCase {
    const char *name;
    int isNT;
    bool fullPath;  // PSAPI names the file in full; Toolhelp under Wine by base name only
    int answer;
};

void PrintTo(const MethodCase &c, std::ostream *os)
{
    *os << c.name;
}

class EnumerateMethods : public testing::TestWithParam<MethodCase> {};

TEST_P(EnumerateMethods, OffersEveryRunningProgramOnce)
{
    const MethodCase &c = GetParam();
    std::string dir = FreshTestDir(std::string("enum-") + c.name);
    std::string path = dir + "Listed.exe";
    ASSERT_TRUE(WriteCleanProgram(path)) << GetLastError();
    RunningProgram program(path);
    ASSERT_TRUE(program.Started()) << GetLastError();

    Listing listing = {{}, c.answer};
    EXPECT_EQ(1, EnumerateProcesses(c.isNT, Record, &listing));

    std::vector<const Offered *> stub = EntriesOf(listing, program.Pid());
    ASSERT_EQ(1u, stub.size()) << "the stub is offered exactly once";
    if (c.fullPath)
        EXPECT_TRUE(SamePath(path, stub[0]->path)) << stub[0]->path;
    else
        EXPECT_TRUE(SamePath("Listed.exe", stub[0]->path)) << stub[0]->path;
    EXPECT_EQ(1u, EntriesOf(listing, GetCurrentProcessId()).size());
    for (const Offered &entry : listing.offered)
        EXPECT_EQ(0, entry.reserved) << entry.path;
}

INSTANTIATE_TEST_SUITE_P(Process, EnumerateMethods,
                         testing::Values(MethodCase{"psapi", 1, true, 0},
                                         MethodCase{"psapi-stop", 1, true, 1},
                                         MethodCase{"toolhelp", 0, false, 0},
                                         MethodCase{"toolhelp-stop", 0, false, 1}),
                         [](const testing::TestParamInfo<MethodCase> &info) {
                             std::string name = info.param.name;
                             for (char &ch : name) {
                                 if (ch == '-')
                                     ch = '_';
                             }
                             return name;
                         });

// The process-status libraries are loaded for one enumeration and freed at
// its end; the test program itself never loads them.
TEST(Process, PsapiLibrariesLiveForOneEnumeration)
{
    ASSERT_TRUE(GetModuleHandleA("PSAPI.DLL") == NULL);
    ASSERT_TRUE(GetModuleHandleA("VDMDBG.DLL") == NULL);
    Listing listing = {{}, 0};
    EXPECT_EQ(1, EnumerateProcesses(1, Record, &listing));
    ASSERT_FALSE(listing.offered.empty());
    EXPECT_TRUE(listing.offered[0].psapiLoaded);
    EXPECT_TRUE(listing.offered[0].vdmdbgLoaded);
    EXPECT_TRUE(GetModuleHandleA("PSAPI.DLL") == NULL);
    EXPECT_TRUE(GetModuleHandleA("VDMDBG.DLL") == NULL);
}

// After the libraries are freed the object must not call into them again.
TEST(Process, PsapiEnumeratorRunsOnce)
{
    PsapiProcessEnumerator enumerator;
    ASSERT_EQ(1, enumerator.usable);
    Listing first = {{}, 0};
    EXPECT_EQ(1, enumerator.Enumerate(Record, &first));
    EXPECT_FALSE(first.offered.empty());
    Listing second = {{}, 0};
    EXPECT_EQ(0, enumerator.Enumerate(Record, &second));
    EXPECT_TRUE(second.offered.empty());
}

// A process that the status functions may not read is left out silently;
// the snapshot still lists it.
TEST(Process, PsapiSkipsProcessItCannotOpen)
{
    std::string dir = FreshTestDir("enum-closed");
    std::string path = dir + "closed.exe";
    ASSERT_TRUE(WriteCleanProgram(path)) << GetLastError();
    RunningProgram program(path, RunningProgram::NoAccess);
    ASSERT_TRUE(program.Started()) << GetLastError();
    SetLastError(0xdeadbeef);
    HANDLE probe = OpenProcess(0x410, FALSE, program.Pid());
    ASSERT_TRUE(probe == NULL) << "Wine let the process be opened; the case cannot be made";
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());

    Listing psapi = {{}, 0};
    EXPECT_EQ(1, EnumerateProcesses(1, Record, &psapi));
    EXPECT_TRUE(EntriesOf(psapi, program.Pid()).empty());
    EXPECT_EQ(1u, EntriesOf(psapi, GetCurrentProcessId()).size());

    Listing toolhelp = {{}, 0};
    EXPECT_EQ(1, EnumerateProcesses(0, Record, &toolhelp));
    std::vector<const Offered *> seen = EntriesOf(toolhelp, program.Pid());
    ASSERT_EQ(1u, seen.size());
    EXPECT_TRUE(SamePath("closed.exe", seen[0]->path)) << seen[0]->path;
}

}  // namespace
