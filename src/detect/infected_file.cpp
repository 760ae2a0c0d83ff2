#include "detect/infected_file.h"

#include "detect/file_pattern.h"
#include "detect/repair_names.h"
#include "detect/signature.h"
#include "repair/disinfect_copy.h"
#include "replace/replace_file.h"
#include "run/counters.h"
#include "trace/trace.h"

#include <stdio.h>

namespace {

void ReportDirectory(const char *path)
{
    printf("%s\n", path);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s\n", path);
}

// Puts the repaired copy in the infected file's place and completes the
// console line with the outcome.
void SwapInRepairedCopy(const char *path, const char *repairName)
{
    int result = ReplaceFile("", repairName, path);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Replacing file \"%s\"->\"%s\", result=%d\n",
                 repairName, path, result);
    ReportReplaceResult(result, "Disinfected\n", "Disinfected, reboot needed\n",
                        "Replacing disinfected file failed\n");
}

// A candidate's extension always leaves room for a fallback name; the
// failure branch keeps the action sound for any other path.
void RenameAside(const char *path)
{
    char fallback[MAX_PATH];
    fputs("Disinfection failed, renaming file\n", stdout);
    if (MakeFallbackFileName(path, fallback, sizeof fallback)) {
        ReplaceWithReport(path, fallback);
        return;
    }
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "No fallback name for \"%s\"\n", path);
    fputs("File rename failed\n", stdout);
    IncrementCounter(&FailureCount);
}

void RepairHost(const char *path)
{
    char repairName[MAX_PATH];
    int unrepairable = 0;
    // A repair name cut to fit could be the host's own path: without room for
    // the suffix the host is treated as one whose repair file did not open,
    // and renamed aside.
    if (!MakeRepairFileName(path, repairName, sizeof repairName)) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "Disinfection error: no room for the repair file name of \"%s\"\n", path);
        RenameAside(path);
        return;
    }
    if (DisinfectCopy(path, repairName, &unrepairable)) {
        SwapInRepairedCopy(path, repairName);
        return;
    }
    DeleteFileA(repairName);
    if (unrepairable) {
        fputs("Disinfection failed, deleting file\n", stdout);
        DeleteWithReport(path);
        return;
    }
    RenameAside(path);
}

// What both actions do before they differ: a directory's progress line,
// the candidate test and the scan. 1 for an infected file, counted.
int ScanWalkEntry(const char *path, int isDirectory, int *disinfectable)
{
    if (isDirectory) {
        ReportDirectory(path);
        return 0;
    }
    if (!IsCandidateFile(path))
        return 0;
    int infected = 0;
    if (!ScanFile(path, &infected, disinfectable)) {
        printf("Error scanning file %s\n", path);
        return 0;
    }
    if (infected)
        IncrementCounter(&InfectionCount);
    return infected;
}

}  // namespace

int ReportInfectedFile(const char *path, const WIN32_FIND_DATAA *, int isDirectory)
{
    int disinfectable = 0;
    if (ScanWalkEntry(path, isDirectory, &disinfectable))
        printf("Infected: %s\n", path);
    return 0;
}

int RemoveInfectedFile(const char *path, const WIN32_FIND_DATAA *, int isDirectory)
{
    int disinfectable = 0;
    if (!ScanWalkEntry(path, isDirectory, &disinfectable))
        return 0;
    printf("Infected: %s  ", path);
    if (disinfectable)
        RepairHost(path);
    else
        DeleteWithReport(path);
    return 0;
}
