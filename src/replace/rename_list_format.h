#ifndef KWRNDL_REPLACE_RENAME_LIST_FORMAT_H
#define KWRNDL_REPLACE_RENAME_LIST_FORMAT_H

#include <stdint.h>

// The guard's rename list KRBQ.REN: a 16-byte header of four 32-bit
// little-endian fields, then the body (NUL-terminated names in pairs, one
// more NUL at the end), scrambled.

enum {
    RenameListTickOffset = 0,
    RenameListOemIdOffset = 4,
    RenameListCrcOffset = 8,  // CRC-32 of the body before scrambling
    RenameListProcessorOffset = 12,
    RenameListHeaderSize = 16,
    RenameListKeyALength = 16,
    RenameListKeyBLength = 17,
};

// Shared with the guard, which unscrambles the body with the same keys.
extern const uint8_t RenameListKeyA[RenameListKeyALength];
extern const uint8_t RenameListKeyB[RenameListKeyBLength];

// Byte i of the body is XORed with A[i mod 16] ^ B[i mod 17]; applying it
// twice restores the body.
void ScrambleRenameBody(uint8_t *body, uint32_t length);

void PutLittleEndian32(uint8_t *field, uint32_t value);

#endif
