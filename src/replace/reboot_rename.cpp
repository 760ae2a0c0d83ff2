#include "replace/reboot_rename.h"

#include "guard/service_control.h"
#include "replace/ini_file.h"
#include "replace/rename_list.h"
#include "replace/replace_file.h"
#include "run/probes.h"
#include "trace/trace.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char GuardServiceName[] = "Kestrune Brisquall";
const char WininitName[] = "\\WININIT.INI";
const char PlaceholderText[] = "Delete me!";
// Appends after every earlier entry with the same key ("nul" repeats).
const int AppendIndex = 999;

struct GuardPair {
    GuardPair *next;
    char *existingPath;
    char *newPath;
};

GuardPair *g_guardPairs = NULL;
int g_releaseRegistered = 0;

void Trace(int level, const char *text)
{
    char line[256];
    snprintf(line, sizeof line, "[KRSC - AddFileToAutomaticRenameList]: %s", text);
    TraceMessage(TraceModuleName, -1, level, "%s", line);
}

void FreeGuardPair(GuardPair *pair)
{
    free(pair->existingPath);
    free(pair->newPath);
    free(pair);
}

GuardPair *NewGuardPair(const char *existingPath, const char *newPath)
{
    GuardPair *pair = (GuardPair *)malloc(sizeof *pair);
    if (!pair)
        return NULL;
    pair->next = NULL;
    pair->existingPath = (char *)malloc(strlen(existingPath) + 1);
    pair->newPath = (char *)malloc(strlen(newPath) + 1);
    if (!pair->existingPath || !pair->newPath) {
        FreeGuardPair(pair);
        return NULL;
    }
    strcpy(pair->existingPath, existingPath);
    strcpy(pair->newPath, newPath);
    return pair;
}

// The list file holds the pairs of earlier calls and the new one, since
// OpenRenameList starts it anew; the new pair is kept only once the guard
// has it.
int ScheduleThroughGuard(const char *existingPath, const char *newPath)
{
    GuardPair *pair = NewGuardPair(existingPath, newPath);
    if (!pair)
        return 0;

    int scheduled = 0;
    int status = 0;
    FILE *list = OpenRenameList(&status);
    if (list) {
        int added = 1;
        for (const GuardPair *kept = g_guardPairs; kept && added; kept = kept->next)
            added = AddRenamePair(list, kept->existingPath, kept->newPath, &status);
        if (added)
            added = AddRenamePair(list, existingPath, newPath, &status);
        int closed = CloseRenameList(list, &status);
        scheduled = added && closed;
    }

    if (scheduled) {
        GuardPair **link = &g_guardPairs;
        while (*link)
            link = &(*link)->next;
        *link = pair;
        if (!g_releaseRegistered)
            g_releaseRegistered = atexit(ForgetGuardRenamePairs) == 0;
    } else {
        FreeGuardPair(pair);
    }
    return scheduled;
}

int ShortPath(const char *path, char *shortPath, DWORD size)
{
    DWORD length = GetShortPathNameA(path, shortPath, size);
    return length > 0 && length < size;
}

int WininitPath(char *path, size_t size)
{
    UINT length = GetWindowsDirectoryA(path, (UINT)size);
    if (length == 0 || length + sizeof WininitName > size)
        return 0;
    strcat(path, WininitName);
    return 1;
}

int ScheduleThroughWininit(const char *existingPath, const char *newPath)
{
    char shortExisting[MAX_PATH];
    char shortNew[MAX_PATH];
    char wininit[MAX_PATH];

    if (!ShortPath(existingPath, shortExisting, sizeof shortExisting)) {
        Trace(TraceLevelFailure, "GetShortPathName() call failed.\n");
        return 0;
    }
    if (newPath) {
        // Short names exist only for existing files; the move at the restart
        // replaces the placeholder.
        if (!FileExist(newPath)) {
            FILE *placeholder = fopen(newPath, "wt");
            if (placeholder) {
                fputs(PlaceholderText, placeholder);
                fclose(placeholder);
            }
        }
        if (!ShortPath(newPath, shortNew, sizeof shortNew)) {
            Trace(TraceLevelFailure, "GetShortPathName() call failed.\n");
            return 0;
        }
    }
    if (!WininitPath(wininit, sizeof wininit)) {
        Trace(TraceLevelFailure, "Operation cannot be executed during reboot.\n");
        return 0;
    }

    IniFile document;
    document.Load(wininit);
    document.SetEntry("rename", newPath ? shortNew : "nul", shortExisting, AppendIndex);
    if (document.Save(wininit) != IniSaved) {
        Trace(TraceLevelFailure, "Operation cannot be executed during reboot.\n");
        return 0;
    }
    Trace(TraceLevelInfo, "Operation will be executed during reboot.\n");
    return 1;
}

}  // namespace

// NT: the system's pending operations for an administrator, else the guard's
// rename list (renames only, while the guard's service runs). 9x: the
// "rename" section of WININIT.INI, with short names.
int AddFileToAutomaticRenameList(const char *existingPath, const char *newPath)
{
    if (IsWindowsNT() != 1) {
        Trace(TraceLevelInfo, "System is not NT.\n");
        return ScheduleThroughWininit(existingPath, newPath);
    }

    Trace(TraceLevelInfo, "System is NT.\n");
    if (IsUserAdministrator() == 1) {
        Trace(TraceLevelInfo, "User is admin.\n");
        BOOL scheduled = MoveFileExA(existingPath, newPath,
                                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
        if (scheduled) {
            Trace(TraceLevelInfo, "Operation is executed during reboot.\n");
            return scheduled;
        }
        Trace(TraceLevelFailure, "Operation cannot be executed during reboot.\n");
        return 0;
    }

    Trace(TraceLevelInfo, "User is not admin.\n");
    if (!newPath || IsServiceActive(GuardServiceName) == 0) {
        Trace(TraceLevelFailure, "No admin rights, no BQ -> No renaming at reboot.\n");
        return 0;
    }
    Trace(TraceLevelInfo, "Brisquall is loaded and can be used for renaming.\n");
    if (!ScheduleThroughGuard(existingPath, newPath)) {
        Trace(TraceLevelFailure, "Brisquall cannot do the renaming.\n");
        return 0;
    }
    Trace(TraceLevelInfo, "Brisquall will do the renaming.\n");
    return 1;
}

void ForgetGuardRenamePairs()
{
    while (g_guardPairs) {
        GuardPair *next = g_guardPairs->next;
        FreeGuardPair(g_guardPairs);
        g_guardPairs = next;
    }
}
