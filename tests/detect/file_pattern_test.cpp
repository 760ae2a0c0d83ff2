#include "detect/file_pattern.h"

#include <gtest/gtest.h>

namespace {

const char Candidates[] = "EXE DLL EX DL E?";

struct WildcardCase {
    const char *name;
    const char *list;
    int expected;
};

const WildcardCase WildcardCases[] = {
    {"EXE", Candidates, 1},
    {"exe", Candidates, 1},
    {"Exe", Candidates, 1},
    {"dll", Candidates, 1},
    {"ex", Candidates, 1},
    {"dl", Candidates, 1},
    {"E", Candidates, 1},  // the trailing "?" of "E?" stays unmatched
    {"EZ", Candidates, 1},
    {"e1", Candidates, 1},
    {"EX_", Candidates, 0},
    {"DL_", Candidates, 0},
    {"EXEC", Candidates, 0},
    {"EXED", Candidates, 0},
    {"bak", Candidates, 0},
    {"D", Candidates, 0},
    {"", Candidates, 0},
    {"", "*", 1},
    {"anything", "*", 1},
    {"anything", "", 0},
    {"", "", 0},
    {"EXE", "    ", 0},
    {"", "   ", 0},
    // Separators of any length, leading and trailing spaces.
    {"DLL", "   EXE     DLL   ", 1},
    {"DL", "DLL   DL", 1},
    // A "*" accepts any remainder, and nothing behind it is looked at.
    {"ABCDEF", "AB*", 1},
    {"AB", "AB*", 1},
    {"ABX", "AB*Q", 1},
    {"A", "AB*", 0},  // what stands before the "*" must match
    {"XY", "A* XY", 1},
    // "?" matches exactly one character, except at the end of a pattern.
    {"AXC", "A?C", 1},
    {"AC", "A?C", 0},
    {"A", "A??", 1},
    {"A", "A??B", 0},
    {"A", "A?? B", 1},
    {"B", "A?? B", 1},
    {"AB", "A", 0},
    {"A", "AB", 0},
    // Only ASCII letters change case.
    {"\xe9XE", "\xc9XE", 0},
    {"\xe9XE", "\xe9xe", 1},
};

TEST(MatchWildcardList, Cases)
{
    for (const WildcardCase &c : WildcardCases)
        EXPECT_EQ(c.expected, MatchWildcardList(c.name, c.list))
            << "name \"" << c.name << "\" list \"" << c.list << "\"";
}

struct CandidateCase {
    const char *path;
    int expected;
};

const CandidateCase CandidateCases[] = {
    {"C:\\Apps\\tool.exe", 1},
    {"C:\\Apps\\tool.Exe", 1},
    {"C:\\Apps\\tool.DLL", 1},
    {"C:\\Apps\\tool.ex", 1},
    {"C:\\Apps\\tool.dl", 1},
    {"C:\\Apps\\tool.e", 1},
    {"C:\\Apps\\tool.E7", 1},
    {"C:\\Apps\\tool.tar.exe", 1},
    {"C:\\Apps\\tool.EX_", 0},
    {"C:\\Apps\\tool.DL_", 0},
    {"C:\\Apps\\tool.EXEC", 0},
    {"C:\\Apps\\tool.bak", 0},
    {"C:\\Apps\\tool.exe.bak", 0},
    {"C:\\Apps\\tool.", 0},
    {"C:\\Apps\\tool", 0},
    {"tool", 0},
    // The extension is taken behind the last dot of the whole path.
    {"C:\\My.Apps\\tool", 0},
    {"C:\\e.x\\tool", 0},
};

TEST(IsCandidateFile, Extensions)
{
    for (const CandidateCase &c : CandidateCases)
        EXPECT_EQ(c.expected, IsCandidateFile(c.path)) << c.path;
}

}  // namespace
