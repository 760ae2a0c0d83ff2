#include "fixtures.h"

#include "detect/crc32.h"
#include "detect/signature.h"

#include <assert.h>

namespace {

uint32_t TableEntry(uint32_t i)
{
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    return c;
}

// The register after feeding bytes (no final complement).
uint32_t Feed(uint32_t reg, const uint8_t *p, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        reg = TableEntry((reg ^ p[i]) & 0xFF) ^ (reg >> 8);
    return reg;
}

// One byte step backwards: the table entries have distinct top bytes.
uint32_t Unfeed(uint32_t after, uint8_t byte)
{
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t t = TableEntry(i);
        if ((t >> 24) == (after >> 24))
            return ((after ^ t) << 8) | (i ^ byte);
    }
    assert(!"unreachable");
    return 0;
}

}  // namespace

void ForceCrc32(uint8_t *region, uint32_t length, uint32_t patchOffset, uint32_t crc)
{
    assert(patchOffset + 4 <= length);
    uint32_t before = Feed(0xFFFFFFFFu, region, patchOffset);
    uint32_t after = crc ^ 0xFFFFFFFFu;
    for (uint32_t i = length; i > patchOffset + 4; --i)
        after = Unfeed(after, region[i - 1]);
    // Four zero bytes from (before ^ patch) must lead to `after`.
    uint32_t state = after;
    for (int k = 0; k < 4; ++k)
        state = Unfeed(state, 0);
    uint32_t patch = state ^ before;
    for (int k = 0; k < 4; ++k)
        region[patchOffset + k] = (uint8_t)(patch >> (8 * k));
}

uint32_t SignatureRegionStart(int row, uint32_t size)
{
    const SignatureRecord &r = SignatureTable[row];
    return r.fromEnd ? size - (uint32_t)r.offset : (uint32_t)r.offset;
}

void ForceSignatureRow(std::vector<uint8_t> &data, int row)
{
    const SignatureRecord &r = SignatureTable[row];
    uint32_t start = SignatureRegionStart(row, (uint32_t)data.size());
    assert(start + (uint32_t)r.length <= data.size());
    // Patch the middle of the region, away from any header bytes at its start.
    uint32_t patch = (uint32_t)r.length / 2;
    ForceCrc32(&data[start], (uint32_t)r.length, patch, (uint32_t)r.crc);
    assert(Crc32(&data[start], (uint32_t)r.length) == (uint32_t)r.crc);
}

std::vector<uint8_t> MakeSignatureSample(int row, uint32_t size)
{
    std::vector<uint8_t> data(size);
    for (uint32_t i = 0; i < size; ++i)
        data[i] = (uint8_t)(0x41 + (i * 7) % 23);
    ForceSignatureRow(data, row);
    return data;
}
