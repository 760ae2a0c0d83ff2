#include "detect/walk.h"

#include <stdlib.h>
#include <string.h>

namespace {

// One level's path buffer: the system's maximum path length.
const size_t PathBufferSize = MAX_PATH;
const char SearchPattern[] = "*.*";
const DWORD DriveListSize = 256;

int IsDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

size_t BoundedLength(const char *text, size_t size)
{
    size_t n = 0;
    while (n < size && text[n] != '\0')
        ++n;
    return n;
}

// Room for `extra` more characters and the terminating zero behind `used`.
int Fits(size_t used, size_t extra)
{
    return used + extra < PathBufferSize;
}

}  // namespace

// Paths that would not fit the level's buffer are passed over with their
// subtrees, so no entry is ever handed on cut short. Directories that are
// reparse points (junctions, symbolic links, mount points) are handed to the
// callback but not entered: a link back into the tree would otherwise be
// walked without end.
int WalkDirectory(const char *prefix, WalkCallback callback)
{
    char *path = (char *)malloc(PathBufferSize);
    if (!path)
        return 1;

    size_t prefixLength = strlen(prefix);
    if (!Fits(prefixLength, sizeof SearchPattern - 1)) {
        free(path);
        return 0;
    }
    memcpy(path, prefix, prefixLength);
    memcpy(path + prefixLength, SearchPattern, sizeof SearchPattern);

    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        free(path);
        return 0;
    }

    int result = 0;
    do {
        int isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isDirectory && IsDotOrDotDot(entry.cFileName))
            continue;
        size_t nameLength = BoundedLength(entry.cFileName, sizeof entry.cFileName);
        if (nameLength == sizeof entry.cFileName || !Fits(prefixLength, nameLength))
            continue;
        memcpy(path + prefixLength, entry.cFileName, nameLength);
        path[prefixLength + nameLength] = '\0';

        if (callback)
            result = callback(path, &entry, isDirectory);
        if (result != 0)
            break;
        if (!isDirectory || (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (!Fits(prefixLength + nameLength, 1))
            continue;
        path[prefixLength + nameLength] = '\\';
        path[prefixLength + nameLength + 1] = '\0';
        result = WalkDirectory(path, callback);
        if (result != 0)
            break;
    } while (FindNextFileA(search, &entry));

    FindClose(search);
    free(path);
    return result;
}

int WalkFixedDrives(WalkCallback callback)
{
    char drives[DriveListSize];
    DWORD length = GetLogicalDriveStringsA(DriveListSize, drives);
    // A list that did not fit is not in the buffer at all.
    if (length == 0 || length >= DriveListSize)
        return 0;
    drives[length] = '\0';
    for (const char *root = drives; root < drives + length && *root; root += strlen(root) + 1) {
        if (GetDriveTypeA(root) != DRIVE_FIXED)
            continue;
        int result = WalkDirectory(root, callback);
        if (result != 0)
            return result;
    }
    return 0;
}
