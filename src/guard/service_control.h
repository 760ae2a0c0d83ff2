#ifndef KWRNDL_GUARD_SERVICE_CONTROL_H
#define KWRNDL_GUARD_SERVICE_CONTROL_H

int StopGuardHandlerService();
int StartGuardHandlerService();
// 1 when the named service is starting, running or continuing (NT only).
int IsServiceActive(const char *serviceName);

#endif
