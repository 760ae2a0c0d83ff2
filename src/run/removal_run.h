#ifndef KWRNDL_RUN_REMOVAL_RUN_H
#define KWRNDL_RUN_REMOVAL_RUN_H

enum {
    VersionMajor = 2,
    VersionMinor = 0,
    VersionBuild = 5230,
};

// The whole run; returns the exit code 0 to 3.
int RunRemoval(int argc, char **argv);

#endif
