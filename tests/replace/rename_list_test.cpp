// The guard's rename list as written to disk, decoded the way the guard
// reads it, with the maker's common directory in the real registry.
#include "replace_test_support.h"

#include "replace/rename_list.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

// CRC-32 of the plain bodies, worked out apart from the tool.
const uint32_t EmptyBodyCrc = 0xD202EF8D;  // one NUL byte
const uint32_t OnePairBodyCrc = 0x9B18455E;  // C:\A.EXE, C:\B.EXE

class RenameListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = FreshTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        DeleteCommonPathKey();
    }
    void TearDown() override
    {
        DeleteCommonPathKey();
        RemoveTree(dir_.substr(0, dir_.size() - 1));
    }

    std::string dir_;
};

TEST_F(RenameListTest, ListsDecodeWithHeaderCrcAndBody)
{
    struct Case {
        const char *what;
        std::vector<std::string> names;
        size_t fileSize;
        uint32_t crc;
    } cases[] = {
        {"no pair: the body is one NUL", {}, 17, EmptyBodyCrc},
        {"one pair", {"C:\\A.EXE", "C:\\B.EXE"}, 35, OnePairBodyCrc},
    };
    ASSERT_TRUE(SetCommonPath(dir_));
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int status = -1;
        DWORD before = GetTickCount();
        FILE *list = OpenRenameList(&status);
        DWORD after = GetTickCount();
        ASSERT_TRUE(list != NULL) << status;
        EXPECT_EQ(RenameListOk, status);
        for (size_t i = 0; i + 1 < c.names.size(); i += 2) {
            EXPECT_EQ(1, AddRenamePair(list, c.names[i].c_str(), c.names[i + 1].c_str(), &status));
            EXPECT_EQ(RenameListOk, status);
        }
        EXPECT_EQ(1, CloseRenameList(list, &status));
        EXPECT_EQ(RenameListOk, status);

        DecodedRenameList decoded = DecodeRenameList(dir_ + "KRBQ.REN");
        ASSERT_TRUE(decoded.read);
        EXPECT_EQ(c.fileSize, decoded.fileSize);
        EXPECT_EQ(RenameListBody(c.names), decoded.body);
        EXPECT_EQ(c.crc, decoded.crc);
        EXPECT_LE(before, decoded.tickCount);
        EXPECT_GE(after, decoded.tickCount);
        EXPECT_EQ(system.dwOemId, decoded.oemId);
        EXPECT_EQ(system.dwProcessorType & 0xFFFFu, decoded.processorType);
    }
}

TEST_F(RenameListTest, BodyIsScrambledOnDisk)
{
    ASSERT_TRUE(SetCommonPath(dir_));
    // Long enough for both keys to come round more than once.
    std::string name(300, 'a');
    int status = -1;
    FILE *list = OpenRenameList(&status);
    ASSERT_TRUE(list != NULL);
    EXPECT_EQ(1, AddRenamePair(list, name.c_str(), "b", &status));
    EXPECT_EQ(1, CloseRenameList(list, &status));

    std::vector<uint8_t> raw = ReadFileBytes(dir_ + "KRBQ.REN");
    ASSERT_EQ(16u + 300 + 1 + 2 + 1, raw.size());
    // Equal plain bytes scramble alike only 272 bytes apart.
    EXPECT_NE(raw[16], raw[17]);
    EXPECT_NE(raw[16], raw[16 + 16]);
    EXPECT_NE(raw[16], raw[16 + 17]);
    EXPECT_EQ(raw[16], raw[16 + 272]);
    EXPECT_EQ(RenameListBody({name, "b"}), DecodeRenameList(dir_ + "KRBQ.REN").body);
}

TEST_F(RenameListTest, FileNameTakesOneBackslashAfterTheDirectory)
{
    // Under the \\?\ prefix a doubled backslash is not folded away, so only
    // the right name opens.
    const std::string plain = dir_.substr(0, dir_.size() - 1);
    const std::string forms[] = {plain, dir_, "\\\\?\\" + dir_, "\\\\?\\" + plain};
    for (const std::string &form : forms) {
        SCOPED_TRACE(form);
        DeleteFileA((dir_ + "KRBQ.REN").c_str());
        ASSERT_TRUE(SetCommonPath(form));
        int status = -1;
        FILE *list = OpenRenameList(&status);
        ASSERT_TRUE(list != NULL) << status;
        EXPECT_EQ(1, CloseRenameList(list, &status));
        EXPECT_EQ(17u, DecodeRenameList(dir_ + "KRBQ.REN").fileSize);
    }
}

TEST_F(RenameListTest, CommonDirectoryThatCannotBeHadFailsTheOpen)
{
    const std::string longest(259, 'd');  // fits the buffer, not the file name
    const std::string tooLong(260, 'd');  // its NUL no longer fits
    const DWORD number = 7;
    struct Case {
        const char *what;
        bool makeKey;
        DWORD type;
        const void *data;
        DWORD size;
        int readResult;
        int status;
    } cases[] = {
        {"no key", false, REG_SZ, NULL, 0, -1, RenameListNoCommonPath},
        {"no value", true, REG_NONE, NULL, 0, -1, RenameListNoCommonPath},
        {"not a string", true, REG_DWORD, &number, sizeof number, -1, RenameListNoCommonPath},
        {"an expandable string", true, REG_EXPAND_SZ, "C:\\", 4, -1, RenameListNoCommonPath},
        {"longer than the buffer", true, REG_SZ, tooLong.c_str(), 261, -2,
         RenameListNoCommonPath},
        {"a file name that does not fit", true, REG_SZ, longest.c_str(), 260, 0,
         RenameListCannotOpen},
        {"a directory that does not exist", true, REG_SZ, "C:\\kwtest\\no-such-dir", 23, 0,
         RenameListCannotOpen},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DeleteCommonPathKey();
        if (c.makeKey && c.type == REG_NONE) {
            ASSERT_TRUE(SetCommonPathValue(REG_SZ, "x", 2));
            HKEY key = NULL;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                                   "Software\\Vantorel\\Common\\Paths", 0,
                                                   KEY_SET_VALUE, &key));
            RegDeleteValueA(key, "Common");
            RegCloseKey(key);
        } else if (c.makeKey) {
            ASSERT_TRUE(SetCommonPathValue(c.type, c.data, c.size));
        }
        char buffer[MAX_PATH];
        EXPECT_EQ(c.readResult, ReadCommonPath(buffer, sizeof buffer));
        int status = -1;
        FILE *list = OpenRenameList(&status);
        EXPECT_TRUE(list == NULL);
        if (list)
            fclose(list);
        EXPECT_EQ(c.status, status);
    }
}

TEST_F(RenameListTest, EmptyNameIsRefusedAndTheListStaysWhole)
{
    ASSERT_TRUE(SetCommonPath(dir_));
    int status = -1;
    FILE *list = OpenRenameList(&status);
    ASSERT_TRUE(list != NULL);
    EXPECT_EQ(1, AddRenamePair(list, "C:\\A.EXE", "C:\\B.EXE", &status));
    // An empty name would end the list for the guard right there.
    EXPECT_EQ(0, AddRenamePair(list, "", "C:\\C.EXE", &status));
    EXPECT_EQ(RenameListIoError, status);
    EXPECT_EQ(1, CloseRenameList(list, &status));
    DecodedRenameList decoded = DecodeRenameList(dir_ + "KRBQ.REN");
    EXPECT_EQ(RenameListBody({"C:\\A.EXE", "C:\\B.EXE"}), decoded.body);
    EXPECT_EQ(OnePairBodyCrc, decoded.crc);

    EXPECT_EQ(0, CloseRenameList(NULL, &status));
    EXPECT_EQ(RenameListIoError, status);
}

TEST_F(RenameListTest, ListOnAFullDiskIsNotFinished)
{
    // KRBQ.REN there is the full device: every write fails for want of
    // space, though the small blocks go no further than the stream's buffer.
    ASSERT_TRUE(SetCommonPath(KWRNDL_FULL_DISK_DIR));
    int status = -1;
    FILE *list = OpenRenameList(&status);
    ASSERT_TRUE(list != NULL) << status;
    EXPECT_EQ(1, AddRenamePair(list, "C:\\A.EXE", "C:\\B.EXE", &status));
    EXPECT_EQ(0, CloseRenameList(list, &status));
    EXPECT_EQ(RenameListIoError, status);
}

}  // namespace
