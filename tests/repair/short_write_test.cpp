// Runs only through short_write.sh, which caps the size of the files this
// process may write (RLIMIT_FSIZE). The WriteFile that crosses the cap comes
// back successful with fewer bytes than asked, as on a medium that fills up.
#include "repair/disinfect_copy.h"

#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(DisinfectCopy, FailsOnAShortWrite)
{
    char cap[32];
    DWORD n = GetEnvironmentVariableA("KWRNDL_WRITE_LIMIT", cap, sizeof cap);
    ASSERT_TRUE(n > 0 && n < sizeof cap) << "KWRNDL_WRITE_LIMIT is not set: run short_write.sh";
    const size_t limit = strtoul(cap, NULL, 10);
    // Left by the round trip of disinfect_copy_test.
    const std::string source = "T:\\repair-roundtrip\\infected.exe";
    const std::vector<uint8_t> host = ReadFileBytes(source);
    ASSERT_GT(host.size(), limit);

    std::string repair = FreshTestDir(std::string("disinfect-short-write-") + cap) + "host.exe.dis";
    int unrepairable = -1;
    TraceCapture capture;
    EXPECT_EQ(0, DisinfectCopy(source.c_str(), repair.c_str(), &unrepairable));
    EXPECT_EQ(0, unrepairable);
    EXPECT_EQ("Disinfection error: destination file write error (0)\n", capture.Text());
    std::vector<uint8_t> copy = ReadFileBytes(repair);
    EXPECT_EQ(limit, copy.size());
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), host.begin()));
}

}  // namespace
