#ifndef KWRNDL_REPLACE_RENAME_LIST_H
#define KWRNDL_REPLACE_RENAME_LIST_H

#include <stdint.h>
#include <stdio.h>

// Writing the guard's rename list KRBQ.REN in the maker's common directory
// (format in rename_list_format.h). The guard carries out its renames at
// the next start.

enum RenameListStatus {
    RenameListOk = 0,
    RenameListNoMemory = 1,
    RenameListNoCommonPath = 2,
    RenameListCannotOpen = 3,
    RenameListIoError = 4,
    RenameListCloseFailed = 5,
};

// The maker's common directory from the registry: 0, -1 when the key or a
// string value is not there, -2 when it does not fit in the buffer.
int ReadCommonPath(char *buffer, uint32_t size);

// A new, empty list positioned at its body, or NULL with *status set.
FILE *OpenRenameList(int *status);
// Appends one pair; 1, or 0 with status RenameListIoError.
int AddRenamePair(FILE *list, const char *existingName, const char *newName, int *status);
// Ends and scrambles the body, fills in its CRC and closes the file (on
// every path); 1 when all of it succeeded.
int CloseRenameList(FILE *list, int *status);

#endif
