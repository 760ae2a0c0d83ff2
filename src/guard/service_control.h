#ifndef KWRNDL_GUARD_SERVICE_CONTROL_H
#define KWRNDL_GUARD_SERVICE_CONTROL_H

// The guard's services, through the service control manager (NT only).

// 1 when the handler service is stopped (within 2 s) or does not exist.
int StopGuardHandlerService();
// The start call's result; 1 when the handler service does not exist.
int StartGuardHandlerService();
// 1 when the named service is starting, running or continuing; 0 on any
// failure and, without asking anything, on the 9x family.
int IsServiceActive(const char *serviceName);

#endif
