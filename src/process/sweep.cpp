#include "process/sweep.h"

#include "process/process_enumerator.h"
#include "replace/replace_file.h"
#include "run/probes.h"
#include "trace/trace.h"

#include <cstdio>

namespace {

const char DebugPrivilege[] = "SeDebugPrivilege";
const DWORD TerminateAccess = 1;  // PROCESS_TERMINATE
const DWORD PauseAfterTerminateMs = 1000;

}  // namespace

// The previous-state buffer is one record of one privilege: 16 bytes.
static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "TOKEN_PRIVILEGES of one privilege");

int SetTokenPrivilege(HANDLE token, const char *privilege, int enable)
{
    LUID id;
    if (!LookupPrivilegeValueA(NULL, privilege, &id))
        return 0;

    TOKEN_PRIVILEGES request;
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = id;
    request.Privileges[0].Attributes = 0;
    // A privilege whose state did not change comes back as an empty list, so
    // the record starts zeroed: its attributes then read as "disabled".
    TOKEN_PRIVILEGES previous;
    ZeroMemory(&previous, sizeof previous);
    DWORD previousLength = sizeof previous;
    // The call also succeeds for a privilege the token lacks; only the last
    // error (ERROR_NOT_ALL_ASSIGNED) tells.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &request, sizeof previous, &previous, &previousLength);
    if (GetLastError() != ERROR_SUCCESS)
        return 0;

    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = id;
    if (enable)
        previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
        previous.Privileges[0].Attributes &= ~(DWORD)SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &previous, previousLength, NULL, NULL);
    return GetLastError() == ERROR_SUCCESS ? 1 : 0;
}

int SweepProcess(const char *path, int, DWORD processId, void *userData)
{
    SweepContext *context = static_cast<SweepContext *>(userData);
    if (context->predicate == NULL || !context->predicate(path))
        return 0;
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Process %s (PID=0x%x) is infection\n", path,
                 (unsigned int)processId);

    int outcome = 0;
    HANDLE process = OpenProcess(TerminateAccess, FALSE, processId);
    if (process == NULL) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "cannot open infected process %s, Error=%ld\n", path, (long)GetLastError());
    } else {
        outcome = TerminateProcess(process, 0) ? 1 : 0;
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Process %s terminated with status %i\n",
                     path, outcome);
        CloseHandle(process);
    }
    // Termination is asynchronous: give the system time to release the image.
    Sleep(PauseAfterTerminateMs);

    printf("Deleting infected process: %s ", path);
    // The same deletion, trace line, outcome word and counters as a file of
    // the walk.
    DeleteWithReport(path);

    context->found = 1;
    context->status = outcome;
    return 0;
}

int SweepInfectedProcesses(InfectedFilePredicate predicate, int *found)
{
    SweepContext context = {predicate, 0, 1};
    HANDLE token = NULL;
    int isNT = IsWindowsNT();

    // The 9x family has no tokens; on NT the debug privilege lets the
    // enumeration open processes of other users.
    if (isNT == 1) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                              &token)) {
            token = NULL;
            TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Cannot open current process %ld\n",
                         (long)GetLastError());
        }
        if (!SetTokenPrivilege(token, DebugPrivilege, 1))
            TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Cannot SetPrivilege %ld\n",
                         (long)GetLastError());
    }

    EnumerateProcesses(isNT, SweepProcess, &context);

    if (isNT == 1) {
        SetTokenPrivilege(token, DebugPrivilege, 0);
        if (token != NULL)
            CloseHandle(token);
    }

    if (found != NULL)
        *found = context.found;
    if (!context.found) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s",
                     "No infected processes were found\n");
        return 1;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                 "There were infected proceses, terminated with status =%s\n",
                 context.status ? "OK" : "NOT OK");
    return context.status;
}
