#include "detect/signature.h"

static_assert(sizeof(SignatureRecord) == 28, "seven 32-bit fields");

// offset, length, crc, exact size, minimum size, from end, disinfectable
const SignatureRecord SignatureTable[] = {
    {0, 5632, (int32_t)0x651C2029u, 0, 0, 0, 0},
    {1024, 5120, (int32_t)0x51FC2D8Du, 0, 0, 0, 0},
    {4096, 5120, (int32_t)0xB0232BC6u, 0, 0, 0, 0},
    {236, 788, (int32_t)0xBE483BCDu, 72192, 0, 0, 0},
    {787, 787, (int32_t)0x3DC1FCAFu, 0, 72192, 1, 1},
    {0, 0, 0, 0, 0, 0, 0},
};
