#ifndef KWRNDL_DETECT_CRC32_H
#define KWRNDL_DETECT_CRC32_H

#include <stdint.h>

// The CRC-32 of ISO-HDLC / IEEE 802.3 / ZIP. A length of 0 gives 0.
uint32_t Crc32(const void *data, uint32_t length);

#endif
