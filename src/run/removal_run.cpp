#include "run/removal_run.h"

#include "detect/infected_file.h"
#include "detect/signature.h"
#include "detect/walk.h"
#include "guard/driver_messages.h"
#include "process/sweep.h"
#include "run/counters.h"
#include "run/probes.h"
#include "trace/trace.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const int MaxSweepPasses = 3;

const char RightsMessage[] =
    "Please log on to this workstation with administrator rights and\nrun the tool again.";
const char NoInfectionsMessage[] = "No infections found.\n";
const char RemovedMessage[] = "Infections were found and removed.\n";
const char ErrorMessage[] =
    "Infections were found.  An error occurred in the disinfection process.\n";
const char RestartTraceMessage[] =
    "Restarting the computer is needed to complete the disinfection process.\n";
const char RestartConsoleTail[] = "Please restart the computer now.\n";

const char LogFileName[] = "\\k-wrndl.log";

// ASCII-only case folding: the option is compared the same way on every
// code page.
int EqualsIgnoringAsciiCase(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        char ca = *a, cb = *b;
        if (ca >= 'a' && ca <= 'z')
            ca = (char)(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z')
            cb = (char)(cb - 'a' + 'A');
        if (ca != cb)
            return 0;
        if (ca == '\0')
            return 1;
    }
}

// A Windows directory too long for the file name leaves the log at the root
// of the current drive rather than under a cut-off name.
void BuildLogPath(char *path, size_t size)
{
    path[0] = '\0';
    UINT length = GetWindowsDirectoryA(path, (UINT)size);
    if (length == 0 || length >= size || length + sizeof LogFileName > size)
        path[0] = '\0';
    strcat(path, LogFileName);
}

void Report(const char *message)
{
    fputs(message, stdout);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s", message);
}

}  // namespace

int RunRemoval(int argc, char **argv)
{
    char logPath[MAX_PATH];
    BuildLogPath(logPath, sizeof logPath);
    TraceOpenFile(logPath, "a+");

    printf("Wrendal (Quorfex) Removal Tool ver %d.%02d.%d\n"
           "Published by the K-Wrndl developers, free of charge and without warranty.\n",
           VersionMajor, VersionMinor, VersionBuild);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "K-Wrndl v%d.%02d.%d\n", VersionMajor,
                 VersionMinor, VersionBuild);

    if (IsWindowsNT() == 1 && IsUserAdministrator() == 0) {
        fputs(RightsMessage, stdout);
        return 0;
    }

    SwitchGuard(0);

    for (int pass = 0; pass < MaxSweepPasses; ++pass) {
        int found = 0;
        if (pass > 0)
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         "Infected processes found, rescanning processes\n");
        SweepInfectedProcesses(IsInfectedProcessFile, &found);
        if (!found)
            break;
    }

    int reportOnly = argc >= 3 && (EqualsIgnoringAsciiCase(argv[2], "/nodelete") ||
                                   EqualsIgnoringAsciiCase(argv[2], "-nodelete"));
    WalkCallback action = reportOnly ? ReportInfectedFile : RemoveInfectedFile;
    if (argc >= 2)
        WalkDirectory(argv[1], action);
    else
        WalkFixedDrives(action);

    SwitchGuard(1);

    int code = 0;
    if (ReadCounter(&InfectionCount) == 0) {
        fputs(NoInfectionsMessage, stdout);
    } else {
        if (ReadCounter(&FailureCount) != 0) {
            Report(ErrorMessage);
            code = 3;
        } else {
            Report(RemovedMessage);
            code = 1;
        }
        if (ReadCounter(&RebootCount) != 0) {
            printf("%s%s", RestartTraceMessage, RestartConsoleTail);
            TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s", RestartTraceMessage);
            if (code != 3)
                code = 2;
        }
    }

    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Exiting, return value %d\n", code);
    return code;
}
