#ifndef KWRNDL_GUARD_DRIVER_MESSAGES_H
#define KWRNDL_GUARD_DRIVER_MESSAGES_H

#include <windows.h>

// Switches the guard off (0) before the sweep and on (1) after the walk:
// the devices' messages, then on NT the handler service. No result; a
// missing or silent guard only leaves trace lines.
void SwitchGuard(int state);

// The guard device of the running family, or INVALID_HANDLE_VALUE.
HANDLE OpenGuardDevice();

// The plain switch command; 1 when the last-error code stays 0.
int SendGuardSwitch(HANDLE device, int state);

// NT: switch through an overlapped exchange, read the state back, and fall
// back on the legacy switch when the guard does not confirm it.
void ConfirmGuardSwitchNT(int state);

// 9x: the setting change; the control call's result, 1 without the device.
int ChangeGuardSettingLegacy(int state);

// Reads the value named by name (registry_name.h) into buffer; one of the
// Registry* results.
int ReadRegistryValue(void *buffer, DWORD size, const char *name);

#endif
