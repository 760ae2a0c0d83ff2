#include "repair/disinfect_copy.h"

#include "infected_host.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const uint32_t Cut = 72192;
const uint32_t Chunk = 16384;

// Where the round trip leaves its files for the independent PE check that
// runs after this program (T: is the build tree).
const char RoundTripDir[] = "T:\\repair-roundtrip";

std::vector<uint8_t> Pattern(uint32_t size, uint32_t seed)
{
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i)
        data[i] = (uint8_t)(seed + i * 31 + (i >> 9));
    return data;
}

// Nobody holds the file open any more: the routine released its handles.
bool OpensExclusively(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

struct RoundTripCase {
    const char *what;
    int remainder;  // host length modulo 16384 to reach; -1 for no overlay
};

// The clean program (with overlay data to steer the host's length) repaired
// back from its infected host, byte for byte, without touching the host.
TEST(DisinfectCopy, GivesBackTheCleanProgram)
{
    const RoundTripCase cases[] = {
        {"no overlay", -1},
        {"host of 16384 * k bytes", 0},
        {"host of 16384 * k + 1 bytes", 1},
        {"host of 16384 * k + 16383 bytes", 16383},
    };
    std::string dir = FreshTestDir("disinfect-roundtrip");
    for (const RoundTripCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> clean = CleanHostProgram();
        if (c.remainder >= 0) {
            uint32_t plain = (uint32_t)clean.size() + Cut;
            uint32_t overlay = (c.remainder - plain % Chunk + Chunk) % Chunk + Chunk;
            std::vector<uint8_t> extra = Pattern(overlay, (uint32_t)c.remainder);
            clean.insert(clean.end(), extra.begin(), extra.end());
        }
        std::vector<uint8_t> host = MakeInfectedHost(clean);
        ASSERT_EQ(clean.size() + Cut, host.size());
        if (c.remainder >= 0) {
            ASSERT_EQ((uint32_t)c.remainder, host.size() % Chunk);
        }

        std::string path = dir + "host" + std::to_string(c.remainder + 1) + ".exe";
        std::string repair = path + ".dis";
        ASSERT_TRUE(WriteFileBytes(path, host));
        int unrepairable = -1;
        TraceCapture capture;
        EXPECT_EQ(1, DisinfectCopy(path.c_str(), repair.c_str(), &unrepairable));
        EXPECT_EQ(0, unrepairable);
        EXPECT_EQ(std::string::npos, capture.Text().find("Disinfection error")) << capture.Text();
        EXPECT_TRUE(ReadFileBytes(repair) == clean) << "repair file differs from the program";
        EXPECT_TRUE(ReadFileBytes(path) == host) << "the infected file was written";
        EXPECT_TRUE(OpensExclusively(path));
        EXPECT_TRUE(OpensExclusively(repair));

        if (c.remainder < 0) {
            RemoveTree(RoundTripDir);
            ASSERT_TRUE(MakeDirs(RoundTripDir));
            std::string kept = std::string(RoundTripDir) + "\\infected.exe";
            ASSERT_TRUE(CopyFileA(path.c_str(), kept.c_str(), FALSE)) << GetLastError();
            ASSERT_TRUE(CopyFileA(repair.c_str(), (kept + ".dis").c_str(), FALSE))
                << GetLastError();
        }
    }
}

struct ShortSourceCase {
    uint32_t size;
    int unrepairable;
    const char *trace;
};

// Copied whole in chunks, then refused by the repair as too short.
TEST(DisinfectCopy, CopiesShortSourcesWholeAndCallsThemUnrepairable)
{
    const ShortSourceCase cases[] = {
        {1, 1, "Disinfection error: disinfection routine failed\n"},
        {Chunk - 1, 1, "Disinfection error: disinfection routine failed\n"},
        {Chunk, 1, "Disinfection error: disinfection routine failed\n"},
        {Chunk + 1, 1, "Disinfection error: disinfection routine failed\n"},
        {4 * Chunk + 1, 1, "Disinfection error: disinfection routine failed\n"},
        {Cut, 1, "Disinfection error: disinfection routine failed\n"},
        // An empty file cannot be mapped at all; it never matches a
        // disinfectable signature, so the caller never brings one here.
        {0, 0, "Disinfection error: CreateFileMapping error (1006)\n"},
    };
    std::string dir = FreshTestDir("disinfect-short");
    for (const ShortSourceCase &c : cases) {
        SCOPED_TRACE(c.size);
        std::string path = dir + "short" + std::to_string(c.size) + ".exe";
        std::string repair = path + ".dis";
        std::vector<uint8_t> data = Pattern(c.size, c.size);
        ASSERT_TRUE(WriteFileBytes(path, data));
        int unrepairable = -1;
        TraceCapture capture;
        EXPECT_EQ(0, DisinfectCopy(path.c_str(), repair.c_str(), &unrepairable));
        EXPECT_EQ(c.unrepairable, unrepairable);
        EXPECT_EQ(c.trace, capture.Text());
        EXPECT_TRUE(ReadFileBytes(repair) == data) << "repair file is not a whole copy";
        EXPECT_TRUE(OpensExclusively(path));
        EXPECT_TRUE(OpensExclusively(repair));
    }
}

enum Obstacle { MissingSource, LockedSource, MissingDestinationDir, LockedDestination };

struct OpenCase {
    const char *what;
    Obstacle obstacle;
    const char *message;  // printf format taking the path and the error code
    bool onSource;
    DWORD error;
};

TEST(DisinfectCopy, FailsWithoutTheRepairFileWhenAFileDoesNotOpen)
{
    const OpenCase cases[] = {
        {"missing source", MissingSource, "Disinfection error: cannot open source \"%s\" (%lu)\n",
         true, ERROR_FILE_NOT_FOUND},
        {"source locked by another program", LockedSource,
         "Disinfection error: cannot open source \"%s\" (%lu)\n", true, ERROR_SHARING_VIOLATION},
        {"repair file in a missing directory", MissingDestinationDir,
         "Disinfection error: cannot open destination \"%s\" (%lu)\n", false,
         ERROR_PATH_NOT_FOUND},
        {"repair file locked by another program", LockedDestination,
         "Disinfection error: cannot open destination \"%s\" (%lu)\n", false,
         ERROR_SHARING_VIOLATION},
    };
    std::string dir = FreshTestDir("disinfect-open");
    std::vector<uint8_t> host = MakeInfectedHost(CleanHostProgram());
    ASSERT_FALSE(host.empty());
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir + "host.exe";
        std::string repair = path + ".dis";
        DeleteFileA(repair.c_str());
        DeleteFileA(path.c_str());
        if (c.obstacle != MissingSource) {
            ASSERT_TRUE(WriteFileBytes(path, host));
        }
        if (c.obstacle == MissingDestinationDir)
            repair = dir + "absent\\host.exe.dis";
        if (c.obstacle == LockedDestination) {
            ASSERT_TRUE(WriteFileBytes(repair, std::vector<uint8_t>(3, 'x')));
        }
        std::unique_ptr<HeldFile> held;
        if (c.obstacle == LockedSource || c.obstacle == LockedDestination) {
            held.reset(new HeldFile(c.obstacle == LockedSource ? path : repair, "none"));
            ASSERT_TRUE(held->Held());
        }
        int unrepairable = -1;
        std::string trace;
        {
            TraceCapture capture;
            EXPECT_EQ(0, DisinfectCopy(path.c_str(), repair.c_str(), &unrepairable));
            trace = capture.Text();
        }
        held.reset();
        char expected[600];
        snprintf(expected, sizeof expected, c.message, (c.onSource ? path : repair).c_str(),
                 c.error);
        EXPECT_EQ(0, unrepairable);
        EXPECT_EQ(expected, trace);
        if (c.onSource) {
            EXPECT_FALSE(PathExists(repair)) << "a repair file was created";
        } else if (c.obstacle == LockedDestination) {
            EXPECT_TRUE(ReadFileBytes(repair) == std::vector<uint8_t>(3, 'x'));
        }
        if (c.obstacle != MissingSource) {
            EXPECT_TRUE(OpensExclusively(path)) << "the source was left open";
            EXPECT_TRUE(ReadFileBytes(path) == host);
        }
    }
}

// The low 32 bits of this file's size are a whole, repairable host: copying
// just those would put a cut-off program in the file's place.
TEST(DisinfectCopy, RefusesAFileOfFourGigabytesOrMore)
{
    std::string dir = FreshTestDir("disinfect-large");
    std::string path = dir + "large.exe";
    std::string repair = path + ".dis";
    std::vector<uint8_t> host = MakeInfectedHost(CleanHostProgram());
    ASSERT_TRUE(WriteFileBytes(path, host));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    LARGE_INTEGER end;
    end.QuadPart = 0x100000000LL + (LONGLONG)host.size();
    // Sparse on the host's file system: no 4 GiB are written.
    BOOL grown = SetFilePointerEx(file, end, NULL, FILE_BEGIN) && SetEndOfFile(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    ASSERT_TRUE(grown) << error;

    int unrepairable = -1;
    TraceCapture capture;
    EXPECT_EQ(0, DisinfectCopy(path.c_str(), repair.c_str(), &unrepairable));
    EXPECT_EQ(1, unrepairable);
    EXPECT_EQ("Disinfection error: file too short (4294967295 bytes)\n", capture.Text());
    EXPECT_TRUE(ReadFileBytes(repair).empty());
    EXPECT_TRUE(OpensExclusively(path));
    DeleteFileA(path.c_str());
}

}  // namespace
