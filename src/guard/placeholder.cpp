// PLACEHOLDER: replaced by the guard subsystem.
#include "guard/driver_messages.h"
void SwitchGuard(int) {}
