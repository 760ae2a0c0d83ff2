#ifndef KWRNDL_DETECT_SIGNATURE_H
#define KWRNDL_DETECT_SIGNATURE_H

#include <stdint.h>

// One row of the detection table: seven signed 32-bit fields, in this order.
struct SignatureRecord {
    int32_t offset;
    int32_t length;  // 0 ends the table
    int32_t crc;
    int32_t exactSize;
    int32_t minimumSize;
    int32_t fromEnd;
    int32_t disinfectable;
};

extern const SignatureRecord SignatureTable[];

int MatchSignatures(const char *path, const SignatureRecord *table, int *id, int *disinfectable);
int ScanFile(const char *path, int *infected, int *disinfectable);
int IsInfectedProcessFile(const char *path);

#endif
