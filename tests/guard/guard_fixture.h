#ifndef KWRNDL_TESTS_GUARD_GUARD_FIXTURE_H
#define KWRNDL_TESTS_GUARD_GUARD_FIXTURE_H

#include "reference_guard.h"

#include <windows.h>

#include <string>
#include <vector>

// Real services and the reference guard driver, installed in the test's own
// prefix and removed again. Waits in these helpers only wait for a state to
// arrive; their bounds keep a broken run from hanging.

extern const char HandlerServiceName[];   // "Kestrune Brisquall Handler Starter"
extern const char GuardServiceName[];     // "Kestrune Brisquall"

// Where the tests keep copies of their programs: C:\kwtest\guard-bin\.
std::string GuardBinDir();

// The command line of the test service (test_service.cpp), copied out of
// the build tree first; hold keeps each pending state until ReleaseHold.
std::string TestServiceCommand(bool hold);
void ReleaseHold();

// A fresh own-process service; an earlier one of that name is removed first.
bool InstallService(const std::string &name, const std::string &commandLine);
// Stops it (releasing held states) and deletes it; nothing when absent.
void RemoveService(const std::string &name);
bool StartNamedService(const std::string &name);
bool SendServiceControl(const std::string &name, DWORD control);
// The current state, 0 when the service cannot be queried.
DWORD ServiceState(const std::string &name);
bool WaitForServiceState(const std::string &name, DWORD state);

bool InstallReferenceGuard();
void RemoveReferenceGuard();
// Empties the guard's record and sets how it answers from now on.
bool ResetReferenceGuard(unsigned answer = GuardAnswerState, unsigned pendRequest = 0,
                         unsigned state = 1);
bool ReadReferenceGuard(GuardRecord *record);
// The record as lines such as "NT#1 open share=3 overlapped",
// "NT#1 0007E800 in=30 00", "NT#2 0007F010 out=2", "NT#2 cancel 0007E800",
// "NT#1 close"; #n numbers the openings in the order they appear.
std::vector<std::string> DescribeReferenceGuard();

// Runs guard-probe.exe (guard_probe.cpp) as win98 or as the NT family; out
// receives its standard output, trace the trace records it wrote.
bool RunGuardProbe(bool win98, const std::string &arguments, std::string *out,
                   std::string *trace);

// Sets or, with no data, deletes a value under HKEY_LOCAL_MACHINE.
bool SetMachineValue(const char *key, const char *value, DWORD type, const void *data,
                     DWORD size);

#endif
