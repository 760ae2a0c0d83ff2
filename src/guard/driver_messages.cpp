#include "guard/driver_messages.h"

#include "guard/guard_messages.h"
#include "guard/registry_name.h"
#include "guard/service_control.h"
#include "run/probes.h"
#include "trace/trace.h"

#include <cstdlib>
#include <cstring>

namespace {

const char NtDevice[] = "\\\\.\\KRBrisquallDev";
const char Bq95Device[] = "\\\\.\\BQ95";
const char ZemDevice[] = "\\\\.\\ZEM";
const char SettingDevice[] = "\\\\.\\krbq95";
const char DeviceNameValue[] =
    "HKEY_LOCAL_MACHINE\\Software\\Vantorel\\Kestrune\\Brisquall\\\\DeviceName";

const unsigned char StatePreset[2] = {0xCD, 0xAB};  // 0xABCD, little-endian

HKEY RootKey(int root)
{
    switch (root) {
    case RegistryRootClassesRoot:
        return HKEY_CLASSES_ROOT;
    case RegistryRootCurrentUser:
        return HKEY_CURRENT_USER;
    case RegistryRootLocalMachine:
        return HKEY_LOCAL_MACHINE;
    default:
        return HKEY_USERS;
    }
}

// CancelIo came with Windows 98 and NT 4.0: looked up by name, so that the
// program still loads on Windows 95.
void CancelRequests(HANDLE device)
{
    typedef BOOL(WINAPI * CancelIoFunction)(HANDLE);
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel == NULL)
        return;
    // GetProcAddress hands back one generic type; the detour through void (*)(void)
    // keeps the cast to the real one free of warnings.
    CancelIoFunction cancelIo = reinterpret_cast<CancelIoFunction>(
        reinterpret_cast<void (*)(void)>(GetProcAddress(kernel, "CancelIo")));
    if (cancelIo != NULL)
        cancelIo(device);
}

// A request counts only by what DeviceIoControl answers at once. One that
// the guard leaves pending is cancelled and waited for here: otherwise it
// would still write its status into the OVERLAPPED record, and its answer
// into the caller's buffer, after the next request has reused the record
// or after both have left the stack. Without CancelIo (NT 3.51) the wait
// alone keeps that order.
int SendOverlapped(HANDLE device, OVERLAPPED *overlapped, DWORD code, void *input,
                   DWORD inputSize, void *output, DWORD outputSize, DWORD *error)
{
    DWORD returned = 0;
    if (DeviceIoControl(device, code, input, inputSize, output, outputSize, &returned,
                        overlapped))
        return 1;
    *error = GetLastError();
    if (*error == ERROR_IO_PENDING) {
        CancelRequests(device);
        GetOverlappedResult(device, overlapped, &returned, TRUE);
    }
    return 0;
}

// The confirmed exchange over one OVERLAPPED record: the switch command, the
// state read back, and the legacy switch when the guard did not confirm.
void ExchangeSwitch(HANDLE device, HANDLE event, int on)
{
    OVERLAPPED overlapped;
    memset(&overlapped, 0, sizeof overlapped);
    overlapped.hEvent = event;

    char command[2] = {on ? '1' : '0', '\0'};
    DWORD error = 0;
    int confirmed = 0;
    if (SendOverlapped(device, &overlapped, GuardSwitchCommand, command, sizeof command, NULL, 0,
                       &error)) {
        unsigned char answer[2] = {StatePreset[0], StatePreset[1]};
        if (SendOverlapped(device, &overlapped, GuardStateQuery, NULL, 0, answer, sizeof answer,
                           &error))
            confirmed = (answer[0] | answer[1] << 8) == on;
        else
            TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                         "BQ communication error in second phase %08X\n", (unsigned)error);
    } else {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "BQ communication error in first phase %08X\n", (unsigned)error);
    }
    if (confirmed)
        return;

    unsigned char value[4] = {(unsigned char)on, 0, 0, 0};  // 32-bit little-endian
    if (SendOverlapped(device, &overlapped, GuardLegacySwitch, value, sizeof value, NULL, 0,
                       &error))
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "%s",
                     "BQ 5.4x communication successful\n");
    else
        TraceMessage(TraceModuleName, -1, TraceLevelInfo,
                     "BQ 5.4x communication error in first phase %08X\n", (unsigned)error);
}

}  // namespace

void SwitchGuard(int state)
{
    HANDLE device = OpenGuardDevice();
    if (device != INVALID_HANDLE_VALUE) {
        SendGuardSwitch(device, state);
        CloseHandle(device);
    }

    if (IsWindowsNT() == 1) {
        ConfirmGuardSwitchNT(state);
        if (state != 0)
            StartGuardHandlerService();
        else
            StopGuardHandlerService();
    } else {
        ChangeGuardSettingLegacy(state);
    }
}

// On the 9x family the registry names the device; anything but exactly
// "BQ95" (a read failure, a value too long for the 16 bytes) means ZEM.
HANDLE OpenGuardDevice()
{
    SetLastError(0);
    if (GetPlatformKind() == PlatformNT)
        return CreateFileA(NtDevice, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, NULL);

    // Zero-filled, so that a value stored without its NUL still ends here
    // and the comparison never reads past what the registry gave.
    char name[16];
    memset(name, 0, sizeof name);
    const char *device = ZemDevice;
    if (ReadRegistryValue(name, sizeof name, DeviceNameValue) == RegistryValueRead &&
        memcmp(name, "BQ95", sizeof "BQ95") == 0)
        device = Bq95Device;
    return CreateFileA(device, 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
}

int SendGuardSwitch(HANDLE device, int state)
{
    char command[2] = {state != 0 ? '1' : '0', '\0'};
    DWORD code = GetPlatformKind() == PlatformNT ? GuardSwitchCommand : GuardSwitchCommand9x;
    DWORD returned = 0;
    SetLastError(0);
    DeviceIoControl(device, code, command, sizeof command, NULL, 0, &returned, NULL);
    return GetLastError() == 0 ? 1 : 0;
}

void ConfirmGuardSwitchNT(int state)
{
    HANDLE device = CreateFileA(NtDevice, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Cannot open BQ error=%ld\n",
                     (long)GetLastError());
        return;
    }
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (event != NULL) {
        ExchangeSwitch(device, event, state != 0 ? 1 : 0);
        CloseHandle(event);
    }
    CloseHandle(device);
}

int ChangeGuardSettingLegacy(int state)
{
    HANDLE device = CreateFileA(SettingDevice, 0, 0, NULL, 0, FILE_FLAG_OVERLAPPED, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Cannot open BQ error=%ld\n",
                     (long)GetLastError());
        return 1;
    }
    unsigned char buffer[GuardSettingBufferSize];
    DWORD length = BuildGuardSettingChange(buffer, state);
    DWORD returned = 0;
    BOOL result = DeviceIoControl(device, GuardSettingChange, buffer, length, NULL, 0, &returned,
                                  NULL);
    CloseHandle(device);
    TraceMessage(TraceModuleName, -1, TraceLevelInfo, "Setting change status =%d error=%ld\n",
                 result, (long)GetLastError());
    return result;
}

int ReadRegistryValue(void *buffer, DWORD size, const char *name)
{
    size_t length = strlen(name) + 1;
    char *copy = (char *)malloc(length);
    if (copy == NULL)
        return RegistryNoMemory;
    memcpy(copy, name, length);

    RegistryName parts;
    int result = RegistryNameMalformed;
    if (ParseRegistryName(copy, &parts)) {
        result = RegistryValueRead;
        HKEY root = RootKey(parts.root);
        HKEY subkey = NULL;
        if (parts.subkey != NULL &&
            RegOpenKeyExA(root, parts.subkey, 0, KEY_READ, &subkey) != ERROR_SUCCESS) {
            result = RegistryKeyNotOpened;
        } else {
            DWORD dataSize = size;
            LONG status = RegQueryValueExA(subkey != NULL ? subkey : root, parts.value, NULL,
                                           NULL, (BYTE *)buffer, &dataSize);
            if (status == ERROR_MORE_DATA)
                result = RegistryValueTooLong;
            else if (status != ERROR_SUCCESS)
                result = RegistryValueNotRead;
            if (subkey != NULL)
                RegCloseKey(subkey);
        }
    }
    free(copy);
    return result;
}
