#include "guard/guard_messages.h"

#include <cstring>

const char GuardSettingIdentifier[] = "1.3.6.1.4.1.7446.12.1.111.2.10";

static_assert(sizeof GuardSettingIdentifier + 4 <= GuardSettingBufferSize,
              "the setting change fits its buffer");

unsigned long BuildGuardSettingChange(unsigned char *buffer, int state)
{
    memset(buffer, 0, GuardSettingBufferSize);
    memcpy(buffer, GuardSettingIdentifier, sizeof GuardSettingIdentifier);
    buffer[sizeof GuardSettingIdentifier] = state != 0 ? 1 : 0;
    return sizeof GuardSettingIdentifier;
}
