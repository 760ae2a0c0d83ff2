#include "infected_host.h"

#include "fixtures.h"

#include <stddef.h>

extern const unsigned char CleanHostImage[];
extern const size_t CleanHostImageSize;

namespace {

// PE/COFF layout, written out here rather than taken from the repair so
// that the fixture checks the repair instead of echoing it.
const uint32_t LfanewField = 0x3C;
const uint32_t SectionCountField = 6;
const uint32_t OptionalHeaderSizeField = 20;
const uint32_t MagicField = 24;
const uint32_t EntryPointField = 40;
const uint32_t SectionAlignmentField = 56;
const uint32_t ImageSizeField = 80;
const uint32_t HeadersSizeField = 84;
const uint32_t ImportField = 128;
const uint32_t RelocationField = 160;
const uint32_t SectionTable = 248;
const uint32_t SectionHeaderSize = 40;
const uint32_t RecordSize = 48;
const uint32_t AddedSections = 3;
const uint32_t AddedLength = 72192;
const uint32_t AddedImageSize = 0x81000;
const int DisinfectableRow = 4;

uint32_t Get(const std::vector<uint8_t> &data, uint32_t at, int width)
{
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | data[at + i];
    return value;
}

void Put(std::vector<uint8_t> &data, uint32_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data[at + i] = (uint8_t)(value >> (8 * i));
}

void PutSectionHeader(std::vector<uint8_t> &data, uint32_t at, const char *name,
                      uint32_t virtualSize, uint32_t address, uint32_t rawSize,
                      uint32_t rawOffset, uint32_t characteristics)
{
    for (int i = 0; i < 8 && name[i]; ++i)
        data[at + i] = (uint8_t)name[i];
    Put(data, at + 8, virtualSize);
    Put(data, at + 12, address);
    Put(data, at + 16, rawSize);
    Put(data, at + 20, rawOffset);
    Put(data, at + 36, characteristics);
}

}  // namespace

std::vector<uint8_t> MakeInfectedHost(const std::vector<uint8_t> &clean)
{
    std::vector<uint8_t> none;
    uint64_t size = clean.size();
    if (size < 64 || size > 0x7FFFFFFF || clean[0] != 'M' || clean[1] != 'Z')
        return none;
    uint32_t pe = Get(clean, LfanewField, 4);
    if ((uint64_t)pe + SectionTable > size || Get(clean, pe, 4) != 0x00004550 ||
        Get(clean, pe + OptionalHeaderSizeField, 2) != 224 ||
        Get(clean, pe + MagicField, 2) != 0x10B)
        return none;
    uint32_t count = Get(clean, pe + SectionCountField, 2);
    if (count + AddedSections > 255)
        return none;
    uint32_t table = pe + SectionTable;
    uint32_t added = table + SectionHeaderSize * count;
    uint32_t end = added + SectionHeaderSize * AddedSections + RecordSize;
    if (end > size || end > Get(clean, pe + HeadersSizeField, 4))
        return none;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t header = table + SectionHeaderSize * i;
        if (Get(clean, header + 16, 4) != 0 && Get(clean, header + 20, 4) < end)
            return none;
    }
    for (uint32_t at = added; at < end; ++at)
        if (clean[at] != 0)
            return none;

    std::vector<uint8_t> host = clean;
    uint32_t alignment = Get(clean, pe + SectionAlignmentField, 4);
    uint32_t imageSize = Get(clean, pe + ImageSizeField, 4);
    if (alignment == 0 || (alignment & (alignment - 1)) != 0)
        alignment = 0x1000;
    uint32_t base = (imageSize + alignment - 1) & ~(alignment - 1);
    uint32_t fileEnd = (uint32_t)size;
    PutSectionHeader(host, added, "UPX0", 0x70000, base, 0, 0, 0xE0000080);
    PutSectionHeader(host, added + 40, "UPX1", 0x10000, base + 0x70000, 0x11000, fileEnd,
                     0xE0000040);
    PutSectionHeader(host, added + 80, "UPX2", 0x1000, base + 0x80000, AddedLength - 0x11000,
                     fileEnd + 0x11000, 0xC0000040);

    uint32_t record = added + SectionHeaderSize * AddedSections;
    Put(host, record + 0, Get(clean, pe + EntryPointField, 4));
    Put(host, record + 4, Get(clean, pe + RelocationField, 4));
    Put(host, record + 8, Get(clean, pe + RelocationField + 4, 4));
    Put(host, record + 12, Get(clean, pe + ImportField, 4));
    Put(host, record + 16, Get(clean, pe + ImportField + 4, 4));
    for (uint32_t i = 20; i < RecordSize; ++i)
        host[record + i] = (uint8_t)(0xA0 + i);

    Put(host, pe + EntryPointField, base + 0x7F3C0);
    Put(host, pe + ImportField, base + 0x80000);
    Put(host, pe + ImportField + 4, 0x1E0);
    Put(host, pe + RelocationField, base + 0x80800);
    Put(host, pe + RelocationField + 4, 0x0C);
    host[pe + SectionCountField] = (uint8_t)(count + AddedSections);
    Put(host, pe + ImageSizeField, imageSize + AddedImageSize);

    host.resize(size + AddedLength);
    for (uint32_t i = 0; i < AddedLength; ++i)
        host[fileEnd + i] = (uint8_t)(0x5A ^ (i * 13) ^ (i >> 7));
    ForceSignatureRow(host, DisinfectableRow);
    return host;
}

std::vector<uint8_t> CleanHostProgram()
{
    return std::vector<uint8_t>(CleanHostImage, CleanHostImage + CleanHostImageSize);
}
