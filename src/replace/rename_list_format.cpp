#include "replace/rename_list_format.h"

const uint8_t RenameListKeyA[RenameListKeyALength] = {
    0x5A, 0xC3, 0x17, 0x9E, 0x24, 0xB8, 0x6D, 0xF1,
    0x08, 0x93, 0x4E, 0xA7, 0x3C, 0xD5, 0x61, 0xEA,
};

const uint8_t RenameListKeyB[RenameListKeyBLength] = {
    0xB4, 0x29, 0x7F, 0xD0, 0x46, 0x8B, 0xE2, 0x15, 0x9A,
    0x73, 0xCE, 0x01, 0x58, 0xA6, 0x3D, 0xF9, 0x62,
};

void ScrambleRenameBody(uint8_t *body, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i)
        body[i] ^= (uint8_t)(RenameListKeyA[i % RenameListKeyALength] ^
                             RenameListKeyB[i % RenameListKeyBLength]);
}

void PutLittleEndian32(uint8_t *field, uint32_t value)
{
    field[0] = (uint8_t)value;
    field[1] = (uint8_t)(value >> 8);
    field[2] = (uint8_t)(value >> 16);
    field[3] = (uint8_t)(value >> 24);
}
