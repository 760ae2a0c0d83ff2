#include "run/probes.h"

#include <windows.h>

// Kept in a file of its own: the tests link a double of it in its place,
// since Wine's token is always an administrator's.
int IsUserAdministrator()
{
    DWORD size = 1024;
    PTOKEN_GROUPS groups = (PTOKEN_GROUPS)HeapAlloc(GetProcessHeap(), 0, size);
    if (!groups)
        return 0;

    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &token)) {
        HeapFree(GetProcessHeap(), 0, groups);
        return 0;
    }

    DWORD needed = 0;
    BOOL queried = GetTokenInformation(token, TokenGroups, groups, size, &needed);
    if (!queried && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        PTOKEN_GROUPS larger = (PTOKEN_GROUPS)HeapAlloc(GetProcessHeap(), 0, needed);
        if (larger) {
            HeapFree(GetProcessHeap(), 0, groups);
            groups = larger;
            size = needed;
            queried = GetTokenInformation(token, TokenGroups, groups, size, &needed);
        }
    }
    CloseHandle(token);
    if (!queried) {
        HeapFree(GetProcessHeap(), 0, groups);
        return 0;
    }

    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID admins = NULL;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins)) {
        HeapFree(GetProcessHeap(), 0, groups);
        return 0;
    }

    // Attributes are not looked at: a deny-only or disabled group counts too.
    int found = 0;
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(admins, groups->Groups[i].Sid)) {
            found = 1;
            break;
        }
    }
    FreeSid(admins);
    HeapFree(GetProcessHeap(), 0, groups);
    return found;
}
