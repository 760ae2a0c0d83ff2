#ifndef KWRNDL_TESTS_PROCESS_SWEEP_PASS_H
#define KWRNDL_TESTS_PROCESS_SWEEP_PASS_H

#include <windows.h>

#include <string>
#include <vector>

// One sweep pass run inside the test program. The sweep meets every process
// of the prefix; only programs in the watched folder reach the real matcher,
// so nothing else can be ended.
struct Watch {
    std::string dir;
    std::vector<std::string> calls;  // paths that reached the matcher
    std::vector<bool> debugEnabled;  // the debug privilege at each call
    std::string moveAway;            // renamed once the matcher called it infected
};
extern Watch watch;

void StartWatching(const std::string &dir);

struct Pass {
    int result;
    int found;
    std::string console;
    std::string trace;
    int reboots;   // RebootCount gained
    int failures;  // FailureCount gained
};
Pass RunPass();

// 1 enabled, 0 disabled, -1 not held by the token, -2 unknown or unreadable.
int PrivilegeState(HANDLE token, const char *name);
int DebugPrivilegeEnabled();

std::string InfectionLine(const std::string &path, DWORD pid);
std::string DeletingLine(const std::string &path, int result);

#endif
