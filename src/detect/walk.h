#ifndef KWRNDL_DETECT_WALK_H
#define KWRNDL_DETECT_WALK_H

#include <windows.h>

// Per-entry action: full path, find record, 1 for a directory. 0 goes on.
typedef int (*WalkCallback)(const char *path, const WIN32_FIND_DATAA *entry, int isDirectory);

int WalkDirectory(const char *prefix, WalkCallback callback);
int WalkFixedDrives(WalkCallback callback);

#endif
