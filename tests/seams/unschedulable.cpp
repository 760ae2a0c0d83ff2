// Link seam: restart-time scheduling that fails for some files and works for
// others within one run. Wine's pending-operation list never refuses an
// administrator, so the failing call cannot be had for real. Files whose path
// holds "unschedulable" are refused; the others go to the system's list as
// the real operation would put them there.
#include "replace/reboot_rename.h"

#include <windows.h>

#include <cstring>

int AddFileToAutomaticRenameList(const char *existingPath, const char *newPath)
{
    if (strstr(existingPath, "unschedulable"))
        return 0;
    return MoveFileExA(existingPath, newPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT);
}
