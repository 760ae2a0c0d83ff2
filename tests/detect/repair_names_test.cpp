#include "detect/repair_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const size_t NameSize = 260;  // the actions' buffers: 259 characters at most

// "C:\" followed by 'a's up to `length` characters, ending in `tail`.
std::string PathOfLength(size_t length, const std::string &tail)
{
    std::string path = "C:\\";
    path += std::string(length - path.size() - tail.size(), 'a');
    return path + tail;
}

struct NameCase {
    std::string path;
    int expected;
    std::string name;  // when expected is 1
};

void CheckNames(int (*make)(const char *, char *, size_t), const NameCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const NameCase &c = cases[i];
        char name[NameSize];
        memset(name, 'x', sizeof name);
        int result = make(c.path.c_str(), name, sizeof name);
        EXPECT_EQ(c.expected, result) << c.path << " (" << c.path.size() << " characters)";
        ASSERT_NE(nullptr, memchr(name, '\0', sizeof name)) << c.path;
        if (result) {
            EXPECT_EQ(c.name, name) << c.path;
            EXPECT_NE(c.path, name);
        } else {
            EXPECT_STREQ("", name) << c.path;
        }
    }
}

TEST(RepairNames, RepairFileName)
{
    const NameCase cases[] = {
        {"C:\\Apps\\tool.exe", 1, "C:\\Apps\\tool.exe.dis"},
        {"C:\\Apps\\tool", 1, "C:\\Apps\\tool.dis"},
        {PathOfLength(255, ".exe"), 1, PathOfLength(255, ".exe") + ".dis"},
        // No room for the suffix within 259 characters: a cut name could be
        // the host's own path (at 259 characters it would be exactly that).
        {PathOfLength(256, ".exe"), 0, ""},
        {PathOfLength(258, ".exe"), 0, ""},
        {PathOfLength(259, ".exe"), 0, ""},
    };
    CheckNames(MakeRepairFileName, cases, sizeof cases / sizeof cases[0]);
}

TEST(RepairNames, FallbackFileName)
{
    const NameCase cases[] = {
        {"C:\\Apps\\name.exe", 1, "C:\\Apps\\name.0xe"},
        {"C:\\Apps\\name.EXE", 1, "C:\\Apps\\name.0XE"},
        {"C:\\Apps\\name.dll", 1, "C:\\Apps\\name.0ll"},
        {"C:\\Apps\\name.e", 1, "C:\\Apps\\name.0"},
        {"C:\\Apps\\name.tar.exe", 1, "C:\\Apps\\name.tar.0xe"},
        {"C:\\Apps\\name.", 1, "C:\\Apps\\name..0"},
        {"C:\\Apps\\name", 1, "C:\\Apps\\name.0"},
        // A dot in a directory name does not move the file elsewhere.
        {"C:\\My.Apps\\name", 1, "C:\\My.Apps\\name.0"},
        // Replacing a '0' by '0' would give the path itself.
        {"C:\\Apps\\name.0xe", 0, ""},
        // An extension keeps the length, so any path that fits has a name.
        {PathOfLength(259, ".exe"), 1, PathOfLength(259, ".0xe")},
        {PathOfLength(257, ""), 1, PathOfLength(257, "") + ".0"},
        {PathOfLength(258, ""), 0, ""},
        {PathOfLength(259, "."), 0, ""},
    };
    CheckNames(MakeFallbackFileName, cases, sizeof cases / sizeof cases[0]);
}

TEST(RepairNames, SmallBuffers)
{
    char name[9];
    EXPECT_EQ(1, MakeRepairFileName("C:\\a", name, sizeof name));
    EXPECT_STREQ("C:\\a.dis", name);
    EXPECT_EQ(0, MakeRepairFileName("C:\\ab", name, sizeof name));
    EXPECT_EQ(1, MakeFallbackFileName("C:\\abc.e", name, sizeof name));
    EXPECT_STREQ("C:\\abc.0", name);
    EXPECT_EQ(0, MakeFallbackFileName("C:\\abcd.e", name, sizeof name));
    EXPECT_EQ(1, MakeFallbackFileName("C:\\abc", name, sizeof name));
    EXPECT_STREQ("C:\\abc.0", name);
    EXPECT_EQ(0, MakeFallbackFileName("C:\\abcd", name, sizeof name));
    EXPECT_EQ(0, MakeRepairFileName("C:\\a", name, 0));
}

}  // namespace
