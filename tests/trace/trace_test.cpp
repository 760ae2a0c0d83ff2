#include "trace/trace.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

std::string ScratchFile(const char *name)
{
    return FreshTestDir("trace") + name;
}

TEST(Trace, RecordIsTheFormattedTextStoredWithCrLf)
{
    TraceCapture capture;
    TraceMessage(TraceModuleName, -1, 4, "Exiting, return value %d\n", 1);
    TraceMessage(TraceModuleName, -1, 4, "Scanning: %s ", "C:\\a.exe");
    TraceMessage(TraceModuleName, -1, 4, "%s", "\n");
    EXPECT_EQ("Exiting, return value 1\r\nScanning: C:\\a.exe \r\n", capture.Raw());
}

TEST(Trace, LevelAndMaskFilter)
{
    struct Case {
        int mask;
        int level;
        bool written;
    } cases[] = {
        {-1, 0, true}, {-1, 1, true}, {-1, 4, true}, {-1, 255, true},
        {-1, 256, false}, {0, 4, false}, {1, 4, true},
    };
    for (const Case &c : cases) {
        TraceCapture capture;
        TraceMessage(TraceModuleName, c.mask, c.level, "x");
        EXPECT_EQ(c.written ? "x" : "", capture.Raw()) << c.mask << " " << c.level;
    }
}

TEST(Trace, LongRecordIsCutTo1023Characters)
{
    TraceCapture capture;
    std::string longText(5000, 'a');
    TraceMessage(TraceModuleName, -1, 4, "%s", longText.c_str());
    EXPECT_EQ(std::string(1023, 'a'), capture.Raw());
}

TEST(Trace, ReopeningTheSameNameKeepsTheFile)
{
    std::string path = ScratchFile("same.log");
    ASSERT_TRUE(TraceOpenFile(path.c_str(), "w"));
    TraceMessage(TraceModuleName, -1, 4, "one\n");
    // "w" again would truncate if the file were reopened.
    TraceOpenFile(path.c_str(), "w");
    TraceMessage(TraceModuleName, -1, 4, "two\n");
    TraceOpenFile("", "r");
    EXPECT_EQ("one\r\ntwo\r\n", ReadFileText(path));
}

TEST(Trace, AnotherNameClosesTheFirstFile)
{
    std::string first = ScratchFile("first.log");
    std::string second = first.substr(0, first.size() - 9) + "second.log";
    ASSERT_TRUE(TraceOpenFile(first.c_str(), "a+"));
    TraceMessage(TraceModuleName, -1, 4, "to first\n");
    ASSERT_TRUE(TraceOpenFile(second.c_str(), "a+"));
    TraceMessage(TraceModuleName, -1, 4, "to second\n");
    // The first file is closed: it can be deleted at once.
    EXPECT_TRUE(DeleteFileA(first.c_str())) << GetLastError();

    // A name that does not open leaves no file: records go to the debugger.
    std::string missing = "C:\\kwtest\\no such dir\\x.log";
    EXPECT_FALSE(TraceOpenFile(missing.c_str(), "a+"));
    TraceMessage(TraceModuleName, -1, 4, "to debugger\n");
    EXPECT_EQ("to second\r\n", ReadFileText(second));
    EXPECT_TRUE(DeleteFileA(second.c_str())) << GetLastError();
}

TEST(Trace, AppendModeKeepsEarlierRuns)
{
    std::string path = ScratchFile("append.log");
    ASSERT_TRUE(WriteFileText(path, "earlier run\r\n"));
    ASSERT_TRUE(TraceOpenFile(path.c_str(), "a+"));
    TraceMessage(TraceModuleName, -1, 4, "this run\n");
    TraceOpenFile("", "r");
    EXPECT_EQ("earlier run\r\nthis run\r\n", ReadFileText(path));
}

TEST(Trace, RecordsFromSeveralThreadsNeverInterleave)
{
    TraceCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                TraceMessage(TraceModuleName, -1, 4, "thread %d record %03d of a whole line\n", t, i);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::string text = capture.Text();
    size_t lines = 0, at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        ASSERT_NE(std::string::npos, end);
        std::string line = text.substr(at, end - at);
        int t = -1, i = -1;
        EXPECT_EQ(2, sscanf(line.c_str(), "thread %d record %d of a whole line", &t, &i)) << line;
        EXPECT_EQ(strlen("thread 0 record 000 of a whole line"), line.size()) << line;
        ++lines;
        at = end + 1;
    }
    EXPECT_EQ(800u, lines);
}

// Last: it ends the facility for this process, as process exit does.
TEST(TraceZ, NothingIsWrittenAfterTheProcessScopeIsReleased)
{
    std::string path = ScratchFile("exit.log");
    ASSERT_TRUE(TraceOpenFile(path.c_str(), "w"));
    TraceMessage(TraceModuleName, -1, 4, "before\n");
    TraceReleaseProcessScope();
    TraceMessage(TraceModuleName, -1, 4, "after\n");
    // Shutdown closed the file: its content is complete and it can go.
    EXPECT_EQ("before\r\n", ReadFileText(path));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << GetLastError();
}

}  // namespace
