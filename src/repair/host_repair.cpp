#include "repair/host_repair.h"

#include "trace/trace.h"

#include <string.h>

namespace {

// Positions in the DOS header and from the PE signature on.
const uint64_t PeOffsetField = 60;
const uint64_t SectionCountField = 6;
const uint64_t EntryPointField = 40;
const uint64_t ImageSizeField = 80;
const uint64_t ImportAddressField = 128;
const uint64_t ImportSizeField = 132;
const uint64_t RelocationAddressField = 160;
const uint64_t RelocationSizeField = 164;
// Behind a standard 224-byte PE32 optional header; the stored
// SizeOfOptionalHeader is deliberately not consulted.
const uint64_t SectionTableOffset = 248;

// Offsets into the saved record.
const uint64_t RecordEntryPoint = 0;
const uint64_t RecordRelocationAddress = 4;
const uint64_t RecordRelocationSize = 8;
const uint64_t RecordImportAddress = 12;
const uint64_t RecordImportSize = 16;

// offset + width < length, without any sum that could wrap.
int Fits(uint32_t length, uint64_t offset, uint64_t width)
{
    return offset < length && width < length - offset;
}

}  // namespace

int ReadDwordAt(const uint8_t *image, uint32_t length, uint64_t offset, uint32_t *value)
{
    if (!Fits(length, offset, 4))
        return 0;
    const uint8_t *p = image + (size_t)offset;
    *value = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    return 1;
}

int ReadByteAt(const uint8_t *image, uint32_t length, uint64_t offset, uint8_t *value)
{
    if (!Fits(length, offset, 1))
        return 0;
    *value = image[(size_t)offset];
    return 1;
}

int WriteDwordAt(uint8_t *image, uint32_t length, uint64_t offset, uint32_t value)
{
    if (!Fits(length, offset, 4))
        return 0;
    uint8_t *p = image + (size_t)offset;
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
    return 1;
}

int WriteByteAt(uint8_t *image, uint32_t length, uint64_t offset, uint8_t value)
{
    if (!Fits(length, offset, 1))
        return 0;
    image[(size_t)offset] = value;
    return 1;
}

int FillAt(uint8_t *image, uint32_t length, uint64_t offset, uint8_t value, uint32_t count)
{
    if (!Fits(length, offset, count))
        return 0;
    memset(image + (size_t)offset, value, count);
    return 1;
}

int CopyDwordAt(uint8_t *image, uint32_t length, uint64_t target, uint64_t source)
{
    uint32_t value;
    if (!ReadDwordAt(image, length, source, &value))
        return 0;
    return WriteDwordAt(image, length, target, value);
}

int HostRepair(uint8_t *image, uint32_t length, uint32_t *newLength)
{
    if (length <= RepairLengthCut)
        return 0;

    uint32_t pe;
    if (!ReadDwordAt(image, length, PeOffsetField, &pe))
        return 0;
    // 64-bit positions: a hostile e_lfanew must not wrap into the DOS header.
    uint64_t table = (uint64_t)pe + SectionTableOffset;
    uint8_t count;
    if (!ReadByteAt(image, length, pe + SectionCountField, &count))
        return 0;
    TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                 "number_of_sections: %d, off_sections: 0x%x\n", count, (unsigned)table);
    // Fewer sections than the infection adds would wrap the lowered count to
    // 253..255 and turn the copy into garbage.
    if (count < RepairSectionsRemoved)
        return 0;

    for (uint32_t i = 0; i < count; ++i) {
        uint64_t header = table + (uint64_t)RepairSectionHeaderSize * i;
        uint32_t name;
        if (!ReadDwordAt(image, length, header, &name))
            return 0;
        char text[5] = {(char)name, (char)(name >> 8), (char)(name >> 16), (char)(name >> 24),
                        '\0'};
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Section name: %s\n", text);
        if ((name & 0xFFFFFF) == ('U' | 'P' << 8 | 'X' << 16)) {
            TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s", "UPX - cleaning\n");
            if (!FillAt(image, length, header, 0, RepairSectionHeaderSize))
                return 0;
        }
    }

    // Only the low byte of NumberOfSections is the infection's.
    if (!WriteByteAt(image, length, pe + SectionCountField,
                     (uint8_t)(count - RepairSectionsRemoved)))
        return 0;

    uint64_t record = table + (uint64_t)RepairSectionHeaderSize * count;
    if (!CopyDwordAt(image, length, pe + EntryPointField, record + RecordEntryPoint))
        return 0;
    uint32_t imageSize;
    if (!ReadDwordAt(image, length, pe + ImageSizeField, &imageSize) ||
        !WriteDwordAt(image, length, pe + ImageSizeField, imageSize - RepairImageSizeCut))
        return 0;
    if (!CopyDwordAt(image, length, pe + ImportAddressField, record + RecordImportAddress) ||
        !CopyDwordAt(image, length, pe + ImportSizeField, record + RecordImportSize) ||
        !CopyDwordAt(image, length, pe + RelocationAddressField,
                     record + RecordRelocationAddress) ||
        !CopyDwordAt(image, length, pe + RelocationSizeField, record + RecordRelocationSize))
        return 0;
    if (!FillAt(image, length, record, 0, RepairRecordSize))
        return 0;

    *newLength = length - RepairLengthCut;
    return 1;
}
