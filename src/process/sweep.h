#ifndef KWRNDL_PROCESS_SWEEP_H
#define KWRNDL_PROCESS_SWEEP_H

#include <windows.h>

typedef int (*InfectedFilePredicate)(const char *path);

// One pass, handed to the enumeration as its user data.
struct SweepContext {
    InfectedFilePredicate predicate;
    int found;   // 1 once an infected process was met
    int status;  // outcome of the last infected process: 1 terminated, 0 not
};

// One pass: terminates every process whose program file the predicate
// calls infected and deletes that file. *found (when given) is set to 1 if
// the pass met one. Returns 1 when none was met, else the status.
int SweepInfectedProcesses(InfectedFilePredicate predicate, int *found);

// The ProcessCallback of a pass; context is a SweepContext.
int SweepProcess(const char *path, int reserved, DWORD processId, void *context);

// 1 when the token's privilege is now enabled (enable 1) or disabled
// (enable 0); a privilege that the token does not hold is a failure.
int SetTokenPrivilege(HANDLE token, const char *privilege, int enable);

#endif
