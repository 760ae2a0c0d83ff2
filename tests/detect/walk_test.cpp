#include "detect/walk.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Visit {
    std::string path;
    int isDirectory;
    DWORD attributes;
};

// What the recording callback saw, and when it answers nonzero.
std::vector<Visit> g_visits;
std::string g_stopAt;
int g_stopValue = 0;
// A walk that ran away (a followed link) is cut off instead of running on.
const size_t MaxVisits = 20000;

int Record(const char *path, const WIN32_FIND_DATAA *entry, int isDirectory)
{
    g_visits.push_back({path, isDirectory, entry->dwFileAttributes});
    if (g_visits.size() >= MaxVisits)
        return -1;
    return path == g_stopAt ? g_stopValue : 0;
}

std::vector<Visit> Walk(const std::string &prefix, int *result, const std::string &stopAt = "",
                        int stopValue = 0)
{
    g_visits.clear();
    g_stopAt = stopAt;
    g_stopValue = stopValue;
    *result = WalkDirectory(prefix.c_str(), Record);
    return g_visits;
}

typedef std::set<std::pair<std::string, int>> EntrySet;

EntrySet Entries(const std::vector<Visit> &visits)
{
    EntrySet entries;
    for (const Visit &v : visits)
        entries.insert({v.path, v.isDirectory});
    return entries;
}

std::string Parent(const std::string &path)
{
    return path.substr(0, path.find_last_of('\\'));
}

// The names of one directory in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::string &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((dir + "\\*.*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

TEST(WalkDirectory, PreOrderInListingOrder)
{
    std::string root = FreshTestDir("walk_order");
    std::string top = root.substr(0, root.size() - 1);
    ASSERT_TRUE(MakeDirs(root + "a\\b\\c"));
    ASSERT_TRUE(MakeDirs(root + "empty"));
    ASSERT_TRUE(MakeDirs(root + "z"));
    const char *files[] = {"one.exe", "two.txt", "a\\in_a.dll", "a\\b\\in_b", "a\\b\\c\\in_c.exe",
                           "z\\in_z.exe", "hidden.exe"};
    for (const char *f : files)
        ASSERT_TRUE(WriteFileText(root + f, "x"));
    SetFileAttributesA((root + "hidden.exe").c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    int result = 99;
    std::vector<Visit> visits = Walk(root, &result);
    EXPECT_EQ(0, result);

    EntrySet expected = {
        {root + "a", 1},          {root + "a\\b", 1},     {root + "a\\b\\c", 1},
        {root + "empty", 1},      {root + "z", 1},        {root + "one.exe", 0},
        {root + "two.txt", 0},    {root + "a\\in_a.dll", 0}, {root + "a\\b\\in_b", 0},
        {root + "a\\b\\c\\in_c.exe", 0}, {root + "z\\in_z.exe", 0}, {root + "hidden.exe", 0},
    };
    EXPECT_EQ(expected, Entries(visits));
    ASSERT_EQ(expected.size(), visits.size()) << "an entry was visited twice";

    std::map<std::string, std::vector<std::string>> children;
    for (size_t i = 0; i < visits.size(); ++i) {
        const std::string &path = visits[i].path;
        std::string parent = Parent(path);
        children[parent].push_back(path.substr(parent.size() + 1));
        // A directory comes before its subtree, and the subtree follows it
        // without a gap.
        if (parent != top) {
            size_t at = 0;
            while (at < i && visits[at].path != parent)
                ++at;
            ASSERT_LT(at, i) << path << " before its directory";
            for (size_t k = at + 1; k < i; ++k) {
                EXPECT_EQ(0u, visits[k].path.find(parent + "\\"))
                    << visits[k].path << " inside the subtree of " << parent;
            }
        }
    }
    for (const auto &dir : children)
        EXPECT_EQ(ListingOrder(dir.first), dir.second) << dir.first;
    RemoveTree(top);
}

struct StopCase {
    const char *stopAt;  // relative to the test directory
    int value;
    std::vector<std::string> notVisited;  // relative paths that must not be seen
};

TEST(WalkDirectory, NonzeroCallbackEndsTheWalk)
{
    std::string root = FreshTestDir("walk_stop");
    ASSERT_TRUE(MakeDirs(root + "d\\e"));
    ASSERT_TRUE(WriteFileText(root + "d\\e\\deep.exe", "x"));
    ASSERT_TRUE(WriteFileText(root + "d\\e\\deep2.exe", "x"));
    ASSERT_TRUE(WriteFileText(root + "d\\f.exe", "x"));

    const StopCase cases[] = {
        // A directory's own answer keeps the walk out of it.
        {"d", 5, {"d\\e", "d\\f.exe"}},
        {"d\\e", -3, {"d\\e\\deep.exe", "d\\e\\deep2.exe"}},
        // An answer deep down ends every level above it.
        {"d\\e\\deep.exe", 7, {}},
    };
    for (const StopCase &c : cases) {
        int result = 0;
        std::vector<Visit> visits = Walk(root, &result, root + c.stopAt, c.value);
        EXPECT_EQ(c.value, result) << c.stopAt;
        ASSERT_FALSE(visits.empty());
        EXPECT_EQ(root + c.stopAt, visits.back().path) << "the walk went on after " << c.stopAt;
        EntrySet seen = Entries(visits);
        for (const std::string &n : c.notVisited) {
            EXPECT_EQ(0u, seen.count({root + n, 0}) + seen.count({root + n, 1}))
                << n << " after stopping at " << c.stopAt;
        }
    }

    EXPECT_EQ(0, WalkDirectory(root.c_str(), NULL));
    int result = 99;
    EXPECT_TRUE(Walk(root + "missing\\", &result).empty());
    EXPECT_EQ(0, result);
    EXPECT_TRUE(Walk(root + "d\\f.exe\\", &result).empty());
    EXPECT_EQ(0, result);
    RemoveTree(root.substr(0, root.size() - 1));
}

// Only "." and ".." are passed over. "..." cannot be made from Windows, so
// the set-up script put it on D:; the system refuses to list it, so it
// counts as empty.
TEST(WalkDirectory, DotNames)
{
    int result = 99;
    std::vector<Visit> visits = Walk("D:\\dots\\", &result);
    EXPECT_EQ(0, result);
    EntrySet expected = {
        {"D:\\dots\\...", 1},     {"D:\\dots\\..b", 1},          {"D:\\dots\\..b\\inb.exe", 0},
        {"D:\\dots\\.a", 1},      {"D:\\dots\\.a\\ina.exe", 0}, {"D:\\dots\\top.exe", 0},
    };
    EntrySet seen = Entries(visits);
    seen.erase({"D:\\dots\\...\\in3.exe", 0});  // where a system does list it
    EXPECT_EQ(expected, seen);
}

// The prefix is used as it is: without the final backslash the pattern
// becomes C:\...\Temp*.* and the names are glued to "Temp".
TEST(WalkDirectory, PrefixWithoutBackslash)
{
    std::string root = FreshTestDir("walk_prefix");
    ASSERT_TRUE(WriteFileText(root + "Temp1.exe", "x"));
    ASSERT_TRUE(MakeDirs(root + "TempDir"));
    ASSERT_TRUE(WriteFileText(root + "TempDir\\inner.exe", "x"));
    ASSERT_TRUE(WriteFileText(root + "Other.exe", "x"));

    int result = 99;
    std::vector<Visit> visits = Walk(root + "Temp", &result);
    EXPECT_EQ(0, result);
    EntrySet expected = {{root + "TempTemp1.exe", 0}, {root + "TempTempDir", 1}};
    EXPECT_EQ(expected, Entries(visits));
    RemoveTree(root.substr(0, root.size() - 1));
}

// Deep trees need the wide API and the \\?\ form to be made and removed.
std::wstring Wide(const std::string &path)
{
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

void RemoveTreeW(const std::wstring &path)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeW(path + L"\\" + name);
            else
                DeleteFileW((path + L"\\" + name).c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

bool MakeFileW(const std::string &path)
{
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

const size_t MaxPathLength = MAX_PATH - 1;  // what the callback may be handed

// A chain of one-letter directories 320 characters deep, a file in each,
// and files and directories whose paths end right at the limit or one past
// it. Every path that fits is visited (a directory is listed while its
// pattern "...\*.*" fits); nothing longer is handed on, and nothing is cut.
TEST(WalkDirectory, DeepTree)
{
    std::string top = "C:\\kwtest\\walk_deep";
    RemoveTreeW(Wide(top));
    ASSERT_TRUE(CreateDirectoryW(Wide(top).c_str(), NULL)) << GetLastError();

    std::set<std::pair<std::string, int>> expected;
    std::string dir = top;
    while (dir.size() < 320) {
        std::string sub = dir + "\\a";
        ASSERT_TRUE(CreateDirectoryW(Wide(sub).c_str(), NULL)) << sub.size() << " " << GetLastError();
        ASSERT_TRUE(MakeFileW(sub + "\\f"));
        int listed = dir.size() + 4 <= MaxPathLength;
        if (listed && sub.size() <= MaxPathLength)
            expected.insert({sub, 1});
        if (sub.size() + 4 <= MaxPathLength && sub.size() + 2 <= MaxPathLength)
            expected.insert({sub + "\\f", 0});
        dir = sub;
    }

    // Beside the chain: names that end exactly at the limit and one past it.
    std::string edge = top + "\\" + std::string(255 - top.size() - 1, 'e');
    ASSERT_EQ(255u, edge.size());
    ASSERT_TRUE(CreateDirectoryW(Wide(edge).c_str(), NULL)) << GetLastError();
    expected.insert({edge, 1});
    ASSERT_TRUE(MakeFileW(edge + "\\259"));
    expected.insert({edge + "\\259", 0});
    ASSERT_TRUE(MakeFileW(edge + "\\2600"));
    ASSERT_TRUE(CreateDirectoryW(Wide(edge + "\\257").c_str(), NULL));
    expected.insert({edge + "\\257", 1});  // visited, but its pattern does not fit
    ASSERT_TRUE(MakeFileW(edge + "\\257\\x"));
    std::string wide = top + "\\" + std::string(256 - top.size() - 1, 'w');
    ASSERT_TRUE(CreateDirectoryW(Wide(wide).c_str(), NULL));
    expected.insert({wide, 1});
    ASSERT_TRUE(MakeFileW(wide + "\\g"));

    int result = 99;
    std::vector<Visit> visits = Walk(top + "\\", &result);
    EXPECT_EQ(0, result);
    for (const Visit &v : visits)
        EXPECT_LE(v.path.size(), MaxPathLength) << v.path;
    EXPECT_EQ(expected, Entries(visits));
    RemoveTreeW(Wide(top));
}

// D:\loop\back leads to D:\loop and D:\loop\sub\up to D:\loop as well (made
// by the set-up script). Links are reported but never entered.
TEST(WalkDirectory, LinksAreNotEntered)
{
    int result = 99;
    std::vector<Visit> visits = Walk("D:\\loop\\", &result);
    EXPECT_EQ(0, result);
    EntrySet expected = {
        {"D:\\loop\\back", 1}, {"D:\\loop\\f.exe", 0},       {"D:\\loop\\sub", 1},
        {"D:\\loop\\sub\\g.exe", 0}, {"D:\\loop\\sub\\up", 1},
    };
    EXPECT_EQ(expected, Entries(visits));
    for (const Visit &v : visits) {
        if (v.path == "D:\\loop\\back" || v.path == "D:\\loop\\sub\\up") {
            EXPECT_TRUE(v.attributes & FILE_ATTRIBUTE_REPARSE_POINT) << v.path;
        }
    }
}

// The prefix maps D: as a fixed drive, E: as a CD-ROM and F: as a network
// drive; T: is the build tree on a network drive.
TEST(WalkFixedDrives, WalksOnlyFixedDrives)
{
    std::string root = FreshTestDir("walk_drives");
    ASSERT_TRUE(WriteFileText(root + "marker-c.exe", "x"));
    ASSERT_EQ((UINT)DRIVE_FIXED, GetDriveTypeA("D:\\"));
    ASSERT_EQ((UINT)DRIVE_CDROM, GetDriveTypeA("E:\\"));
    ASSERT_EQ((UINT)DRIVE_REMOTE, GetDriveTypeA("F:\\"));
    ASSERT_TRUE(PathExists("E:\\marker-e.exe"));
    ASSERT_TRUE(PathExists("F:\\marker-f.exe"));

    g_visits.clear();
    g_stopAt.clear();
    EXPECT_EQ(0, WalkFixedDrives(Record));
    std::vector<Visit> visits = g_visits;

    EntrySet seen = Entries(visits);
    EXPECT_EQ(1u, seen.count({root + "marker-c.exe", 0}));
    EXPECT_EQ(1u, seen.count({"D:\\marker-d.exe", 0}));
    EXPECT_EQ(1u, seen.count({"D:\\loop\\sub\\g.exe", 0}));
    std::set<char> drives;
    size_t lastC = 0, firstD = visits.size();
    for (size_t i = 0; i < visits.size(); ++i) {
        char letter = visits[i].path[0];
        drives.insert(letter);
        if (letter == 'C')
            lastC = i;
        if (letter == 'D' && i < firstD)
            firstD = i;
    }
    EXPECT_EQ((std::set<char>{'C', 'D'}), drives);
    EXPECT_LT(lastC, firstD) << "drives are walked one after the other, in list order";

    // The prefix links user folders to the host's home: never entered.
    for (const Visit &link : visits) {
        if (!(link.attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !link.isDirectory)
            continue;
        for (const Visit &v : visits)
            EXPECT_NE(0u, v.path.find(link.path + "\\")) << v.path << " inside link " << link.path;
    }
    RemoveTree(root.substr(0, root.size() - 1));
}

}  // namespace
