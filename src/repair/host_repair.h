#ifndef KWRNDL_REPAIR_HOST_REPAIR_H
#define KWRNDL_REPAIR_HOST_REPAIR_H

#include <stdint.h>

// The infection's fixed sizes.
enum {
    RepairLengthCut = 72192,      // bytes appended to the host (0x11A00)
    RepairImageSizeCut = 0x81000, // added to SizeOfImage
    RepairSectionsRemoved = 3,
    RepairSectionHeaderSize = 40,
    RepairRecordSize = 48,        // saved header values behind the last section header
};

// Bounded access to a memory image of `length` bytes, little-endian. Each
// returns 0 and changes nothing when offset + width >= length, so a field that
// ends exactly at the end of the image is refused too; otherwise it performs
// the access and returns 1. Offsets are 64-bit and the bound is taken without
// wrap-around, so a header value near 4 GiB plus a field offset can never
// wrap back into the image.
int ReadDwordAt(const uint8_t *image, uint32_t length, uint64_t offset, uint32_t *value);
int ReadByteAt(const uint8_t *image, uint32_t length, uint64_t offset, uint8_t *value);
int WriteDwordAt(uint8_t *image, uint32_t length, uint64_t offset, uint32_t value);
int WriteByteAt(uint8_t *image, uint32_t length, uint64_t offset, uint8_t value);
int FillAt(uint8_t *image, uint32_t length, uint64_t offset, uint8_t value, uint32_t count);
// Reads at source, then writes at target; no write after a refused read.
int CopyDwordAt(uint8_t *image, uint32_t length, uint64_t target, uint64_t source);

// Cuts the malicious code's section headers and saved record out of the
// memory image of an infected host's copy and restores the saved entry point,
// import and relocation directories. 1 with *newLength = length - 72192, to
// which the caller cuts the file; 0 (and *newLength untouched) for an image
// of 72192 bytes or fewer, a section count below 3, or a field outside the
// image; a refusal can leave the image partly changed.
int HostRepair(uint8_t *image, uint32_t length, uint32_t *newLength);

#endif
