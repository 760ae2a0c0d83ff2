#include "repair/disinfect_copy.h"

#include "repair/host_repair.h"
#include "trace/trace.h"

#include <windows.h>

#include <stdint.h>

namespace {

const DWORD CopyChunkSize = 16384;

// Copies size bytes from source to destination through one heap buffer.
int CopyContents(HANDLE source, HANDLE destination, DWORD size)
{
    DWORD bufferSize = size < CopyChunkSize ? size : CopyChunkSize;
    void *buffer = HeapAlloc(GetProcessHeap(), 0, bufferSize);
    if (buffer == NULL) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: not enough memory\n");
        return 0;
    }

    int ok = 1;
    for (DWORD remaining = size; ok && remaining > 0;) {
        DWORD n = remaining < bufferSize ? remaining : bufferSize;
        DWORD got = 0;
        if (!ReadFile(source, buffer, n, &got, NULL)) {
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         "Disinfection error: source file read error (%d)\n", (int)GetLastError());
            ok = 0;
        } else if (got < n) {
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         "Disinfection error: source file read error (%u of %u read)\n",
                         (unsigned)got, (unsigned)n);
            ok = 0;
        } else {
            // A short write fails too, or the copy would come out shorter than
            // the program it replaces; it sets no error code of its own.
            DWORD put = 0;
            SetLastError(ERROR_SUCCESS);
            if (!WriteFile(destination, buffer, n, &put, NULL) || put != n) {
                TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                             "Disinfection error: destination file write error (%d)\n",
                             (int)GetLastError());
                ok = 0;
            } else {
                remaining -= n;
            }
        }
    }

    HeapFree(GetProcessHeap(), 0, buffer);
    return ok;
}

// Maps the whole copy and lets HostRepair rewrite it. -1 when the mapping
// object is not created, 0 when the view is not mapped or the repair refuses
// the file, 1 with *newLength set on success.
int RepairMappedCopy(HANDLE destination, DWORD size, uint32_t *newLength)
{
    HANDLE mapping = CreateFileMappingA(destination, NULL, PAGE_READWRITE, 0, 0, NULL);
    if (mapping == NULL) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: CreateFileMapping error (%d)\n", (int)GetLastError());
        return -1;
    }

    int repaired = 0;
    *newLength = size;
    void *view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (view != NULL) {
        repaired = HostRepair((uint8_t *)view, size, newLength) != 0;
        UnmapViewOfFile(view);
    } else {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: MapViewOfFile error (%d)\n", (int)GetLastError());
    }

    CloseHandle(mapping);
    return repaired;
}

int CutCopy(HANDLE destination, uint32_t newLength)
{
    // The high part lets a length of 2 GiB or more pass as unsigned.
    LONG high = 0;
    if (SetFilePointer(destination, (LONG)newLength, &high, FILE_BEGIN) ==
        INVALID_SET_FILE_POINTER) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: dest file seek error (%d)\n", (int)GetLastError());
        return 0;
    }
    if (!SetEndOfFile(destination)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: dest file truncate error (%d)\n", (int)GetLastError());
        return 0;
    }
    return 1;
}

}  // namespace

int DisinfectCopy(const char *sourcePath, const char *repairPath, int *unrepairable)
{
    *unrepairable = 0;
    HANDLE source = CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                                NULL);
    if (source == INVALID_HANDLE_VALUE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: cannot open source \"%s\" (%d)\n", sourcePath,
                     (int)GetLastError());
        return 0;
    }

    int ok = 0;
    HANDLE destination = CreateFileA(repairPath, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                     CREATE_ALWAYS, 0, NULL);
    if (destination == INVALID_HANDLE_VALUE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: cannot open destination \"%s\" (%d)\n", repairPath,
                     (int)GetLastError());
    } else {
        // A file of 4 GiB or more has no 32-bit size: copying only its low
        // part would put a cut-off program in the host's place.
        DWORD high = 0;
        DWORD size = GetFileSize(source, &high);
        if (size == INVALID_FILE_SIZE || high != 0) {
            *unrepairable = 1;
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         "Disinfection error: file too short (%u bytes)\n",
                         (unsigned)INVALID_FILE_SIZE);
        } else if (CopyContents(source, destination, size)) {
            uint32_t newLength = size;
            int repaired = RepairMappedCopy(destination, size, &newLength);
            if (repaired == 1) {
                ok = CutCopy(destination, newLength);
            } else if (repaired == 0) {
                TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                             "Disinfection error: disinfection routine failed\n");
                *unrepairable = 1;
            }
        }
        CloseHandle(destination);
    }

    CloseHandle(source);
    return ok;
}
