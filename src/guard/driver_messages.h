#ifndef KWRNDL_GUARD_DRIVER_MESSAGES_H
#define KWRNDL_GUARD_DRIVER_MESSAGES_H

#include <windows.h>

// Switches the guard off (0) before the sweep and on (1) after the walk.
void SwitchGuard(int state);

#endif
