#include "detect/crc32.h"
#include "detect/signature.h"
#include "fixtures.h"
#include "test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const uint32_t HostMinimum = 72192;

std::vector<uint8_t> Filler(uint32_t size)
{
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i)
        data[i] = (uint8_t)(0x30 + (i * 13) % 71);
    return data;
}

// Gives data[start .. start+length) the CRC of the row, patching at `patch`
// (relative to start).
void ForceRegion(std::vector<uint8_t> &data, uint32_t start, uint32_t length, uint32_t patch,
                 uint32_t crc)
{
    ASSERT_LE(start + length, data.size());
    ForceCrc32(&data[start], length, patch, crc);
}

uint32_t RowCrc(int row)
{
    return (uint32_t)SignatureTable[row].crc;
}

struct MatchCase {
    const char *what;
    std::function<std::vector<uint8_t>()> make;
    int id;             // expected signature ID, -1 for a clean file
    int disinfectable;  // expected output; 7 (the preset) when not written
};

std::vector<uint8_t> HostOneByteShort()
{
    return MakeSignatureSample(4, HostMinimum - 1);
}

const MatchCase MatchCases[] = {
    {"row 0", [] { return MakeSignatureSample(0, 6000); }, 0, 0},
    {"row 1, file ends with the region", [] { return MakeSignatureSample(1, 6144); }, 1, 0},
    {"row 2", [] { return MakeSignatureSample(2, 12000); }, 2, 0},
    {"row 3, exactly 72192 bytes", [] { return MakeSignatureSample(3, HostMinimum); }, 3, 0},
    {"row 4, exactly 72192 bytes", [] { return MakeSignatureSample(4, HostMinimum); }, 4, 1},
    {"row 4, larger host", [] { return MakeSignatureSample(4, 100000); }, 4, 1},
    {"row 4, one byte short of 72192", HostOneByteShort, -1, 7},
    {"row 4, one byte short with one more in front",
     [] {
         std::vector<uint8_t> data = HostOneByteShort();
         data.insert(data.begin(), 0x4D);
         return data;
     },
     4, 1},
    {"row 3, one byte too many",
     [] {
         std::vector<uint8_t> data = MakeSignatureSample(3, HostMinimum);
         data.push_back(0);
         return data;
     },
     -1, 7},
    {"row 3, one byte too few",
     [] {
         std::vector<uint8_t> data = MakeSignatureSample(3, HostMinimum);
         data.pop_back();
         return data;
     },
     -1, 7},
    {"row 0, region one byte late",
     [] {
         std::vector<uint8_t> data = Filler(6000);
         ForceRegion(data, 1, 5632, 2816, RowCrc(0));
         return data;
     },
     -1, 7},
    {"row 3, region one byte early",
     [] {
         std::vector<uint8_t> data = Filler(HostMinimum);
         ForceRegion(data, 235, 788, 394, RowCrc(3));
         return data;
     },
     -1, 7},
    {"row 4, region one byte before the end",
     [] {
         std::vector<uint8_t> data = Filler(100000);
         ForceRegion(data, 100000 - 788, 787, 393, RowCrc(4));
         return data;
     },
     -1, 7},
    {"row 2, region cut short by the end of the file",
     [] {
         std::vector<uint8_t> data = MakeSignatureSample(2, 9216);
         data.pop_back();
         return data;
     },
     -1, 7},
    // Patches lie outside the other rows' regions, so one file holds all
    // three matches.
    {"rows 0, 1 and 2 give the lowest ID",
     [] {
         std::vector<uint8_t> data = Filler(9216);
         ForceRegion(data, 4096, 5120, 2560, RowCrc(2));
         ForceRegion(data, 1024, 5120, 2560, RowCrc(1));
         ForceRegion(data, 0, 5632, 0, RowCrc(0));
         return data;
     },
     0, 0},
    {"rows 2 and 4 give 2 and its flag",
     [] {
         std::vector<uint8_t> data = MakeSignatureSample(4, HostMinimum);
         ForceSignatureRow(data, 2);
         return data;
     },
     2, 0},
    {"rows 3 and 4 give 3",
     [] {
         std::vector<uint8_t> data = MakeSignatureSample(4, HostMinimum);
         ForceSignatureRow(data, 3);
         return data;
     },
     3, 0},
    {"empty file", [] { return std::vector<uint8_t>(); }, -1, 7},
    {"clean filler", [] { return Filler(HostMinimum); }, -1, 7},
};

TEST(MatchSignatures, CraftedFiles)
{
    std::string dir = FreshTestDir("signature_cases");
    int n = 0;
    for (const MatchCase &c : MatchCases) {
        std::string path = dir + "case" + std::to_string(n++) + ".exe";
        std::vector<uint8_t> data = c.make();
        ASSERT_TRUE(WriteFileBytes(path, data)) << c.what;
        int id = 99, disinfectable = 7;
        EXPECT_EQ(1, MatchSignatures(path.c_str(), SignatureTable, &id, &disinfectable)) << c.what;
        EXPECT_EQ(c.id, id) << c.what;
        EXPECT_EQ(c.disinfectable, disinfectable) << c.what;
    }
    RemoveTree(dir);
}

// Tables of our own for the mechanics that the built-in rows cannot reach.
struct TableCase {
    const char *what;
    SignatureRecord row;
    uint32_t fileSize;
    uint32_t regionStart;  // where the file gets the row's CRC
    uint32_t regionLength;
    int id;
};

const TableCase TableCases[] = {
    {"from-end offset equal to the size", {100, 50, 0, 0, 0, 1, 0}, 100, 0, 50, 0},
    {"from-end offset beyond the size", {101, 50, 0, 0, 0, 1, 0}, 100, 0, 50, -1},
    {"8192 bytes are read", {16, 8192, 0, 0, 0, 0, 0}, 9000, 16, 8192, 0},
    {"longer regions never match", {16, 8193, 0, 0, 0, 0, 0}, 9000, 16, 8193, -1},
    {"a negative length is a long one", {0, -1, 0, 0, 0, 0, 0}, 9000, 0, 9000, -1},
    {"minimum size met", {0, 64, 0, 0, 200, 0, 0}, 200, 0, 64, 0},
    {"minimum size missed by one", {0, 64, 0, 0, 201, 0, 0}, 200, 0, 64, -1},
};

TEST(MatchSignatures, OwnTables)
{
    std::string dir = FreshTestDir("signature_tables");
    std::string path = dir + "sample.dll";
    for (const TableCase &c : TableCases) {
        std::vector<uint8_t> data = Filler(c.fileSize);
        SignatureRecord table[2] = {c.row, {0, 0, 0, 0, 0, 0, 0}};
        table[0].crc = (int32_t)Crc32(&data[c.regionStart], c.regionLength);
        ASSERT_TRUE(WriteFileBytes(path, data)) << c.what;
        int id = 99, disinfectable = 0;
        EXPECT_EQ(1, MatchSignatures(path.c_str(), table, &id, &disinfectable)) << c.what;
        EXPECT_EQ(c.id, id) << c.what;
    }

    // A table that ends at its first row, before a row that would match.
    std::vector<uint8_t> data = Filler(200);
    ASSERT_TRUE(WriteFileBytes(path, data));
    SignatureRecord empty[3] = {
        {0, 0, 0, 0, 0, 0, 0}, {0, 64, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}};
    empty[1].crc = (int32_t)Crc32(&data[0], 64);
    int id = 99, disinfectable = 0;
    EXPECT_EQ(1, MatchSignatures(path.c_str(), empty, &id, &disinfectable));
    EXPECT_EQ(-1, id);
    RemoveTree(dir);
}

// A short read must not be completed by what the previous file left in the
// read buffer.
TEST(MatchSignatures, ShortReadDoesNotUseStaleBytes)
{
    std::string dir = FreshTestDir("signature_short");
    std::vector<uint8_t> full = Filler(100);
    SignatureRecord table[2] = {{0, 100, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}};
    table[0].crc = (int32_t)Crc32(&full[0], 100);
    std::vector<uint8_t> cut(full.begin(), full.end() - 1);
    ASSERT_TRUE(WriteFileBytes(dir + "full.exe", full));
    ASSERT_TRUE(WriteFileBytes(dir + "cut.exe", cut));
    int id = 99, disinfectable = 0;
    EXPECT_EQ(1, MatchSignatures((dir + "full.exe").c_str(), table, &id, &disinfectable));
    EXPECT_EQ(0, id);
    EXPECT_EQ(1, MatchSignatures((dir + "cut.exe").c_str(), table, &id, &disinfectable));
    EXPECT_EQ(-1, id);
    RemoveTree(dir);
}

// Writes `data` at `offset` of a sparse file, so that a file of more than
// 4 GiB costs only the blocks written.
bool WriteAt(const std::string &path, uint64_t offset, const std::vector<uint8_t> &data)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LONG high = (LONG)(offset >> 32);
    DWORD written = 0;
    bool ok = (SetFilePointer(file, (LONG)(uint32_t)offset, &high, FILE_BEGIN) !=
                   INVALID_SET_FILE_POINTER ||
               GetLastError() == NO_ERROR) &&
              WriteFile(file, &data[0], (DWORD)data.size(), &written, NULL) &&
              written == data.size();
    CloseHandle(file);
    return ok;
}

// The low 32 bits of a size of 4 GiB or more must not pass for the size.
TEST(MatchSignatures, FilesOf4GiBFailSizeConditions)
{
    std::string dir = FreshTestDir("signature_huge");
    const uint64_t FourGiB = 1ull << 32;
    std::string exact = dir + "exact.exe";
    std::vector<uint8_t> head = MakeSignatureSample(3, HostMinimum);
    ASSERT_TRUE(WriteAt(exact, 0, head));
    ASSERT_TRUE(WriteAt(exact, FourGiB, head));

    std::string host = dir + "host.exe";
    std::vector<uint8_t> tail = MakeSignatureSample(4, 100000);
    ASSERT_TRUE(WriteAt(host, FourGiB, tail));

    for (const std::string &path : {exact, host}) {
        int id = 99, disinfectable = 7;
        EXPECT_EQ(1, MatchSignatures(path.c_str(), SignatureTable, &id, &disinfectable)) << path;
        EXPECT_EQ(-1, id) << path;
    }
    // The same bytes in files below 4 GiB do match.
    ASSERT_TRUE(WriteFileBytes(exact, head));
    int id = 99, disinfectable = 7;
    EXPECT_EQ(1, MatchSignatures(exact.c_str(), SignatureTable, &id, &disinfectable));
    EXPECT_EQ(3, id);
    RemoveTree(dir);
}

struct OpenCase {
    const char *share;  // how another process holds the file; NULL: not held
    int result;
};

TEST(MatchSignatures, FilesThatDoNotOpen)
{
    std::string dir = FreshTestDir("signature_open");
    std::string path = dir + "held.exe";
    ASSERT_TRUE(WriteFileBytes(path, MakeSignatureSample(0, 6000)));
    const OpenCase cases[] = {{"none", 0}, {"read", 1}, {"readwrite", 1}};
    for (const OpenCase &c : cases) {
        HeldFile held(path, c.share);
        ASSERT_TRUE(held.Held()) << c.share;
        int id = 99, disinfectable = 7;
        EXPECT_EQ(c.result, MatchSignatures(path.c_str(), SignatureTable, &id, &disinfectable))
            << c.share;
        EXPECT_EQ(c.result ? 0 : -1, id) << c.share;
    }
    int id = 99, disinfectable = 7;
    EXPECT_EQ(0, MatchSignatures((dir + "missing.exe").c_str(), SignatureTable, &id,
                                 &disinfectable));
    EXPECT_EQ(-1, id);
    EXPECT_EQ(7, disinfectable);
    EXPECT_EQ(0, MatchSignatures(dir.c_str(), SignatureTable, &id, &disinfectable));
    RemoveTree(dir);
}

struct ScanCase {
    const char *name;
    std::function<std::vector<uint8_t>()> make;  // NULL: no such file
    int result;
    int infected;
    int disinfectable;
    const char *scanTrace;     // what ScanFile traces, with %s for the path
    const char *processTrace;  // what IsInfectedProcessFile traces
};

const ScanCase ScanCases[] = {
    {"malware.exe", [] { return MakeSignatureSample(1, 8000); }, 1, 1, 0,
     "Infected (signature ID 1, disinfectable=0): %s\n",
     "Scanning: %s Infected (signature ID 1, disinfectable=0): %s\n"},
    {"host.exe", [] { return MakeSignatureSample(4, 80000); }, 1, 1, 1,
     "Infected (signature ID 4, disinfectable=1): %s\n",
     "Scanning: %s Infected (signature ID 4, disinfectable=1): %s\n"},
    {"clean.exe", [] { return Filler(80000); }, 1, 0, 0, "", "Scanning: %s \n"},
    {"missing.exe", nullptr, 0, 0, 0, "", "Scanning: %s  failed!\n"},
};

std::string WithPath(const char *format, const std::string &path)
{
    std::string text = format;
    for (size_t at; (at = text.find("%s")) != std::string::npos;)
        text.replace(at, 2, path);
    return text;
}

TEST(ScanFile, OutputsAndTrace)
{
    std::string dir = FreshTestDir("scan_file");
    for (const ScanCase &c : ScanCases) {
        std::string path = dir + c.name;
        if (c.make) {
            ASSERT_TRUE(WriteFileBytes(path, c.make()));
        }
        {
            TraceCapture trace;
            int infected = 5, disinfectable = 0;
            EXPECT_EQ(c.result, ScanFile(path.c_str(), &infected, &disinfectable)) << c.name;
            EXPECT_EQ(c.infected, infected) << c.name;
            EXPECT_EQ(c.disinfectable, disinfectable) << c.name;
            EXPECT_EQ(WithPath(c.scanTrace, path), trace.Text()) << c.name;
        }
        {
            TraceCapture trace;
            EXPECT_EQ(c.result && c.infected, IsInfectedProcessFile(path.c_str())) << c.name;
            EXPECT_EQ(WithPath(c.processTrace, path), trace.Text()) << c.name;
        }
    }
    RemoveTree(dir);
}

}  // namespace
