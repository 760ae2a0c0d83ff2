#ifndef KWRNDL_PROCESS_SWEEP_H
#define KWRNDL_PROCESS_SWEEP_H

#include <windows.h>

typedef int (*InfectedFilePredicate)(const char *path);

// One pass: terminates every process whose program file the predicate
// calls infected and deletes that file. *found (when given) is set to 1 if
// the pass met one.
int SweepInfectedProcesses(InfectedFilePredicate predicate, int *found);
int SetTokenPrivilege(HANDLE token, const char *privilege, int enable);

#endif
