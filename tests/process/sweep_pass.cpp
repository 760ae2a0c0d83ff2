#include "sweep_pass.h"

#include "detect/signature.h"
#include "process/sweep.h"
#include "console_capture.h"
#include "process_fixture.h"
#include "run/counters.h"
#include "trace_capture.h"

#include <cstdio>

Watch watch;

namespace {

int InWatchedFolder(const char *path)
{
    std::string p = path;
    if (p.size() < watch.dir.size() || !SamePath(p.substr(0, watch.dir.size()), watch.dir))
        return 0;
    watch.calls.push_back(p);
    watch.debugEnabled.push_back(DebugPrivilegeEnabled() == 1);
    int infected = IsInfectedProcessFile(path);
    if (infected && SamePath(p, watch.moveAway))
        MoveFileA(path, (p + ".moved").c_str());
    return infected;
}

}  // namespace

void StartWatching(const std::string &dir)
{
    watch = Watch();
    watch.dir = dir;
}

Pass RunPass()
{
    Pass pass;
    int reboots = ReadCounter(&RebootCount), failures = ReadCounter(&FailureCount);
    TraceCapture trace;
    {
        ConsoleCapture console;
        pass.found = -1;
        pass.result = SweepInfectedProcesses(InWatchedFolder, &pass.found);
        pass.console = console.Text();
    }
    pass.trace = trace.Text();
    pass.reboots = ReadCounter(&RebootCount) - reboots;
    pass.failures = ReadCounter(&FailureCount) - failures;
    return pass;
}

int PrivilegeState(HANDLE token, const char *name)
{
    LUID id;
    BYTE buffer[4096];
    DWORD length = 0;
    if (!LookupPrivilegeValueA(NULL, name, &id) ||
        !GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &length))
        return -2;
    const TOKEN_PRIVILEGES *list = reinterpret_cast<const TOKEN_PRIVILEGES *>(buffer);
    for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES &entry = list->Privileges[i];
        if (entry.Luid.LowPart == id.LowPart && entry.Luid.HighPart == id.HighPart)
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
    }
    return -1;
}

int DebugPrivilegeEnabled()
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -2;
    int state = PrivilegeState(token, "SeDebugPrivilege");
    CloseHandle(token);
    return state;
}

std::string InfectionLine(const std::string &path, DWORD pid)
{
    char line[400];
    snprintf(line, sizeof line, "Process %s (PID=0x%x) is infection\n", path.c_str(),
             (unsigned int)pid);
    return line;
}

std::string DeletingLine(const std::string &path, int result)
{
    char line[400];
    snprintf(line, sizeof line, "Deleting file \"%s\", result=%d\n", path.c_str(), result);
    return line;
}
