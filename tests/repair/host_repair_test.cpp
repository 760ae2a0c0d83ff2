#include "repair/host_repair.h"

#include "guarded_image.h"
#include "infected_host.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

const uint32_t Untouched = 0xDEADBEEF;
const uint32_t Cut = 72192;

// What the infection left in the headers of the synthetic host...
const uint32_t InfectedEntry = 0x0009F3C0;
const uint32_t InfectedImageSize = 0x00092000;
const uint32_t InfectedImportAddress = 0x00091000;
const uint32_t InfectedImportSize = 0x000001E0;
const uint32_t InfectedRelocationAddress = 0x00091800;
const uint32_t InfectedRelocationSize = 0x0000000C;
// ...and what its record saved.
const uint32_t SavedEntry = 0x000014B0;
const uint32_t SavedRelocationAddress = 0x0000A000;
const uint32_t SavedRelocationSize = 0x0000024C;
const uint32_t SavedImportAddress = 0x00007000;
const uint32_t SavedImportSize = 0x00000488;

uint32_t GetDword(const std::vector<uint8_t> &data, uint64_t at)
{
    return (uint32_t)data[at] | (uint32_t)data[at + 1] << 8 | (uint32_t)data[at + 2] << 16 |
           (uint32_t)data[at + 3] << 24;
}

void PutDword(std::vector<uint8_t> &data, uint64_t at, uint32_t value)
{
    for (int k = 0; k < 4; ++k)
        data[at + k] = (uint8_t)(value >> (8 * k));
}

// The headers of an infected host of `length` bytes with its PE header at
// pe and one section header per name, then the saved record; whatever would
// lie beyond the image is left out, so hostile layouts are as easy to build
// as sound ones. Every other byte is non-zero.
std::vector<uint8_t> SyntheticHost(uint32_t length, uint32_t pe,
                                   const std::vector<std::string> &names)
{
    std::vector<uint8_t> image(length);
    for (uint32_t i = 0; i < length; ++i)
        image[i] = (uint8_t)(0x31 + i % 199);
    auto put8 = [&](uint64_t at, uint8_t value) {
        if (at < length)
            image[at] = value;
    };
    auto put32 = [&](uint64_t at, uint32_t value) {
        for (int k = 0; k < 4; ++k)
            put8(at + k, (uint8_t)(value >> (8 * k)));
    };
    put32(60, pe);
    put8((uint64_t)pe + 6, (uint8_t)names.size());
    put8((uint64_t)pe + 7, 0);
    put32((uint64_t)pe + 40, InfectedEntry);
    put32((uint64_t)pe + 80, InfectedImageSize);
    put32((uint64_t)pe + 128, InfectedImportAddress);
    put32((uint64_t)pe + 132, InfectedImportSize);
    put32((uint64_t)pe + 160, InfectedRelocationAddress);
    put32((uint64_t)pe + 164, InfectedRelocationSize);
    uint64_t table = (uint64_t)pe + 248;
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t k = 0; k < 8; ++k)
            put8(table + 40 * i + k, k < names[i].size() ? (uint8_t)names[i][k] : 0);
    uint64_t record = table + 40 * names.size();
    put32(record + 0, SavedEntry);
    put32(record + 4, SavedRelocationAddress);
    put32(record + 8, SavedRelocationSize);
    put32(record + 12, SavedImportAddress);
    put32(record + 16, SavedImportSize);
    return image;
}

// count headers, the last (up to) three of them the infection's.
std::vector<std::string> SectionNames(int count)
{
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        int fromEnd = count - i;
        names.push_back(fromEnd <= 3 ? "UPX" + std::to_string(3 - fromEnd)
                                     : ".s" + std::to_string(i));
    }
    return names;
}

// "" when equal, else where they first part: whole images are too long for
// gtest to print usefully.
std::string FirstDifference(const std::vector<uint8_t> &expected,
                            const std::vector<uint8_t> &actual)
{
    std::ostringstream out;
    size_t n = expected.size() < actual.size() ? expected.size() : actual.size();
    for (size_t i = 0; i < n; ++i)
        if (expected[i] != actual[i]) {
            out << "first difference at offset 0x" << std::hex << i << ": expected 0x"
                << (int)expected[i] << ", got 0x" << (int)actual[i];
            return out.str();
        }
    if (expected.size() != actual.size())
        out << "sizes differ: expected " << expected.size() << ", got " << actual.size();
    return out.str();
}

enum AccessKind { ReadDword, ReadByte, WriteDword, WriteByte, Fill, CopyDword };

struct AccessCase {
    const char *what;
    AccessKind kind;
    uint32_t length;
    uint64_t offset;   // the target for CopyDword
    uint64_t operand;  // Fill's count, CopyDword's source
    int accepted;
};

const AccessCase AccessCases[] = {
    {"dword inside", ReadDword, 16, 11, 0, 1},
    {"dword ending at the end", ReadDword, 16, 12, 0, 0},
    {"dword whose 32-bit end wraps to 2", ReadDword, 16, 0xFFFFFFFEu, 0, 0},
    {"dword at 4 GiB + 2", ReadDword, 16, 0x100000002ull, 0, 0},
    {"dword in an empty image", ReadDword, 0, 0, 0, 0},
    {"byte inside", ReadByte, 16, 14, 0, 1},
    {"byte at the last position", ReadByte, 16, 15, 0, 0},
    {"byte at 4 GiB - 1", ReadByte, 16, 0xFFFFFFFFu, 0, 0},
    {"dword write inside", WriteDword, 16, 11, 0, 1},
    {"dword write ending at the end", WriteDword, 16, 12, 0, 0},
    {"dword write whose 32-bit end wraps to 1", WriteDword, 16, 0xFFFFFFFDu, 0, 0},
    {"byte write inside", WriteByte, 16, 14, 0, 1},
    {"byte write at the last position", WriteByte, 16, 15, 0, 0},
    {"fill inside", Fill, 16, 4, 11, 1},
    {"fill ending at the end", Fill, 16, 4, 12, 0},
    {"empty fill inside", Fill, 16, 15, 0, 1},
    {"empty fill at the end", Fill, 16, 16, 0, 0},
    {"fill whose 32-bit end wraps", Fill, 16, 1, 0xFFFFFFFFu, 0},
    {"copy inside", CopyDword, 16, 0, 11, 1},
    {"copy whose write ends at the end", CopyDword, 16, 12, 0, 0},
    {"copy whose read ends at the end", CopyDword, 16, 0, 12, 0},
};

TEST(HostRepairAccessors, RefuseWhatReachesTheEndAndChangeNothing)
{
    for (const AccessCase &c : AccessCases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> before(c.length);
        for (uint32_t i = 0; i < c.length; ++i)
            before[i] = (uint8_t)(0x10 + i);
        std::vector<uint8_t> expected = before;
        GuardedImage image(before);
        uint32_t dword = Untouched;
        uint8_t byte = 0xA5;
        int result = -1;
        switch (c.kind) {
        case ReadDword:
            result = ReadDwordAt(image.Data(), image.Size(), c.offset, &dword);
            EXPECT_EQ(c.accepted ? GetDword(before, c.offset) : Untouched, dword);
            break;
        case ReadByte:
            result = ReadByteAt(image.Data(), image.Size(), c.offset, &byte);
            EXPECT_EQ(c.accepted ? before[c.offset] : 0xA5, byte);
            break;
        case WriteDword:
            result = WriteDwordAt(image.Data(), image.Size(), c.offset, 0xA1B2C3D4);
            if (c.accepted)
                PutDword(expected, c.offset, 0xA1B2C3D4);
            break;
        case WriteByte:
            result = WriteByteAt(image.Data(), image.Size(), c.offset, 0x5E);
            if (c.accepted)
                expected[c.offset] = 0x5E;
            break;
        case Fill:
            result = FillAt(image.Data(), image.Size(), c.offset, 0xEE, (uint32_t)c.operand);
            for (uint64_t i = 0; c.accepted && i < c.operand; ++i)
                expected[c.offset + i] = 0xEE;
            break;
        case CopyDword:
            result = CopyDwordAt(image.Data(), image.Size(), c.offset, c.operand);
            if (c.accepted)
                PutDword(expected, c.offset, GetDword(before, c.operand));
            break;
        }
        EXPECT_EQ(c.accepted, result);
        EXPECT_EQ("", FirstDifference(expected, image.Bytes()));
        EXPECT_TRUE(image.CanariesIntact());
    }
}

TEST(HostRepair, ClearsTheInfectionsHeadersAndRestoresTheSavedFields)
{
    const uint32_t length = 80000, pe = 0x80;
    std::vector<uint8_t> before =
        SyntheticHost(length, pe, {".text", "ab", "UPX0", "UPX1", "UPX2"});
    before[pe + 7] = 0x01;  // high byte of NumberOfSections: not the infection's

    std::vector<uint8_t> expected = before;
    expected[pe + 6] = 2;
    PutDword(expected, pe + 40, SavedEntry);
    PutDword(expected, pe + 80, InfectedImageSize - 0x81000);
    PutDword(expected, pe + 128, SavedImportAddress);
    PutDword(expected, pe + 132, SavedImportSize);
    PutDword(expected, pe + 160, SavedRelocationAddress);
    PutDword(expected, pe + 164, SavedRelocationSize);
    // Three 40-byte headers and the 48-byte record behind them.
    for (uint32_t i = pe + 248 + 2 * 40; i < pe + 248 + 5 * 40 + 48; ++i)
        expected[i] = 0;

    GuardedImage image(before);
    uint32_t newLength = Untouched;
    TraceCapture capture;
    ASSERT_EQ(1, HostRepair(image.Data(), image.Size(), &newLength));
    EXPECT_EQ(length - Cut, newLength);
    EXPECT_EQ("", FirstDifference(expected, image.Bytes()));
    EXPECT_TRUE(image.CanariesIntact());
    EXPECT_EQ("number_of_sections: 5, off_sections: 0x178\n"
              "Section name: .tex\n"
              "Section name: ab\n"
              "Section name: UPX0\n"
              "UPX - cleaning\n"
              "Section name: UPX1\n"
              "UPX - cleaning\n"
              "Section name: UPX2\n"
              "UPX - cleaning\n",
              capture.Text());
}

struct NameCase {
    const char *name;
    bool cleared;
};

const NameCase NameCases[] = {
    {"UPX0", true}, {"UPXx", true}, {"UPX", true},     {"UPX!abcd", true},
    {"upx0", false}, {"UPx0", false}, {"xUPX", false}, {".text", false},
};

TEST(HostRepair, ClearsHeadersByTheirFirstThreeNameBytes)
{
    const uint32_t pe = 0x80, first = pe + 248;
    for (const NameCase &c : NameCases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> before = SyntheticHost(80000, pe, {c.name, ".data", ".rsrc"});
        GuardedImage image(before);
        uint32_t newLength = Untouched;
        ASSERT_EQ(1, HostRepair(image.Data(), image.Size(), &newLength));
        std::vector<uint8_t> after = image.Bytes();
        std::vector<uint8_t> header(after.begin() + first, after.begin() + first + 40);
        std::vector<uint8_t> expected(before.begin() + first, before.begin() + first + 40);
        if (c.cleared)
            expected.assign(40, 0);
        EXPECT_EQ(expected, header);
        // Lowered by three however many headers were cleared.
        EXPECT_EQ(0, after[pe + 6]);
    }
}

struct HostileCase {
    const char *what;
    uint32_t length;
    uint32_t pe;
    int sections;
    int result;
    bool unchanged;  // refused before the first write
};

// Where the headers end: the table of `sections` headers and the record.
uint32_t HeadersSpan(int sections)
{
    return 248 + 40 * sections + 48;
}

const uint32_t Least = Cut + 1;

const HostileCase HostileCases[] = {
    {"72192 bytes", Cut, 0x80, 5, 0, true},
    {"72193 bytes, record ending one byte before the end", Least, Least - HeadersSpan(3) - 1, 3,
     1, false},
    {"72193 bytes, record ending at the end", Least, Least - HeadersSpan(3), 3, 0, false},
    {"record starting at the last byte", 80000, 80000 - HeadersSpan(3) + 47, 3, 0, false},
    {"section table crossing the end", Least, Least - 248 - 100, 3, 0, false},
    {"section count as the last byte", Least, Least - 7, 3, 0, true},
    {"e_lfanew past the end", Least, Least + 1000, 3, 0, true},
    // In 32 bits pe + 6 and pe + 248 would wrap to small offsets inside
    // the image, where the pattern bytes make a plausible table.
    {"e_lfanew 0xFFFFFFFF", Least, 0xFFFFFFFFu, 3, 0, true},
    {"e_lfanew 0xFFFFFFFA", Least, 0xFFFFFFFAu, 3, 0, true},
    {"e_lfanew 0x80000000", Least, 0x80000000u, 3, 0, true},
    {"0 sections", 80000, 0x80, 0, 0, true},
    {"1 section", 80000, 0x80, 1, 0, true},
    {"2 sections", 80000, 0x80, 2, 0, true},
    {"255 sections running past the end", Least, 65536, 255, 0, false},
};

TEST(HostRepair, RefusesHostileHostsWithoutStrayAccess)
{
    for (const HostileCase &c : HostileCases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> before = SyntheticHost(c.length, c.pe, SectionNames(c.sections));
        GuardedImage image(before);
        uint32_t newLength = Untouched;
        EXPECT_EQ(c.result, HostRepair(image.Data(), image.Size(), &newLength));
        EXPECT_EQ(c.result ? c.length - Cut : Untouched, newLength);
        EXPECT_TRUE(image.CanariesIntact());
        if (c.unchanged) {
            EXPECT_EQ("", FirstDifference(before, image.Bytes()));
        }
    }
}

TEST(HostRepair, WritesNoTraceForATooShortImage)
{
    std::vector<uint8_t> before = SyntheticHost(Cut, 0x80, SectionNames(3));
    GuardedImage image(before);
    uint32_t newLength = Untouched;
    TraceCapture capture;
    EXPECT_EQ(0, HostRepair(image.Data(), image.Size(), &newLength));
    EXPECT_EQ("", capture.Text());
}

// A few thousand damaged copies of a real infected host, each alone in its
// block: the sanitizers (natively) and the canaries (under Wine) catch any
// access outside it.
TEST(HostRepair, StaysInsideMutatedHosts)
{
    const std::vector<uint8_t> host = MakeInfectedHost(CleanHostProgram());
    ASSERT_FALSE(host.empty());
    const uint32_t pe = GetDword(host, 60);
    const uint32_t headerSpan = 1100;
    std::mt19937 random(0x4B57524Eu);
    TraceCapture capture;  // keeps thousands of repairs' lines off the debugger output
    int repaired = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = host;
        switch (round % 6) {
        case 0:  // a few header bytes
            for (uint32_t n = 1 + random() % 6; n > 0; --n)
                bytes[random() % 1024] = (uint8_t)random();
            break;
        case 1:  // e_lfanew anywhere, or just short of the end
            PutDword(bytes, 60, round % 12 == 1 ? (uint32_t)random()
                                                : (uint32_t)bytes.size() - random() % 600);
            break;
        case 2: {  // the headers moved toward the end of a cut image
            uint32_t length = Least + random() % ((uint32_t)host.size() - Least + 1);
            uint32_t at = length - 1 - random() % headerSpan;
            for (uint32_t k = 0; k < headerSpan && at + k < length; ++k)
                bytes[at + k] = host[pe + k];
            PutDword(bytes, 60, at);
            bytes.resize(length);
            break;
        }
        case 3:  // any section count
            bytes[pe + 6] = (uint8_t)random();
            break;
        case 4:  // cut anywhere
            bytes.resize(random() % (host.size() + 1));
            break;
        case 5:  // cut near the shortest length the repair takes
            bytes.resize(Cut - 8 + random() % 16);
            break;
        }
        GuardedImage image(bytes);
        uint32_t newLength = Untouched;
        int result = HostRepair(image.Data(), image.Size(), &newLength);
        ASSERT_TRUE(image.CanariesIntact()) << "round " << round;
        if (result == 1) {
            ASSERT_EQ(image.Size() - Cut, newLength) << "round " << round;
            ++repaired;
        } else {
            ASSERT_EQ(0, result) << "round " << round;
            ASSERT_EQ(Untouched, newLength) << "round " << round;
            ++refused;
        }
    }
    // Mutations that never reach one of the outcomes would prove little.
    EXPECT_GT(repaired, 0);
    EXPECT_GT(refused, 0);
}

struct MakerCase {
    const char *what;
    uint32_t at;      // byte to change, or the length to cut to when cut is set
    uint8_t value;
    bool cut;
};

TEST(InfectedHostMaker, RefusesProgramsItCannotInfect)
{
    const std::vector<uint8_t> clean = CleanHostProgram();
    ASSERT_FALSE(MakeInfectedHost(clean).empty());
    const uint32_t pe = GetDword(clean, 60);
    const uint32_t slack = pe + 248 + 40 * clean[pe + 6];
    const MakerCase cases[] = {
        {"empty", 0, 0, true},
        {"cut inside the section table", slack - 20, 0, true},
        {"no PE signature", pe, 'X', false},
        {"PE32+ optional header", pe + 25, 0x02, false},
        {"optional header of 240 bytes", pe + 20, 240, false},
        {"header slack in use", slack + 100, 0x01, false},
    };
    for (const MakerCase &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> program = clean;
        if (c.cut)
            program.resize(c.at);
        else
            program[c.at] = c.value;
        EXPECT_TRUE(MakeInfectedHost(program).empty());
    }
}

}  // namespace
