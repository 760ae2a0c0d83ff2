#include "replace_cases.h"

#include "replace/replace_file.h"
#include "run/counters.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

namespace {

void RemoveEntry(Entry entry, const std::string &path)
{
    if (entry == Device || entry == TooLong)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTree(path);
}

}  // namespace

std::string EntryPath(const std::string &dir, Entry entry, const char *role)
{
    switch (entry) {
    case Running:
        return dir + role + "-running.exe";
    case Device:
        return dir + "NUL";
    case TooLong:
        return dir + std::string(300, 'n');
    default:
        return dir + role + ".exe";
    }
}

bool MakeEntry(Entry entry, const std::string &path, const char *text,
               std::vector<std::unique_ptr<HeldFile>> *holders)
{
    switch (entry) {
    case Absent:
    case Device:
    case TooLong:
        return true;
    case Directory:
        return MakeDirs(path);
    case Running:
        holders->push_back(std::unique_ptr<HeldFile>(new HeldFile(path)));
        return holders->back()->Held();
    default:
        break;
    }
    if (!WriteFileText(path, text))
        return false;
    if (entry == ReadOnly)
        return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
    if (entry == HeldRead || entry == HeldExclusive) {
        holders->push_back(std::unique_ptr<HeldFile>(
            new HeldFile(path, entry == HeldRead ? "read" : "none")));
        return holders->back()->Held();
    }
    return true;
}

std::string Describe(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "<absent>";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return "<dir>";
    return ReadFileText(path);
}

void RunReplaceCase(const std::string &dir, const ReplaceCase &c)
{
    SCOPED_TRACE(c.what);
    std::string src = EntryPath(dir, c.src, "src");
    std::string dest = EntryPath(dir, c.dest, "dest");
    std::vector<std::unique_ptr<HeldFile>> holders;
    ASSERT_TRUE(MakeEntry(c.src, src, SourceText, &holders));
    if (c.rename) {
        ASSERT_TRUE(MakeEntry(c.dest, dest, DestinationText, &holders));
    }
    ClearPendingFileRenameOperations();

    int result;
    {
        TraceCapture capture;
        result = ReplaceFile("", src.c_str(), c.rename ? dest.c_str() : NULL);
        EXPECT_EQ(Expand(c.trace, src, dest), capture.Text());
    }
    EXPECT_EQ(c.result, result);
    std::vector<std::string> pending;
    for (const std::string &item : c.pending)
        pending.push_back(Expand(item, src, dest));
    EXPECT_EQ(pending, PendingFileRenameOperations());

    holders.clear();
    if (std::string(c.srcAfter) != "*") {
        EXPECT_EQ(c.srcAfter, Describe(src));
    }
    if (c.rename && std::string(c.destAfter) != "*") {
        EXPECT_EQ(c.destAfter, Describe(dest));
    }
    ClearPendingFileRenameOperations();
    RemoveEntry(c.src, src);
    if (c.rename)
        RemoveEntry(c.dest, dest);
}

void RunReportCase(const std::string &dir, const ReportCase &c)
{
    SCOPED_TRACE(c.what);
    std::string src = EntryPath(dir, c.src, "src");
    std::string dest = EntryPath(dir, c.dest, "dest");
    std::vector<std::unique_ptr<HeldFile>> holders;
    ASSERT_TRUE(MakeEntry(c.src, src, SourceText, &holders));
    if (c.rename) {
        ASSERT_TRUE(MakeEntry(c.dest, dest, DestinationText, &holders));
    }
    int reboots = ReadCounter(&RebootCount);
    int failures = ReadCounter(&FailureCount);

    std::string trace;
    {
        TraceCapture capture;
        ::testing::internal::CaptureStdout();
        if (c.rename)
            ReplaceWithReport(src.c_str(), dest.c_str());
        else
            DeleteWithReport(src.c_str());
        EXPECT_EQ(c.console, ::testing::internal::GetCapturedStdout());
        trace = capture.Text();
    }
    EXPECT_EQ(c.reboots, ReadCounter(&RebootCount) - reboots);
    EXPECT_EQ(c.failures, ReadCounter(&FailureCount) - failures);
    std::string last = c.rename ? Format("Replacing file \"%s\"->\"%s\", result=%d\n",
                                         src.c_str(), dest.c_str(), c.result)
                                : Format("Deleting file \"%s\", result=%d\n", src.c_str(),
                                         c.result);
    ASSERT_GE(trace.size(), last.size());
    EXPECT_EQ(last, trace.substr(trace.size() - last.size()));

    holders.clear();
    ClearPendingFileRenameOperations();
    RemoveEntry(c.src, src);
    if (c.rename)
        RemoveEntry(c.dest, dest);
}
