#ifndef KWRNDL_DETECT_INFECTED_FILE_H
#define KWRNDL_DETECT_INFECTED_FILE_H

#include <windows.h>

// The walk's two per-file actions; both always return 0.
int ReportInfectedFile(const char *path, const WIN32_FIND_DATAA *entry, int isDirectory);
int RemoveInfectedFile(const char *path, const WIN32_FIND_DATAA *entry, int isDirectory);

#endif
