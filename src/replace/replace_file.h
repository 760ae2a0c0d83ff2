#ifndef KWRNDL_REPLACE_REPLACE_FILE_H
#define KWRNDL_REPLACE_REPLACE_FILE_H

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
void ReplaceWithReport(const char *path, const char *newPath);

#endif
