#ifndef KWRNDL_REPLACE_REPLACE_FILE_H
#define KWRNDL_REPLACE_REPLACE_FILE_H

// <windows.h> maps ReplaceFile to its own ReplaceFileA. Taken in here first,
// so that its guard keeps a later include from bringing the macro back.
#include <windows.h>
#undef ReplaceFile

enum ReplaceResult {
    ResultNotFound = 0,
    ResultDone = 1,
    ResultAtRestart = 2,
    ResultFailedDestGone = 3,
    ResultFailed = 4,
};

int FileExist(const char *path);
// newName NULL: delete directory+name; else put directory+name in the place
// of directory+newName.
int ReplaceFile(const char *directory, const char *name, const char *newName);
void DeleteWithReport(const char *path);
// Completes the caller's console line with the word for a result and counts
// a restart (2) or a failure (3, 4); any other result gets a bare line end.
void ReportReplaceResult(int result, const char *done, const char *atRestart, const char *failed);
void ReplaceWithReport(const char *path, const char *newPath);

#endif
