// PLACEHOLDER: replaced by the guard subsystem.
#include "guard/driver_messages.h"
void SwitchGuard(int) {}
#include "guard/service_control.h"
int StopGuardHandlerService() { return 1; }
int StartGuardHandlerService() { return 1; }
int IsServiceActive(const char *) { return 0; }
