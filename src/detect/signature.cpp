#include "detect/signature.h"

#include "detect/crc32.h"
#include "trace/trace.h"

#include <windows.h>

namespace {

const uint32_t MaxRegionLength = 8192;

// Shared by every call: detection runs on the main thread only, and a fixed
// buffer keeps the per-file cost free of allocations.
uint8_t g_regionBuffer[MaxRegionLength];

// Sizes are 32-bit, as in the repair copy: a file of 4 GiB or more has no
// readable size, so its low 32 bits can never pass a size condition.
int QueryFileSize(HANDLE file, uint32_t *size)
{
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    if (high != 0)
        return 0;
    *size = low;
    return 1;
}

int SizeAllowsRow(HANDLE file, const SignatureRecord &row)
{
    if (row.exactSize == 0 && row.minimumSize == 0)
        return 1;
    uint32_t size = 0;
    if (!QueryFileSize(file, &size))
        return 0;
    if (row.exactSize != 0 && size != (uint32_t)row.exactSize)
        return 0;
    if (row.minimumSize != 0 && size < (uint32_t)row.minimumSize)
        return 0;
    return 1;
}

// The distance has to fit the call's 32-bit argument; a region that starts
// before the file does makes the seek fail.
int SeekToRegion(HANDLE file, const SignatureRecord &row)
{
    int64_t distance = row.fromEnd ? -(int64_t)row.offset : (int64_t)row.offset;
    if (distance < INT32_MIN || distance > INT32_MAX)
        return 0;
    SetLastError(NO_ERROR);
    DWORD position =
        SetFilePointer(file, (LONG)distance, NULL, row.fromEnd ? FILE_END : FILE_BEGIN);
    return !(position == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

int RowMatches(HANDLE file, const SignatureRecord &row)
{
    uint32_t length = (uint32_t)row.length;
    if (length > MaxRegionLength)
        return 0;
    if (!SizeAllowsRow(file, row) || !SeekToRegion(file, row))
        return 0;
    DWORD read = 0;
    if (!ReadFile(file, g_regionBuffer, length, &read, NULL) || read != length)
        return 0;
    return Crc32(g_regionBuffer, length) == (uint32_t)row.crc;
}

}  // namespace

int MatchSignatures(const char *path, const SignatureRecord *table, int *id, int *disinfectable)
{
    *id = -1;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    for (int row = 0; table[row].length != 0; ++row) {
        if (RowMatches(file, table[row])) {
            *id = row;
            *disinfectable = table[row].disinfectable;
            break;
        }
    }
    CloseHandle(file);
    return 1;
}

int ScanFile(const char *path, int *infected, int *disinfectable)
{
    *infected = 0;
    int id = -1;
    int result = MatchSignatures(path, SignatureTable, &id, disinfectable);
    if (id != -1) {
        *infected = 1;
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Infected (signature ID %d, disinfectable=%d): %s\n", id, *disinfectable,
                     path);
    }
    return result;
}

int IsInfectedProcessFile(const char *path)
{
    int infected = 0, disinfectable = 0;
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Scanning: %s ", path);
    int result = ScanFile(path, &infected, &disinfectable);
    if (result == 0)
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s", " failed!\n");
    else if (!infected)
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s", "\n");
    return result != 0 && infected;
}
