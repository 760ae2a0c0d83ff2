#ifndef KWRNDL_DETECT_REPAIR_NAMES_H
#define KWRNDL_DETECT_REPAIR_NAMES_H

#include <stddef.h>

// Names beside an infected host: the repair file (path + ".dis") and the
// fallback name it is renamed to when the repair copy fails (the first
// character of its extension replaced by '0', or ".0" appended).
//
// Both write a name of at most size - 1 characters and return 1, or return 0
// and leave `name` empty when the name would not fit: a name cut to fit
// could be the host's own path. The fallback name also gives 0 when it would
// equal the path (an extension that already begins with '0').

int MakeRepairFileName(const char *path, char *name, size_t size);
int MakeFallbackFileName(const char *path, char *name, size_t size);

#endif
