#include "run/probes.h"

#include <windows.h>

#if !defined(_WIN64)
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");
#endif

namespace {

int ReadPlatformId(DWORD *platformId)
{
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 0;
    *platformId = info.dwPlatformId;
    return 1;
}

}  // namespace

int IsWindowsNT()
{
    DWORD platformId = 0;
    if (!ReadPlatformId(&platformId))
        return 0;
    return platformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

int GetPlatformKind()
{
    DWORD platformId = 0;
    if (!ReadPlatformId(&platformId))
        return PlatformOther;
    if (platformId == VER_PLATFORM_WIN32_WINDOWS)
        return Platform9x;
    if (platformId == VER_PLATFORM_WIN32_NT)
        return PlatformNT;
    return PlatformOther;
}
