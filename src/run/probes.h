#ifndef KWRNDL_RUN_PROBES_H
#define KWRNDL_RUN_PROBES_H

// Questions about the running system that several subsystems branch on.

enum {
    PlatformOther = 0,
    Platform9x = 1,
    PlatformNT = 2,
};

int IsWindowsNT();
int GetPlatformKind();
int IsUserAdministrator();

#endif
