#ifndef KWRNDL_GUARD_GUARD_MESSAGES_H
#define KWRNDL_GUARD_GUARD_MESSAGES_H

#include <stddef.h>

// The guard's control messages: codes and the one input buffer that needs
// building. The codes follow the Windows layout (device type 7, read and
// write access, METHOD_BUFFERED), except the plain number of the 9x switch.

constexpr unsigned long GuardControlCode(unsigned long function)
{
    return (7ul << 16) | (3ul << 14) | (function << 2);
}

const unsigned long GuardSwitchCommand = GuardControlCode(0xA00);    // "0"/"1" + NUL
const unsigned long GuardStateQuery = GuardControlCode(0xC04);       // 2-byte answer
const unsigned long GuardLegacySwitch = GuardControlCode(0x115);     // 32-bit 1/0
const unsigned long GuardSettingChange = GuardControlCode(0x114);    // see below
const unsigned long GuardSwitchCommand9x = 512;

static_assert(GuardSwitchCommand == 0x0007E800, "switch command code");
static_assert(GuardStateQuery == 0x0007F010, "state query code");
static_assert(GuardLegacySwitch == 0x0007C454, "legacy switch code");
static_assert(GuardSettingChange == 0x0007C450, "setting change code");

const size_t GuardSettingBufferSize = 256;
extern const char GuardSettingIdentifier[];

// Fills buffer (GuardSettingBufferSize bytes) with the setting change: the
// identifier, its NUL, and right behind it the 32-bit little-endian value (1
// for a non-zero state). Answers the input length to pass, the identifier
// and its NUL: the value lies past it, where the 9x guard expects it.
unsigned long BuildGuardSettingChange(unsigned char *buffer, int state);

#endif
