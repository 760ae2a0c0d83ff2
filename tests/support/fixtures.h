#ifndef KWRNDL_TESTS_FIXTURES_H
#define KWRNDL_TESTS_FIXTURES_H

#include <stdint.h>

#include <vector>

// Sample makers. CRC-32 is linear, so four chosen bytes of a region give the
// region any CRC; no real malware is needed.

// Rewrites region[patchOffset .. patchOffset+4) so that Crc32(region,
// length) == crc. patchOffset + 4 must not exceed length.
void ForceCrc32(uint8_t *region, uint32_t length, uint32_t patchOffset, uint32_t crc);

// A file of `size` bytes (filled with a repeating non-zero pattern) that
// matches row `row` of the built-in table; size must be large enough for the
// row's region (and, for rows with size conditions, satisfy them).
std::vector<uint8_t> MakeSignatureSample(int row, uint32_t size);

// Makes the bytes `data` match row `row` in place, touching only the row's
// region. The region must lie inside the data.
void ForceSignatureRow(std::vector<uint8_t> &data, int row);

// Where row `row`'s region starts in a file of `size` bytes.
uint32_t SignatureRegionStart(int row, uint32_t size);

#endif
