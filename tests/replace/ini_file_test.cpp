#include "replace/ini_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// What a text stream of this platform stores for "\n".
std::string Stored(const std::string &text)
{
#ifdef _WIN32
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
#else
    return text;
#endif
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char &c : name) {
            if (c == '/')
                c = '_';
        }
        dir_ = std::filesystem::temp_directory_path() / ("kwrndl_ini_" + name);
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string PathOf(const char *name) const { return (dir_ / name).string(); }

    static void WriteBytes(const std::string &path, const std::string &bytes)
    {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_TRUE(f != NULL) << path;
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }

    static std::string ReadBytes(const std::string &path)
    {
        std::string bytes;
        FILE *f = fopen(path.c_str(), "rb");
        if (!f)
            return "<missing>";
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        fclose(f);
        return bytes;
    }

    std::filesystem::path dir_;
};

struct RoundTripCase {
    const char *what;
    std::string input;     // file text, "\n" as the platform stores it
    std::string expected;  // what Save writes back
};

TEST_F(IniFileTest, UntouchedDocumentSavesBackAsRead)
{
    const std::string x1023(1023, 'X');
    const std::string longValue(1498, 'v');
    const RoundTripCase cases[] = {
        {"comments, blank lines and lines before any header keep their places",
         "; top comment\n\n[Section]\n  key  =  value\nplain line\n; c\n\n[Other]\na=b\n",
         "; top comment\n\n[Section]\n  key  =  value\nplain line\n; c\n\n[Other]\na=b"},
        {"tabs around a key come back as one space each", "\tkey\t=\tvalue\n", " key = value"},
        {"a header keeps only its bracketed name", "  [Boot] ; comment\nx=1\n", "[Boot]\nx=1"},
        {"the value is the whole rest of the line", "[s]\npath=C:\\a;b=c ; d  \n",
         "[s]\npath=C:\\a;b=c ; d  "},
        {"a repeated header merges into the first spelling",
         "[Rename]\na=1\n[Other]\nb=2\n[RENAME]\nc=3\n", "[Rename]\na=1\nc=3\n[Other]\nb=2"},
        {"a bracket without its closing bracket is a plain line",
         "[no bracket\n[s]\n[half\nk=v\n", "[no bracket\n[s]\n[half\nk=v"},
        {"an empty last section ends with its header line", "[a]\nk=v\n[b]\n", "[a]\nk=v\n[b]\n"},
        {"blank-only lines and empty keys", "  \n =x\n", "  \n =x"},
        {"a line of 1023 characters is followed by an empty line", x1023 + "\nk=v\n",
         x1023 + "\n\nk=v"},
        {"a longer line is parsed in pieces of 1023", "k=" + longValue + "\n",
         "k=" + longValue.substr(0, 1021) + "\n" + longValue.substr(1021)},
        {"a run of blanks longer than 8 bits can count keeps 127",
         "[s]\n" + std::string(200, ' ') + "k=v\n", "[s]\n" + std::string(127, ' ') + "k=v"},
    };
    for (const RoundTripCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string in = PathOf("in.ini"), out = PathOf("out.ini");
        WriteBytes(in, Stored(c.input));
        IniFile document;
        EXPECT_EQ(0, document.Load(in.c_str()));
        EXPECT_EQ(IniSaved, document.Save(out.c_str()));
        EXPECT_EQ(Stored(c.expected), ReadBytes(out));
    }
}

struct SetEntryCase {
    const char *what;
    const char *input;  // NULL: no file
    const char *section;
    const char *key;
    const char *value;
    int index;
    const char *expected;
};

TEST_F(IniFileTest, SetEntryChangesOnlyWhatItNames)
{
    const SetEntryCase cases[] = {
        {"a missing file gives the new section alone", NULL, "rename", "nul", "C:\\A", 999,
         "[rename]\nnul=C:\\A"},
        {"index 999 appends beside a key in other letter case", "[rename]\nNUL=C:\\OLD\n",
         "rename", "nul", "C:\\NEW", 999, "[rename]\nNUL=C:\\OLD\nnul=C:\\NEW"},
        {"a new section goes after the others", "; boot\n[386Enh]\nx=1\n", "Rename", "k", "v", 0,
         "; boot\n[386Enh]\nx=1\n[Rename]\nk=v"},
        {"removing from a missing section leaves it, empty", "[a]\nk=v\n", "missing", "k", NULL,
         0, "[a]\nk=v\n[missing]\n"},
        {"a null key removes the section and its lines", "[a]\nk=1\n; c\n[b]\nx=2\n", "A", NULL,
         NULL, 0, "[b]\nx=2"},
        {"the index counts only matching keys; spacing and spelling stay",
         "[s]\n k = 1\n; c\nK =  2\nk=3\n", "s", "k", "new", 1,
         "[s]\n k = 1\n; c\nK =  new\nk=3"},
        {"a null value removes the index-th match", "[s]\n k = 1\n; c\nK=2\nk=3\n", "S", "K",
         NULL, 0, "[s]\n; c\nK=2\nk=3"},
        {"verbatim lines never match", "[s]\nk\n", "s", "k", NULL, 0, "[s]\nk"},
        {"a null section changes nothing", "[s]\nk=1\n", NULL, "k", "2", 0, "[s]\nk=1"},
    };
    for (const SetEntryCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::string in = PathOf("in.ini"), out = PathOf("out.ini");
        std::filesystem::remove(in);
        if (c.input)
            WriteBytes(in, Stored(c.input));
        IniFile document;
        EXPECT_EQ(c.input ? 0 : 1, document.Load(in.c_str()));
        document.SetEntry(c.section, c.key, c.value, c.index);
        EXPECT_EQ(IniSaved, document.Save(out.c_str()));
        EXPECT_EQ(Stored(c.expected), ReadBytes(out));
    }
}

TEST_F(IniFileTest, SaveReportsWhatDidNotReachTheFile)
{
    IniFile small;
    small.SetEntry("rename", "nul", "C:\\A", 999);
    IniFile large;
    for (int i = 0; i < 2000; ++i)
        large.SetEntry("rename", "nul", "C:\\SOME\\LONGER\\PATH.EXE", 999);

    // The few bytes of the small document fail only at the flush or the
    // close; the large one already fails in its writes.
    EXPECT_EQ(IniWriteFailed, small.Save(KWRNDL_FULL_DEVICE));
    EXPECT_EQ(IniWriteFailed, large.Save(KWRNDL_FULL_DEVICE));
    EXPECT_EQ(IniCannotCreate, small.Save(PathOf("no-such-dir/out.ini").c_str()));
}

TEST_F(IniFileTest, DocumentCutShortByAReadErrorIsNotSaved)
{
    IniFile document;
    // Where a directory opens as a stream, reading it fails at once.
    if (document.Load(dir_.string().c_str()) != 0)
        GTEST_SKIP() << "directories do not open as streams here";
    document.SetEntry("rename", "nul", "C:\\A", 999);
    std::string out = PathOf("out.ini");
    WriteBytes(out, "keep");
    EXPECT_EQ(IniIncomplete, document.Save(out.c_str()));
    EXPECT_EQ("keep", ReadBytes(out));
}

}  // namespace
